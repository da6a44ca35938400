#pragma once
// Texts shown beside the decoder's audio scroll bars. Pure functions of the raw position,
// so the panel only assigns them and the figures can be checked without a window.
// Numbers use "." whatever the locale: the texts are read beside the elements' own
// manuals, which print them that way.

#include <QString>

namespace audio {

// Lowest position of the attenuation bar; it means the output is muted.
constexpr int kAttenMute = 14;
constexpr int kAttenFull = 255;
// Ranges of the silence detector's bars.
constexpr int kSilenceLevelMin = 1, kSilenceLevelMax = 154;
constexpr int kSilenceTimeMin = 1, kSilenceTimeMax = 220;

// Highest buffer step, fixed at start-up by the station's mode: 23 for the GPSDO version,
// 44 with the low-latency option, 22 otherwise.
constexpr int bufferMaximum(bool gpsdoVersion, bool lowLatencyOption)
{
    return gpsdoVersion ? 23 : (lowLatencyOption ? 44 : 22);
}

// 255 -> "0 dB", 254 -> "-0.5 dB", 15 -> "-120 dB", 14 (and below) -> "Mute".
QString attenuationText(int position);

// Milliseconds of buffering for buffer step b, with "mS" appended. The low-latency
// option halves the step; SFN operation (or the GPSDO build) drops the 2.5 ms margin.
double latencyMs(int step, bool lowLatency, bool sfnOrGpsdo);
QString latencyText(int step, bool lowLatency, bool sfnOrGpsdo);

// Silence detector threshold in dBu for position v (1..154), one decimal, halves to even.
// Positions below 1 have no level (the logarithm needs a positive argument) and are
// shown as position 1.
QString silenceLevelText(int position);

// Silence detector timeout in seconds for position v (1..220), one decimal, halves to even.
QString silenceTimeText(int position);

} // namespace audio
