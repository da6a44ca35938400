// Properties panel of the main window: loading the selected element, the encoder/decoder
// layout, the audio controls with their displayed values, and the address and name fields.
//
// Assigning a value to a control runs its handler through Qt's change signals (connected
// in wireEditor), so the loading order below matters: each assignment may switch layout
// or refill another field before the next key is read.
#include "windows/frmMain.h"

#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include "editor/AudioDisplay.h"
#include "editor/StoredValues.h"
#include "station/ElementLink.h"
#include "station/ElementStore.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"
#include "windows/ButtonColour.h"
#include "windows/MessageBox.h"
#include "windows/VuMeter.h"

namespace {

const QColor kPaleYellow(255, 255, 192);
const QColor kLightRed(255, 128, 128);

const QString kEncoder = QStringLiteral("ENCODER");
const QString kDecoder = QStringLiteral("DECODER");
const QString kNoElement = QStringLiteral("-");

// Light red while the text is neither empty nor a valid address; the style's own field
// background otherwise.
void showAddressCheck(QLineEdit *field)
{
    const QString text = field->text();
    const bool invalid = !text.isEmpty() && !IsValidIP(text);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base,
                     invalid ? kLightRed : QApplication::palette(field).color(QPalette::Base));
    field->setPalette(palette);
}

// The statistics window talks to the shown element at its address: the button is usable
// exactly while an element is shown and its address field holds a valid address.
void updateGetStatsButton(frmMain &w)
{
    w.cmdGetStats->setEnabled(w.lblElementMAC->text() != kNoElement
                              && IsValidIP(w.txtElementIP->text()));
}

// Sends the attenuation command to the shown element's stored address from the main
// socket. A failure is told to the operator with the element and the reason; the
// station goes on (nothing else depends on this datagram). True when it was sent.
bool sendAttenuationCommand(frmMain &w, quint8 position)
{
    const station::ElementLink element(w.selectedSection(), frmMain::iniPath());
    QByteArray command(2, '\0');
    command[0] = char(position);
    const station::Delivery d = element.send(w.udpClient, command, kLevelPort);
    if (d.ok()) {
        qCInfo(lcLevel).noquote() << platform::tagged(element.tag(), QStringLiteral("attenuation set to %1").arg(position));
        return true;
    }
    QString reason = d.error + QLatin1Char('.');
    if (d.stored.trimmed().isEmpty())
        reason = QStringLiteral("no valid address is stored for it.");
    else if (!IsValidIP(d.stored))
        reason = QStringLiteral("its stored address \"%1\" is not a valid IPv4 address.").arg(d.stored);
    else if (!d.target.usable())
        reason = QStringLiteral("its stored address \"%1\" is not an element's address.").arg(d.stored);
    platform::showMessage(&w,
                          QStringLiteral("Cannot send the attenuation to %1 [%2]: %3")
                              .arg(element.read(QStringLiteral("name")), w.lblElementMAC->text(), reason),
                          platform::MsgIcon::Critical);
    return false;
}

} // namespace

// ---- wiring -------------------------------------------------------------------------

void frmMain::wireEditor()
{
    connect(TreeView1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *node, int) { TreeView1_NodeClick(node); });
    connect(cmbAudioTX, &QComboBox::currentIndexChanged, this, &frmMain::cmbAudioTX_Click);
    connect(cmbSilDetMode, &QComboBox::currentIndexChanged, this, &frmMain::cmbSilDetMode_Click);

    // Only an operator's move of the attenuation sends it. actionTriggered comes for every
    // operator action (drag, arrows, page, wheel, keys) after the new position is known
    // and right before the value is applied; it marks the valueChanged that follows at
    // once. An action that leaves the value where it is marks nothing, so no mark can be
    // left over for a later change made by the program.
    connect(scrlAtten, &QAbstractSlider::actionTriggered, this, [this](int) {
        m_attenOperatorAction = scrlAtten->sliderPosition() != scrlAtten->value();
    });
    // The context menu's "Scroll here" moves the bar without an action: an operator's move
    // that could not be told from the program's. The other entries have keys of their own.
    scrlAtten->setContextMenuPolicy(Qt::PreventContextMenu);
    connect(scrlAtten, &QAbstractSlider::valueChanged, this, &frmMain::scrlAtten_Change);
    // The bars set values rather than scroll a view: Left/Down lower the value and Right/Up
    // raise it, as on a slider (a QScrollBar's keys run the other way by default).
    for (QScrollBar *bar : {scrlAtten, scrlBuffer, scrlSilDetLevel, scrlSilDetTime})
        bar->setInvertedControls(false);
    connect(scrlBuffer, &QAbstractSlider::valueChanged, this, &frmMain::scrlBuffer_Change);
    connect(scrlSilDetLevel, &QAbstractSlider::valueChanged, this, &frmMain::scrlSilDetLevel_Change);
    connect(scrlSilDetTime, &QAbstractSlider::valueChanged, this, &frmMain::scrlSilDetTime_Change);
    connect(chkLowLatency, &QCheckBox::toggled, this, &frmMain::chkLowLatency_Click);

    connect(txtElementIP, &QLineEdit::textChanged, this, &frmMain::txtElementIP_Change);
    connect(txtElementMask, &QLineEdit::textChanged, this, &frmMain::txtElementMask_Change);
    connect(txtElementGW, &QLineEdit::textChanged, this, &frmMain::txtElementGW_Change);
    connect(txtRemoteIP, &QLineEdit::textChanged, this, &frmMain::txtRemoteIP_Change);
    for (QLineEdit *field : {txtElementName, txtElementIP, txtElementMask, txtElementGW, txtRemoteIP})
        field->installEventFilter(this);

    // The attenuation and silence detector labels start at their bars' start positions;
    // every later change of a position runs its handler, so each always tells its bar.
    // Loading a value the bar already holds changes nothing: a decoder at full level loaded
    // first, or after an encoder, would otherwise keep the bare "dB". No operator action is
    // marked, so nothing is sent from here.
    scrlAtten_Change();
    scrlSilDetLevel_Change();
    scrlSilDetTime_Change();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    const bool editable = field
                          && (field == txtElementName || field == txtElementIP
                              || field == txtElementMask || field == txtElementGW
                              || field == txtRemoteIP);
    if (!editable || (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut))
        return QMainWindow::eventFilter(watched, event);
    // Coming back from another window or from a pop-up menu is not entering or leaving the
    // field: the operator's selection and typing stay as they were.
    const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        // Entering a field selects its whole text, so the next keystroke replaces it.
        field->selectAll();
        // A click gives the focus before the press reaches the field, and the press then
        // places the cursor; select again once the press is handled.
        if (reason == Qt::MouseFocusReason)
            QTimer::singleShot(0, field, &QLineEdit::selectAll);
    } else if (field == txtElementName) {
        txtElementName_LostFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- selection ----------------------------------------------------------------------

void frmMain::TreeView1_NodeClick(QTreeWidgetItem *node)
{
    // 1. A new selection starts with the diagnostics at rest; a ping still out would
    // otherwise colour the button after the reset.
    cancelPendingPing();
    setButtonBackground(cmdPing, kPaleYellow);
    toolbarButton(6)->setEnabled(false);
    toolbarButton(7)->setEnabled(false);
    chkGetVolume->setChecked(false);

    // 2. A node without text names no element.
    if (!node || node->text(0).isEmpty()) {
        cmdGetStats->setEnabled(false);
        return;
    }

    // 3. More keys than the station ever writes: the record was damaged outside it.
    const QString key = node->data(0, Qt::UserRole).toString();
    const QString section = Encode_MAC(key);
    const QString path = iniPath();
    const station::RecordView r = station::viewRecord(section, path, scrlBuffer->maximum());
    if (r.keyCount > station::kMaxLoadableKeys) {
        platform::showMessage(this, station::corruptedRecordMessage());
        return;
    }

    // 4. Stored numbers are brought into each control's range (StoredValues.h); an index
    // the list does not have shows no selection.
    txtElementName->setText(r.name);
    txtElementIP->setText(r.ip);
    txtElementMask->setText(r.mask);
    txtElementGW->setText(r.gw);
    cmbAudioInput->setCurrentIndex(r.input);
    cmbAudioType->setCurrentIndex(r.type);
    cmbAudioTX->setCurrentIndex(r.tx);
    lblVersion->setText(r.version);
    cmbEncoders->setCurrentIndex(stored::listIndex(r.bound, cmbEncoders->count()));

    // 5. The statistics button follows the shown element and its address; it is set once
    // the element is named (step 9).

    // 6.-8. The element type picks the layout.
    if (r.role == 1) {
        setElementTypeCaption(kEncoder);
        toolbarButton(6)->setEnabled(true);
        Label7->setText(cmbAudioTX->currentIndex() >= 1 ? QStringLiteral("Multicast IP:") : QStringLiteral("Remote IP:"));
        txtRemoteIP->setText(cmbAudioTX->currentIndex() >= 1 ? r.multi : r.remote);
    } else if (r.role == 2) {
        setElementTypeCaption(kDecoder);
        Label7->setText(QStringLiteral("Multicast IP:"));
        txtRemoteIP->setText(r.multi);
        // An attenuation below the bar's range is repaired in the record as well, so the
        // record and the panel agree. The attenuation is the only key loading writes.
        if (r.attenuationBelowRange)
            WriteToINI(section, QStringLiteral("att"), QString::number(scrlAtten->minimum()), path);
        // These assignments are the program's: none of them sends the attenuation.
        m_attenOperatorAction = false;
        scrlAtten->setValue(r.attenuation);
        scrlBuffer->setValue(r.buffer);
        scrlSilDetLevel->setValue(r.silDetLevel);
        scrlSilDetTime->setValue(r.silDetTime);
        cmbSilDetMode->setCurrentIndex(r.silDetMode);
        lblElementType_Change();
        cmbSilDetMode_Click();
    } else {
        // The remote address and the decoder controls keep what they showed.
        setElementTypeCaption(QStringLiteral("UNKNOWN"));
    }

    // 9. From here on the panel names the new element.
    lblElementMAC->setText(key);
    updateGetStatsButton(*this);

    // 10.-11. Check boxes hold 0 or 1; other stored numbers land on the nearer one.
    lblSerialNumber->setText(r.serial);
    chkSFNEnabled->setChecked(r.sfn);
    chkLowLatency->setChecked(r.lowLatency);
    LowLatencyOption = chkLowLatency->isChecked();
    scrlBuffer_Change();

    // 12. The SFN delay can only be adjusted on a decoder that runs SFN.
    cmdAdjust->setEnabled(chkSFNEnabled->isChecked() && lblElementType->text() == kDecoder);

    // 13. Layout and detector controls once more, now that every value is in place.
    lblElementType_Change();
    cmbSilDetMode_Click();

    // 14.
    cmdPing->setText(QStringLiteral("<Click to test>"));
}

void frmMain::ClearProperties()
{
    setElementTypeCaption(kNoElement);
    lblElementMAC->setText(kNoElement);
    lblSerialNumber->setText(kNoElement);
    cmdPing->setText(QStringLiteral("<Unknown>"));
    lblVersion->setText(kNoElement);
    lblLatency->setText(QStringLiteral("-mS"));
    cancelPendingPing();
    setButtonBackground(cmdPing, kPaleYellow);
    txtElementName->clear();
    txtElementIP->clear();
    txtElementMask->clear();
    txtElementGW->clear();
    txtRemoteIP->clear();
    cmbAudioInput->setCurrentIndex(-1);
    cmbAudioType->setCurrentIndex(-1);
    cmbAudioTX->setCurrentIndex(-1);
    // An already empty address field runs no change handler.
    updateGetStatsButton(*this);
}

// ---- element-type layout ------------------------------------------------------------

void frmMain::lblElementType_Change()
{
    const QString type = lblElementType->text();
    const bool encoder = type == kEncoder;
    if (!encoder && type != kDecoder)
        return;   // "-" or "UNKNOWN": the last layout stays

    cmbAudioInput->setVisible(encoder);
    cmbAudioTX->setVisible(encoder);
    scrlAtten->setVisible(!encoder);
    lblAttenDB->setVisible(!encoder);
    Label9->setText(encoder ? QStringLiteral("Audio source:") : QStringLiteral("Audio atten:"));

    // The level monitor stops on every layout switch; an encoder may start it again.
    m_station.level().stop();
    chkGetVolume->setChecked(false);
    chkGetVolume->setVisible(false);
    toolbarButton(6)->setEnabled(encoder);
    toolbarButton(7)->setEnabled(false);
    VUMeter->setEnabled(encoder);
    VUMeter->setWidthTwips(0);
    lblVolume->setText(QStringLiteral("-oodBFS"));

    if (encoder) {
        scrlBuffer->setValue(0);
        scrlBuffer->setEnabled(false);
        lblLatency->setText(QStringLiteral("2.5mS"));
    } else {
        scrlBuffer->setEnabled(true);
        scrlBuffer_Change();
    }
    for (QWidget *control : {static_cast<QWidget *>(cmbSilDetMode), static_cast<QWidget *>(scrlSilDetLevel),
                             static_cast<QWidget *>(scrlSilDetTime), static_cast<QWidget *>(lblSilDetLevel),
                             static_cast<QWidget *>(lblSilDetTime), static_cast<QWidget *>(lblLatency),
                             static_cast<QWidget *>(Label20), static_cast<QWidget *>(Label24),
                             static_cast<QWidget *>(Label26)})
        control->setEnabled(!encoder);
}

void frmMain::cmbAudioTX_Click()
{
    // Only an encoder has a choice of destination; a decoder's field is its group.
    if (lblElementType->text() != kEncoder)
        return;
    const QString path = iniPath();
    const QString section = selectedSection();
    if (cmbAudioTX->currentIndex() >= 1) {
        Label7->setText(QStringLiteral("Multicast IP:"));
        txtRemoteIP->setText(ReadFromINI(section, QStringLiteral("multi"), path,
                                         QStringLiteral("239.255.255.239")));
    } else {
        Label7->setText(QStringLiteral("Remote IP:"));
        txtRemoteIP->setText(ReadFromINI(section, QStringLiteral("remote"), path,
                                         QStringLiteral("192.168.1.91")));
    }
}

void frmMain::cmbSilDetMode_Click()
{
    // Threshold and timeout apply only while the decoder detects by itself.
    const bool editable = cmbSilDetMode->isEnabled() && cmbSilDetMode->currentIndex() < 1;
    for (QWidget *control : {static_cast<QWidget *>(scrlSilDetLevel), static_cast<QWidget *>(scrlSilDetTime),
                             static_cast<QWidget *>(lblSilDetLevel), static_cast<QWidget *>(lblSilDetTime),
                             static_cast<QWidget *>(Label24), static_cast<QWidget *>(Label26)})
        control->setEnabled(editable);
}

// ---- audio controls -----------------------------------------------------------------

void frmMain::scrlAtten_Change()
{
    const bool byOperator = m_attenOperatorAction;
    m_attenOperatorAction = false;
    const int position = scrlAtten->value();
    lblAttenDB->setText(audio::attenuationText(position));
    if (!byOperator || lblElementType->text() != kDecoder)
        return;
    // Stored only once the element was told: the record keeps what the element has.
    if (sendAttenuationCommand(*this, quint8(position)))
        WriteToINI(selectedSection(), QStringLiteral("att"), QString::number(position), iniPath());
}

void frmMain::SendAttenuation(quint8 position)
{
    sendAttenuationCommand(*this, position);
}

void frmMain::scrlBuffer_Change()
{
    lblLatency->setText(audio::latencyText(scrlBuffer->value(), LowLatencyOption,
                                           GPSDOVersion || chkSFNEnabled->isChecked()));
}

void frmMain::scrlSilDetLevel_Change()
{
    lblSilDetLevel->setText(audio::silenceLevelText(scrlSilDetLevel->value()));
}

void frmMain::scrlSilDetTime_Change()
{
    lblSilDetTime->setText(audio::silenceTimeText(scrlSilDetTime->value()));
}

void frmMain::chkLowLatency_Click()
{
    LowLatencyOption = chkLowLatency->isChecked();
    scrlBuffer_Change();
}

// ---- address and name fields ---------------------------------------------------------

void frmMain::txtElementIP_Change()
{
    showAddressCheck(txtElementIP);
    updateGetStatsButton(*this);
}

void frmMain::txtElementMask_Change()
{
    showAddressCheck(txtElementMask);
}

void frmMain::txtElementGW_Change()
{
    showAddressCheck(txtElementGW);
}

void frmMain::txtRemoteIP_Change()
{
    showAddressCheck(txtRemoteIP);
}

void frmMain::txtElementName_LostFocus()
{
    const QString upper = txtElementName->text().toUpper();
    if (upper != txtElementName->text())
        txtElementName->setText(upper);
}

void frmMain::setElementTypeCaption(const QString &caption)
{
    lblElementType->setText(caption);
    lblElementType_Change();
}

QString frmMain::selectedSection() const
{
    return Encode_MAC(lblElementMAC->text());
}
