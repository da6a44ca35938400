#include "windows/frmWaiting.h"

#include <QLabel>
#include <QVBoxLayout>

#include "station/MacWait.h"

frmWaiting::frmWaiting(station::MacWait &wait, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_wait(wait)
{
    setObjectName(QStringLiteral("frmWaiting"));
    setWindowTitle(QStringLiteral("Waiting remote response..."));
    setWindowModality(Qt::WindowModal);
    lblWaitTimeout = new QLabel(QStringLiteral("Please wait while retrieving response from remote element...."), this);
    lblWaitTimeout->setObjectName(QStringLiteral("lblWaitTimeout"));
    lblWaitTimeout->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblWaitTimeout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmWaiting::reject()
{
    QDialog::reject();
    m_wait.cancel();   // the wait ends (and closes this window) with nothing found
}
