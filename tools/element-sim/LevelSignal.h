#pragma once
// The audio an element pretends to receive, as the 24-bit big-endian sample block it
// sends in answer to a level request.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace sim {

struct LevelSignal {
    enum class Kind { Silence, Sine, Noise, Constant };
    Kind kind = Kind::Silence;
    // Largest sample (sine, noise) or the one repeated value (constant), in the signed
    // 24-bit range -8388608..8388607.
    qint32 value = 0;
};

// "silence", "sine:PEAK", "noise:PEAK" or "dc:VALUE". PEAK is a linear sample value
// 0..8388607 or a level such as "-6dBFS" (0dBFS is the largest sample, 8388607); VALUE
// is a linear value that may be negative. nullopt with *error set when it does not parse.
std::optional<LevelSignal> parseLevelSignal(const QString &text, QString *error);

// A block of `length` bytes: samples packed from byte 0, most significant byte first,
// the bytes after the last whole sample zero. A sine block starts at its crest, so its
// first sample is the peak; it completes a period every 48 samples (1 kHz at 48 kHz).
QByteArray levelBlock(const LevelSignal &signal, int length);

} // namespace sim
