#pragma once
// The audio level monitor: level requests to the element's port 2977 from the main
// socket at the pace chosen (tmrVolume, kept up by LevelPacer), and the peak of every
// answer, shown at most at about the screen's pace (tmrLevelDisplay) and always ending on
// the latest answer.

#include <QObject>
#include <QString>
#include <QTimer>

#include "diagnostics/LevelBlock.h"
#include "diagnostics/LevelPacer.h"
#include "station/Result.h"

namespace platform {
class UdpPort;
}

namespace station {

class LevelMonitor : public QObject {
    Q_OBJECT
public:
    explicit LevelMonitor(platform::UdpPort &socket, QObject *parent = nullptr);

    // Monitoring of the element whose record is `section`, until stop().
    void start(const QString &section);
    void stop();
    bool isRunning() const { return tmrVolume.isActive(); }
    // Milliseconds between requests, 1 to 500 (50 at start).
    void setInterval(int milliseconds);
    int interval() const { return tmrVolume.interval(); }

    // An answer from the main socket (ShowAudioLevel).
    void take(const QByteArray &datagram);
    qint32 audioPeak() const { return m_peak; }

    // Level answers can arrive every millisecond; the display follows at most this often.
    static constexpr int kDisplayIntervalMs = 16;

signals:
    // What the text and the bar show now ("-oodBFS" and no bar when off).
    void shown(const LevelDisplay &display);
    // Every answer while monitoring, with its peak.
    void answered(qint32 peak);
    // A request could not be sent: monitoring has stopped; the message says why.
    void stopped(const platform::MessageSpec &message);

private:
    void SendLevelRequest();
    void show(const LevelDisplay &display);
    void displayTick();

    platform::UdpPort &m_socket;
    QTimer tmrVolume;
    QTimer tmrLevelDisplay;
    LevelPacer levelPacer;
    QString m_section;
    qint32 m_peak = 0;
    LevelDisplay m_shown;
};

} // namespace station
