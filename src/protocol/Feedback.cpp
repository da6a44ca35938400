#include "protocol/Feedback.h"

#include "store/TextHelpers.h"

namespace {

constexpr quint8 kDecoderRole = 2;

// Byte at `offset`, or nothing when the message does not reach it. Tail fields are only
// taken when their byte was received; otherwise the record keeps what it had.
bool readByte(const QByteArray &message, int offset, quint8 &field)
{
    if (offset >= message.size())
        return false;
    field = static_cast<quint8>(message.at(offset));
    return true;
}

// Offsets 40..44 in the encoder layout. Read for every element type once the message is
// longer than 41 bytes; a decoder then reads its own layout over it, so a complete decoder
// message ends with the decoder layout in every field.
void readEncoderTail(const QByteArray &m, ElementFeedback &r)
{
    readByte(m, 40, r.UDP_Response_Version_Major);
    readByte(m, 41, r.UDP_Response_Version_Minor);
    readByte(m, 42, r.UDP_Response_SFN);
    readByte(m, 43, r.UDP_Response_Buffer);
    readByte(m, 44, r.UDP_Response_Low_Latency);
}

// Offsets 40..44 in the decoder layout, and past 45 bytes the silence detector and the
// decoder's own low latency byte (53).
void readDecoderTail(const QByteArray &m, ElementFeedback &r)
{
    readByte(m, 40, r.UDP_Response_Attenuation);
    readByte(m, 41, r.UDP_Response_Version_Major);
    readByte(m, 42, r.UDP_Response_Version_Minor);
    readByte(m, 43, r.UDP_Response_SFN);
    readByte(m, 44, r.UDP_Response_Buffer);
    if (m.size() > 45) {
        readByte(m, 45, r.UDP_Response_SilDet_Mode);
        readByte(m, 46, r.UDP_Response_SilDet_Level);
        readByte(m, 47, r.UDP_Response_SilDet_Time);
        readByte(m, 53, r.UDP_Response_Low_Latency);
    }
}

void appendAddress(QByteArray &out, const QString &dotted)
{
    const QStringList parts = SplitIP(dotted);
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        if (i < parts.size()) {
            bool ok = false;
            const int parsed = parts.at(i).trimmed().toInt(&ok);
            if (ok)
                value = qBound(0, parsed, 255);
        }
        out.append(static_cast<char>(value));
    }
}

} // namespace

DatagramRoute routeDatagram(qsizetype length)
{
    if (length >= 1201)
        return DatagramRoute::AudioLevel;
    // A datagram that cannot fill the fixed part is dropped without a message: there is
    // nothing in it that could be told to the operator.
    if (length >= kFeedbackFixedLength && length <= kFeedbackMaxLength)
        return DatagramRoute::Feedback;
    return DatagramRoute::Ignored;
}

QString dottedFromBytes(const QByteArray &bytes, int offset)
{
    if (offset < 0 || offset > bytes.size() - 4)
        return QString();
    QString text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text += QLatin1Char('.');
        text += QString::number(static_cast<quint8>(bytes.at(offset + i)));
    }
    return text;
}

FeedbackCheck decodeFeedback(const QByteArray &message, ElementFeedback &record)
{
    if (message.size() < kFeedbackFixedLength)
        return FeedbackCheck::ElementIP;

    ElementFeedback &r = record;
    r.UDP_Response_IP = dottedFromBytes(message, 0);
    r.UDP_Response_Mask = dottedFromBytes(message, 4);
    r.UDP_Response_GW = dottedFromBytes(message, 8);
    r.UDP_Response_Remote_IP = dottedFromBytes(message, 12);
    r.UDP_Response_Audio_Input = static_cast<quint8>(message.at(16));
    r.UDP_Response_Audio_Type = static_cast<quint8>(message.at(17));
    r.UDP_Response_TX_Type = static_cast<quint8>(message.at(18));
    r.UDP_Response_Name = QString::fromLatin1(message.constData() + 19, 16);
    r.UDP_Response_Role = static_cast<quint8>(message.at(35));

    // Unsigned on the wire, kept as signed 32-bit: a first byte of 128 or more turns
    // negative and fails the serial check below.
    const quint32 serial = (quint32(quint8(message.at(36))) << 24)
                           | (quint32(quint8(message.at(37))) << 16)
                           | (quint32(quint8(message.at(38))) << 8)
                           | quint32(quint8(message.at(39)));
    r.UDP_Response_Serial_Number = static_cast<qint32>(serial);

    r.UDP_Response_Version_Major = 2;
    r.UDP_Response_Version_Minor = 0;
    r.UDP_Response_SFN = 0;
    r.UDP_Response_Buffer = 0;

    if (message.size() > 41)
        readEncoderTail(message, r);
    if (r.UDP_Response_Role == kDecoderRole) {
        r.UDP_Response_Attenuation = 255;
        r.UDP_Response_Buffer = 1;
        if (message.size() > 40)
            readDecoderTail(message, r);
    }

    if (!IsValidIP(r.UDP_Response_IP))
        return FeedbackCheck::ElementIP;
    if (!IsValidIP(r.UDP_Response_Mask))
        return FeedbackCheck::ElementMask;
    if (!IsValidIP(r.UDP_Response_GW))
        return FeedbackCheck::ElementGW;
    if (!IsValidIP(r.UDP_Response_Remote_IP))
        return FeedbackCheck::RemoteIP;
    if (r.UDP_Response_Audio_Input >= 2)
        return FeedbackCheck::AudioInput;
    if (r.UDP_Response_Audio_Type >= 2)
        return FeedbackCheck::AudioType;
    if (r.UDP_Response_TX_Type >= 2)
        return FeedbackCheck::TxType;
    if (r.UDP_Response_Role >= 3)
        return FeedbackCheck::ElementType;
    if (r.UDP_Response_Serial_Number < 1)
        return FeedbackCheck::SerialNumber;
    return FeedbackCheck::Ok;
}

QString feedbackCheckText(FeedbackCheck check)
{
    const char *field = nullptr;
    switch (check) {
    case FeedbackCheck::Ok: return QString();
    case FeedbackCheck::ElementIP: field = "Element IP"; break;
    case FeedbackCheck::ElementMask: field = "Element Mask"; break;
    case FeedbackCheck::ElementGW: field = "Element GW"; break;
    case FeedbackCheck::RemoteIP: field = "Remote / Multicast IP"; break;
    case FeedbackCheck::AudioInput: field = "Audio Input"; break;
    case FeedbackCheck::AudioType: field = "Audio Type"; break;
    case FeedbackCheck::TxType: field = "TX Type"; break;
    case FeedbackCheck::ElementType: field = "Element Type"; break;
    case FeedbackCheck::SerialNumber: field = "Serial Number"; break;
    }
    if (!field)
        return QString();
    return QStringLiteral("An error occured while retrieving '%1':").arg(QLatin1String(field));
}

QString feedbackCorruptedMessage(const QString &firstLine)
{
    return firstLine + QLatin1Char('\r') + QStringLiteral("Feedback is corrupted.");
}

QByteArray encodeFeedback(const ElementFeedback &f)
{
    const bool decoder = f.UDP_Response_Role == kDecoderRole;
    QByteArray out;
    out.reserve(decoder ? 54 : 45);
    appendAddress(out, f.UDP_Response_IP);
    appendAddress(out, f.UDP_Response_Mask);
    appendAddress(out, f.UDP_Response_GW);
    appendAddress(out, f.UDP_Response_Remote_IP);
    out.append(static_cast<char>(f.UDP_Response_Audio_Input));
    out.append(static_cast<char>(f.UDP_Response_Audio_Type));
    out.append(static_cast<char>(f.UDP_Response_TX_Type));

    QString name = f.UDP_Response_Name.left(16);
    name = name.leftJustified(16, QLatin1Char(' '));
    for (const QChar c : name)
        out.append(static_cast<char>(c.unicode() & 0xFF));

    out.append(static_cast<char>(f.UDP_Response_Role));
    const quint32 serial = static_cast<quint32>(f.UDP_Response_Serial_Number);
    out.append(static_cast<char>(serial >> 24));
    out.append(static_cast<char>(serial >> 16));
    out.append(static_cast<char>(serial >> 8));
    out.append(static_cast<char>(serial));

    if (decoder) {
        out.append(static_cast<char>(f.UDP_Response_Attenuation));
        out.append(static_cast<char>(f.UDP_Response_Version_Major));
        out.append(static_cast<char>(f.UDP_Response_Version_Minor));
        out.append(static_cast<char>(f.UDP_Response_SFN));
        out.append(static_cast<char>(f.UDP_Response_Buffer));
        out.append(static_cast<char>(f.UDP_Response_SilDet_Mode));
        out.append(static_cast<char>(f.UDP_Response_SilDet_Level));
        out.append(static_cast<char>(f.UDP_Response_SilDet_Time));
        out.append(5, '\0');
        out.append(static_cast<char>(f.UDP_Response_Low_Latency));
    } else {
        out.append(static_cast<char>(f.UDP_Response_Version_Major));
        out.append(static_cast<char>(f.UDP_Response_Version_Minor));
        out.append(static_cast<char>(f.UDP_Response_SFN));
        out.append(static_cast<char>(f.UDP_Response_Buffer));
        out.append(static_cast<char>(f.UDP_Response_Low_Latency));
    }
    return out;
}
