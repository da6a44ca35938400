#include "station/LevelMonitor.h"

#include "platform/AppDir.h"
#include "platform/Log.h"
#include "protocol/Ports.h"
#include "station/ElementLink.h"

namespace station {

LevelMonitor::LevelMonitor(platform::UdpPort &socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , tmrVolume(this)
    , tmrLevelDisplay(this)
{
    tmrVolume.setInterval(50);
    // A coarse timer below 50 ms is aligned to even milliseconds, which would halve the
    // request rate at the fastest setting.
    tmrVolume.setTimerType(Qt::PreciseTimer);
    tmrLevelDisplay.setSingleShot(true);
    tmrLevelDisplay.setInterval(kDisplayIntervalMs);
    connect(&tmrVolume, &QTimer::timeout, this, &LevelMonitor::SendLevelRequest);
    connect(&tmrLevelDisplay, &QTimer::timeout, this, &LevelMonitor::displayTick);
    m_shown = levelDisplay(0);
}

void LevelMonitor::start(const QString &section)
{
    m_section = section;
    qCInfo(lcLevel).noquote() << platform::tagged(ElementLink(section, platform::databasePath()).tag(),
                                                  QStringLiteral("audio level monitoring started"));
    levelPacer.restart(tmrVolume.interval());
    tmrVolume.start();
}

void LevelMonitor::stop()
{
    if (tmrVolume.isActive())
        qCInfo(lcLevel).noquote() << platform::tagged(ElementLink(m_section, platform::databasePath()).tag(),
                                                      QStringLiteral("audio level monitoring stopped"));
    tmrVolume.stop();
    tmrLevelDisplay.stop();
    show(levelDisplay(0));
}

void LevelMonitor::setInterval(int milliseconds)
{
    tmrVolume.setInterval(qBound(1, milliseconds, 500));
    levelPacer.restart(tmrVolume.interval());
}

void LevelMonitor::SendLevelRequest()
{
    // The main socket stays bound on 2976 for the program's life: the request leaves from
    // it and the answer comes back to it, where the station routes it here.
    const ElementLink element(m_section, platform::databasePath());
    Delivery d;
    // Usually one request; a tick that came late also sends the few it is behind.
    for (int due = levelPacer.requestsDue(); d.ok() && due > 0; --due)
        d = element.send(m_socket, levelRequest(), kLevelPort);
    if (d.ok())
        return;
    const QString problem = d.target.usable()
                                ? QStringLiteral("The level request to %1 could not be sent: %2.").arg(d.target.address, d.error)
                                : d.target.problem;
    // Stopped before anyone is told: a box's event loop would otherwise let further ticks
    // pile one box on another.
    qCWarning(lcLevel).noquote() << platform::tagged(ElementLink(m_section, platform::databasePath()).tag(), problem);
    stop();
    emit stopped(critical(problem + QStringLiteral("\rAudio monitoring has been stopped.")));
}

void LevelMonitor::take(const QByteArray &datagram)
{
    // The block is read whole: nothing else runs in the middle of it.
    m_peak = levelPeak(datagram);
    if (!isRunning()) {
        tmrLevelDisplay.stop();
        show(levelDisplay(0));
        return;
    }
    emit answered(m_peak);
    // The first answer after a quiet spell is shown at once; those that follow within the
    // display interval only update the peak, and the timer shows the latest of them.
    if (tmrLevelDisplay.isActive())
        return;
    show(levelDisplay(m_peak));
    tmrLevelDisplay.start();
}

void LevelMonitor::displayTick()
{
    if (!isRunning())
        return;   // switched off meanwhile: the off state is already shown
    const LevelDisplay display = levelDisplay(m_peak);
    if (display.widthTwips == m_shown.widthTwips && display.text == m_shown.text)
        return;   // nothing new: the next answer is shown at once
    show(display);
    tmrLevelDisplay.start();   // and the ones after it no sooner than one interval on
}

void LevelMonitor::show(const LevelDisplay &display)
{
    m_shown = display;
    emit shown(display);
}

} // namespace station
