#include "station/MacWait.h"

#include "platform/Arp.h"
#include "platform/Log.h"
#include "protocol/MacResolution.h"

namespace station {

namespace {

constexpr int kTickMilliseconds = 1000;
int g_testTickMilliseconds = 0;

} // namespace

void MacWait::setTickIntervalForTests(int milliseconds)
{
    g_testTickMilliseconds = milliseconds > 0 ? milliseconds : 0;
}

MacWait::MacWait(QObject *parent)
    : QObject(parent)
    , timerGetMAC(this)
{
    connect(&timerGetMAC, &QTimer::timeout, this, &MacWait::timerGetMAC_Timer);
}

void MacWait::start(const QString &ip, quint8 timeoutTicks)
{
    m_ip = ip;
    getMACTimeout = timeoutTicks;
    m_count = 0;
    sRemoteMacAddress2.clear();
    platform::startResolving(IPToAddress(ip));
    timerGetMAC.start(g_testTickMilliseconds > 0 ? g_testTickMilliseconds : kTickMilliseconds);
}

void MacWait::cancel()
{
    if (isRunning())
        finish();
}

void MacWait::timerGetMAC_Timer()
{
    // The count saturates: a time-out of 255 must still end instead of wrapping to 0.
    if (m_count < 255)
        ++m_count;
    const bool lastTick = m_count > getMACTimeout || m_count == 255;
    QString scratch;
    if (ResolveRemoteMAC(m_ip, scratch, QStringLiteral(":")))
        sRemoteMacAddress2 = scratch;
    qCDebug(lcMac).noquote() << platform::tagged({QString(), sRemoteMacAddress2, m_ip, QString()},
                                                 QStringLiteral("MAC address lookup %1: %2")
                                                     .arg(m_count)
                                                     .arg(sRemoteMacAddress2.isEmpty() ? QStringLiteral("not yet known")
                                                                                      : QStringLiteral("found")));
    if (lastTick || !sRemoteMacAddress2.isEmpty())
        finish();
}

void MacWait::finish()
{
    timerGetMAC.stop();
    m_count = 0;
    emit finished(sRemoteMacAddress2);
}

} // namespace station
