#include "diagnostics/LevelPacer.h"

#include <algorithm>

void LevelPacer::restart(int intervalMs, qint64 nowMs)
{
    m_intervalMs = std::max(1, intervalMs);
    m_startMs = nowMs;
    m_sent = 0;
}

int LevelPacer::requestsDue(qint64 nowMs)
{
    // The first tick comes one interval after the start and owes one request.
    const qint64 owed = std::max<qint64>(0, nowMs - m_startMs) / m_intervalMs - m_sent;
    const int now = int(std::clamp<qint64>(owed, 1, kMostPerTick));
    m_sent += now;
    if (owed > 2 * kMostPerTick)
        restart(m_intervalMs, nowMs);   // far behind: start counting afresh
    return now;
}

qint64 LevelPacer::clockMs()
{
    if (!m_clock.isValid())
        m_clock.start();
    return m_clock.elapsed();
}
