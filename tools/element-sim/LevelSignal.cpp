#include "LevelSignal.h"

#include <QRandomGenerator>
#include <QStringList>
#include <cmath>

namespace sim {

namespace {

constexpr qint32 kLargestSample = 8388607;
constexpr qint32 kSmallestSample = -8388608;
constexpr int kSinePeriod = 48;

std::optional<qint32> parseLinear(const QString &text, bool allowNegative)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v > kLargestSample || v < (allowNegative ? kSmallestSample : 0))
        return std::nullopt;
    return qint32(v);
}

// "-6dBFS" -> 2^23 * 10^(-6/20), rounded; 0dBFS and above give the largest sample.
std::optional<qint32> parseDbfs(QString text)
{
    text = text.trimmed();
    if (!text.endsWith(QLatin1String("dBFS"), Qt::CaseInsensitive))
        return std::nullopt;
    text.chop(4);
    bool ok = false;
    const double db = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(db))
        return std::nullopt;
    const double v = std::round(8388608.0 * std::pow(10.0, db / 20.0));
    return qint32(qBound(0.0, v, double(kLargestSample)));
}

void putSample(char *at, qint32 v)
{
    const quint32 u = quint32(v) & 0xFFFFFFu;
    at[0] = char(u >> 16);
    at[1] = char(u >> 8);
    at[2] = char(u);
}

} // namespace

std::optional<LevelSignal> parseLevelSignal(const QString &text, QString *error)
{
    const QString kind = text.section(QLatin1Char(':'), 0, 0).trimmed().toLower();
    const QString arg = text.section(QLatin1Char(':'), 1);
    const bool hasArg = text.contains(QLatin1Char(':'));
    LevelSignal s;
    if (kind == QLatin1String("silence") && !hasArg) {
        s.kind = LevelSignal::Kind::Silence;
        return s;
    }
    if ((kind == QLatin1String("sine") || kind == QLatin1String("noise")) && hasArg) {
        std::optional<qint32> peak = parseDbfs(arg);
        if (!peak)
            peak = parseLinear(arg, false);
        if (!peak) {
            if (error)
                *error = QStringLiteral("peak \"%1\" is neither 0..8388607 nor a level such as -6dBFS").arg(arg);
            return std::nullopt;
        }
        s.kind = kind == QLatin1String("sine") ? LevelSignal::Kind::Sine : LevelSignal::Kind::Noise;
        s.value = *peak;
        return s;
    }
    if (kind == QLatin1String("dc") && hasArg) {
        const std::optional<qint32> v = parseLinear(arg, true);
        if (!v) {
            if (error)
                *error = QStringLiteral("value \"%1\" is not within -8388608..8388607").arg(arg);
            return std::nullopt;
        }
        s.kind = LevelSignal::Kind::Constant;
        s.value = *v;
        return s;
    }
    if (error)
        *error = QStringLiteral("signal \"%1\" is not silence, sine:PEAK, noise:PEAK or dc:VALUE").arg(text);
    return std::nullopt;
}

QByteArray levelBlock(const LevelSignal &signal, int length)
{
    QByteArray block(qMax(0, length), '\0');
    const int samples = block.size() / 3;
    char *data = block.data();
    QRandomGenerator *random = QRandomGenerator::global();
    for (int k = 0; k < samples; ++k) {
        qint32 v = 0;
        switch (signal.kind) {
        case LevelSignal::Kind::Silence:
            break;
        case LevelSignal::Kind::Sine: {
            const double phase = 2.0 * M_PI * double(k % kSinePeriod) / kSinePeriod;
            // The crest (k % 48 == 0) is exactly the peak, never a rounding away from it.
            v = k % kSinePeriod == 0 ? signal.value
                                     : qint32(std::lround(signal.value * std::cos(phase)));
            break;
        }
        case LevelSignal::Kind::Noise:
            v = signal.value == 0 ? 0 : qint32(random->bounded(-signal.value, signal.value + 1));
            break;
        case LevelSignal::Kind::Constant:
            v = signal.value;
            break;
        }
        putSample(data + 3 * k, v);
    }
    return block;
}

} // namespace sim
