#include "diagnostics/LevelBlock.h"

#include "store/TextHelpers.h"

qint32 levelPeak(const QByteArray &block)
{
    qint32 peak = 0;
    const auto *bytes = reinterpret_cast<const quint8 *>(block.constData());
    // A sample counts only when its last byte lies before the block's last byte, so the
    // final byte of a 1201-byte answer is never part of a sample.
    for (qsizetype first = 0; first + 2 < block.size() - 1; first += 3) {
        if (bytes[first] >= 128)
            continue;   // negative sample
        const qint32 value = (qint32(bytes[first]) << 16) | (qint32(bytes[first + 1]) << 8)
                             | qint32(bytes[first + 2]);
        if (value > peak)
            peak = value;
    }
    return peak;
}

LevelDisplay levelDisplay(qint32 peak)
{
    LevelDisplay display;
    if (peak <= 0) {
        display.text = QStringLiteral("-oodBFS");
        return display;
    }
    const double ratio = double(peak) / double(kFullScale);
    display.widthTwips = static_cast<int>(roundHalfEven(ratio * kVuMeterFullTwips, 0));
    const double level = roundHalfEven(20.0 * Log10(ratio), 1);
    display.text = formatDecimal(level, 1) + QStringLiteral("dBFS");
    return display;
}

QByteArray levelRequest()
{
    return QByteArrayLiteral("VOL");
}
