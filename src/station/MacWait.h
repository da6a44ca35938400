#pragma once
// Waiting for an element's MAC address after a configuration reply: asks the ARP service
// once a tick (1000 ms) for the hardware address of the address the reply reported,
// until it answers, getMACTimeout ticks have passed (the tick that gives up still asks),
// or the wait is cancelled (the operator closes the wait window). No event loop of its
// own: the wait runs on the caller's, and finished() ends it exactly once.
//
// No attempt waits: the kernel is asked to resolve the address when the wait starts, and
// each tick only looks at what it found.

#include <QObject>
#include <QString>
#include <QTimer>

namespace station {

class MacWait : public QObject {
    Q_OBJECT
public:
    explicit MacWait(QObject *parent = nullptr);

    // With the station's 20 ticks the wait makes up to 21 attempts over about 21 s.
    void start(const QString &ip, quint8 timeoutTicks = 20);
    // Ends a running wait with what was found so far (nothing).
    void cancel();
    bool isRunning() const { return timerGetMAC.isActive(); }

    // Ticks counted in the running wait; 0 whenever none runs.
    quint8 getMACTimeoutCount() const { return m_count; }

    // Tests shorten the tick; 0 restores the station's 1000 ms.
    static void setTickIntervalForTests(int milliseconds);

signals:
    // The MAC text ("00:1A:2B:3C:4D:5E"), or empty when it was not found.
    void finished(const QString &mac);

private:
    void timerGetMAC_Timer();
    void finish();

    QTimer timerGetMAC;
    QString m_ip;
    QString sRemoteMacAddress2;
    quint8 getMACTimeout = 20;
    quint8 m_count = 0;
};

} // namespace station
