#include "protocol/ConfigCommand.h"

#include "protocol/Feedback.h"
#include "store/TextHelpers.h"

namespace {

constexpr int kEncoderCommandLength = 37;
constexpr int kDecoderCommandLength = 41;

char byteOf(int value)
{
    return static_cast<char>(static_cast<quint8>(value));
}

// One part of a dotted address as a byte: its numeric value rounded to a whole number.
// Callers check the text with IsValidIP first; anything else still gives a byte (0 for
// a missing or non-numeric part, the nearest end for a value out of 0..255).
char addressPart(const QStringList &parts, int index)
{
    if (index >= parts.size())
        return 0;
    bool ok = false;
    const double value = parts.at(index).trimmed().toDouble(&ok);
    if (!ok)
        return 0;
    return byteOf(static_cast<int>(roundHalfEven(qBound(0.0, value, 255.0), 0)));
}

void appendAddress(QByteArray &out, const QString &dotted)
{
    const QStringList parts = SplitIP(dotted);
    for (int i = 0; i < 4; ++i)
        out.append(addressPart(parts, i));
}

} // namespace

QByteArray encodeConfigCommand(const ConfigCommand &c)
{
    QByteArray out;
    out.reserve(c.decoder ? kDecoderCommandLength : kEncoderCommandLength);
    appendAddress(out, c.ip);
    appendAddress(out, c.mask);
    appendAddress(out, c.gw);
    appendAddress(out, c.remote);
    out.append(byteOf(c.audioInput));
    out.append(byteOf(c.audioType));
    out.append(byteOf(c.audioTx));
    out.append(byteOf(c.sfn));
    // The element keeps one byte per character: the low 8 bits of each code.
    for (const QChar ch : PadName16(c.name))
        out.append(byteOf(ch.unicode() & 0xFF));
    if (c.decoder) {
        out.append(byteOf(c.buffer));
        out.append(byteOf(c.silDetMode));
        out.append(byteOf(c.silDetLevel));
        out.append(byteOf(c.silDetTime));
    }
    out.append(byteOf(c.lowLatency));
    return out;
}

std::optional<ConfigCommand> decodeConfigCommand(const QByteArray &d)
{
    if (d.size() != kEncoderCommandLength && d.size() != kDecoderCommandLength)
        return std::nullopt;
    const auto at = [&d](int offset) { return static_cast<int>(static_cast<quint8>(d.at(offset))); };
    ConfigCommand c;
    c.decoder = d.size() == kDecoderCommandLength;
    c.ip = dottedFromBytes(d, 0);
    c.mask = dottedFromBytes(d, 4);
    c.gw = dottedFromBytes(d, 8);
    c.remote = dottedFromBytes(d, 12);
    c.audioInput = at(16);
    c.audioType = at(17);
    c.audioTx = at(18);
    c.sfn = at(19);
    c.name = QString::fromLatin1(d.constData() + 20, 16);
    if (c.decoder) {
        c.buffer = at(36);
        c.silDetMode = at(37);
        c.silDetLevel = at(38);
        c.silDetTime = at(39);
        c.lowLatency = at(40);
    } else {
        c.lowLatency = at(36);
    }
    return c;
}

QByteArray pagingRequest()
{
    return QByteArrayLiteral("ZENTORAL QUORVANE PAGING REQUEST");
}
