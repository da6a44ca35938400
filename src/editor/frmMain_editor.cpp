// Properties panel of the main window: selection, element-type layout, audio controls and
// address fields. (Filled in by the panel work; these are the hooks the shell calls.)
#include "app/frmMain.h"

#include <QEvent>
#include <QLabel>

#include "store/ElementRecord.h"

void frmMain::wireEditor() {}
void frmMain::TreeView1_NodeClick(QTreeWidgetItem *) {}
void frmMain::ClearProperties() {}
void frmMain::lblElementType_Change() {}
void frmMain::cmbAudioTX_Click() {}
void frmMain::cmbSilDetMode_Click() {}
void frmMain::scrlAtten_Change() {}
void frmMain::SendAttenuation(quint8) {}
void frmMain::scrlBuffer_Change() {}
void frmMain::scrlSilDetLevel_Change() {}
void frmMain::scrlSilDetTime_Change() {}
void frmMain::chkLowLatency_Click() {}
void frmMain::txtElementIP_Change() {}
void frmMain::txtElementMask_Change() {}
void frmMain::txtElementGW_Change() {}
void frmMain::txtRemoteIP_Change() {}
void frmMain::txtElementName_LostFocus() {}

void frmMain::setElementTypeCaption(const QString &caption)
{
    lblElementType->setText(caption);
    lblElementType_Change();
}

QString frmMain::selectedSection() const
{
    return Encode_MAC(lblElementMAC->text());
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    return QMainWindow::eventFilter(watched, event);
}
