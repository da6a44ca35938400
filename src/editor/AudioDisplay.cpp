#include "editor/AudioDisplay.h"

#include <algorithm>

#include "store/TextHelpers.h"

namespace audio {

QString attenuationText(int position)
{
    if (position <= kAttenMute)
        return QStringLiteral("Mute");
    // Half-decibel steps below full level.
    return formatDecimal((position - kAttenFull) * 0.5) + QStringLiteral(" dB");
}

double latencyMs(int step, bool lowLatency, bool sfnOrGpsdo)
{
    if (lowLatency)
        return step * 1.25 + 2.5;
    if (sfnOrGpsdo)
        return step * 2.5 + 2.5;
    return step * 2.5 + 5.0;
}

QString latencyText(int step, bool lowLatency, bool sfnOrGpsdo)
{
    return formatDecimal(latencyMs(step, lowLatency, sfnOrGpsdo)) + QStringLiteral("mS");
}

QString silenceLevelText(int position)
{
    // The element's threshold scale converted to dBu.
    const double v = std::max(position, 1);
    const double level = 20.0 * Log10(v * 2.04870129870129) - 56.0;
    return formatDecimal(roundHalfEven(level, 1), 1) + QStringLiteral("dBu");
}

QString silenceTimeText(int position)
{
    // The element's countdown steps converted to seconds.
    const double seconds = position * 0.455104166666667;
    return formatDecimal(roundHalfEven(seconds, 1), 1) + QStringLiteral("Sec");
}

} // namespace audio
