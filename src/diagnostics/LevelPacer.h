#pragma once
// Keeps the level requests at the slider's pace over time. A Qt timer that fires late is
// re-based on the moment it fired, so at an interval of 1 ms every late wake-up loses its
// request for good and the real rate falls far below the one chosen. The pacer counts the
// requests owed since monitoring started, and a tick sends the few it is behind.

#include <QElapsedTimer>
#include <QtGlobal>

class LevelPacer {
public:
    // Most requests one tick sends; further arrears (the program was held up, by a modal
    // window say) are forgiven rather than sent as a burst.
    static constexpr int kMostPerTick = 4;

    // Monitoring starts, or the interval changes: the count starts again from now.
    void restart(int intervalMs) { restart(intervalMs, clockMs()); }
    // Requests to send at this tick: at least one, at most kMostPerTick.
    int requestsDue() { return requestsDue(clockMs()); }

    // The same on a given clock (milliseconds), for tests.
    void restart(int intervalMs, qint64 nowMs);
    int requestsDue(qint64 nowMs);

private:
    qint64 clockMs();

    QElapsedTimer m_clock;
    qint64 m_startMs = 0;
    qint64 m_sent = 0;
    int m_intervalMs = 50;
};
