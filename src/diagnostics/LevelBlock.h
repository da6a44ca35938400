#pragma once
// The audio level answer (24-bit big-endian samples) and how its peak is shown.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

constexpr int kLevelBlockMinLength = 1201;
constexpr qint32 kFullScale = 8388608;      // 2^23
constexpr int kVuMeterFullTwips = 2100;     // 140 pixels at 15 twips per pixel

// Largest positive sample of the block (0 when none); only samples whose last byte lies
// before the block's last byte are read.
qint32 levelPeak(const QByteArray &block);

struct LevelDisplay {
    int widthTwips = 0;   // round-half-even(peak / 2^23 * 2100)
    QString text;         // "-6dBFS", "-138.5dBFS", "-oodBFS" for 0
};
LevelDisplay levelDisplay(qint32 peak);

// The 3-byte request "VOL".
QByteArray levelRequest();
