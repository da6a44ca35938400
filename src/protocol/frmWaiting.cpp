#include "protocol/frmWaiting.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/frmMain.h"
#include "protocol/MacResolution.h"

namespace {

constexpr int kTickMilliseconds = 1000;
int g_testTickMilliseconds = 0;

} // namespace

void frmWaiting::setTickIntervalForTests(int milliseconds)
{
    g_testTickMilliseconds = milliseconds > 0 ? milliseconds : 0;
}

frmWaiting::frmWaiting(frmMain *main)
    : QDialog(main, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                        | Qt::WindowCloseButtonHint)
    , m_main(main)
    , timerGetMAC(this)
{
    setObjectName(QStringLiteral("frmWaiting"));
    setWindowTitle(QStringLiteral("Waiting remote response..."));
    setModal(true);
    lblWaitTimeout = new QLabel(
        QStringLiteral("Please wait while retrieving response from remote element...."), this);
    lblWaitTimeout->setObjectName(QStringLiteral("lblWaitTimeout"));
    lblWaitTimeout->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblWaitTimeout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    timerGetMAC.setObjectName(QStringLiteral("timerGetMAC"));
    timerGetMAC.setInterval(g_testTickMilliseconds > 0 ? g_testTickMilliseconds : kTickMilliseconds);
    connect(&timerGetMAC, &QTimer::timeout, this, &frmWaiting::timerGetMAC_Timer);
}

void frmWaiting::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!timerGetMAC.isActive() && !isHidden())
        timerGetMAC.start();
}

void frmWaiting::timerGetMAC_Timer()
{
    // The count saturates: a time-out of 255 must still end instead of wrapping to 0.
    if (m_main->getMACTimeoutCount < 255)
        ++m_main->getMACTimeoutCount;
    const bool lastTick = m_main->getMACTimeoutCount > m_main->getMACTimeout
                          || m_main->getMACTimeoutCount == 255;
    if (lastTick)
        finish();
    // The tick that gives up still makes its attempt.
    QString scratch;
    if (ResolveRemoteMAC(m_main->UDP_Response_IP, scratch, QStringLiteral(":"))) {
        m_main->sRemoteMacAddress2 = scratch;
        finish();
    }
}

void frmWaiting::finish()
{
    timerGetMAC.stop();
    m_main->getMACTimeoutCount = 0;
    if (isVisible())
        done(QDialog::Accepted);
}

void frmWaiting::reject()
{
    timerGetMAC.stop();
    m_main->getMACTimeoutCount = 0;
    QDialog::reject();
}
