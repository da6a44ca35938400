#include "protocol/ReplyRecord.h"

#include "store/TextHelpers.h"

namespace {

constexpr quint8 kEncoderRole = 1;
constexpr quint8 kDecoderRole = 2;

QString number(int value)
{
    return QString::number(value);
}

QString versionText(const ElementFeedback &f)
{
    return number(f.UDP_Response_Version_Major) + QLatin1Char('.') + number(f.UDP_Response_Version_Minor);
}

// Blanks only: a tab or other byte inside the element's 16 name bytes is part of the name.
QString trimSpaces(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString savingError(const char *field)
{
    return QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(field));
}

FieldCheck exactText(const char *key, const QString &reported, const QString &sent, const char *field)
{
    return {QString::fromLatin1(key), reported == sent, sent, savingError(field), reported};
}

FieldCheck listIndex(const char *key, quint8 reported, int sent, const char *field)
{
    return {QString::fromLatin1(key), int(reported) == sent, number(sent), savingError(field), number(reported)};
}

} // namespace

bool carriesDecoderSettings(const ElementFeedback &f)
{
    return f.UDP_Response_Role == kDecoderRole;
}

QString remoteAddressKey(const ElementFeedback &f)
{
    if (f.UDP_Response_TX_Type == 0 && f.UDP_Response_Role != kDecoderRole)
        return QStringLiteral("remote");
    return QStringLiteral("multi");
}

QString roleCaption(quint8 role)
{
    if (role == kEncoderRole)
        return QStringLiteral("ENCODER");
    if (role == kDecoderRole)
        return QStringLiteral("DECODER");
    return QStringLiteral("UNKNOWN");
}

void resetFieldsWithoutDefault(ElementFeedback &f)
{
    f.UDP_Response_Low_Latency = 0;
    f.UDP_Response_SilDet_Mode = 0;
    f.UDP_Response_SilDet_Level = 0;
    f.UDP_Response_SilDet_Time = 0;
}

IniPairs discoveryRecord(const ElementFeedback &f)
{
    IniPairs pairs{
        {QStringLiteral("name"), PadName16(f.UDP_Response_Name)},
        {QStringLiteral("ip"), f.UDP_Response_IP},
        {QStringLiteral("mask"), f.UDP_Response_Mask},
        {QStringLiteral("gw"), f.UDP_Response_GW},
        {QStringLiteral("input"), number(f.UDP_Response_Audio_Input)},
        {QStringLiteral("type"), number(f.UDP_Response_Audio_Type)},
        {QStringLiteral("tx"), number(f.UDP_Response_TX_Type)},
        {remoteAddressKey(f), f.UDP_Response_Remote_IP},
        {QStringLiteral("role"), number(f.UDP_Response_Role)},
        {QStringLiteral("sn"), number(f.UDP_Response_Serial_Number)},
        {QStringLiteral("ver"), versionText(f)},
        {QStringLiteral("sfn"), number(f.UDP_Response_SFN)},
        {QStringLiteral("buf"), number(f.UDP_Response_Buffer)},
    };
    if (carriesDecoderSettings(f)) {
        pairs.append({QStringLiteral("att"), number(f.UDP_Response_Attenuation)});
        pairs.append({QStringLiteral("sdm"), number(f.UDP_Response_SilDet_Mode)});
        pairs.append({QStringLiteral("sdl"), number(f.UDP_Response_SilDet_Level)});
        pairs.append({QStringLiteral("sdt"), number(f.UDP_Response_SilDet_Time)});
    }
    pairs.append({QStringLiteral("llo"), number(f.UDP_Response_Low_Latency)});
    return pairs;
}

QList<FieldCheck> compareIdentityFields(const ElementFeedback &f, const ConfigCommand &sent)
{
    // The element pads its name with blanks and may report it in either case; what the
    // operator typed is stored in the padded upper-case form the element holds.
    FieldCheck name{QStringLiteral("name"),
                    trimSpaces(f.UDP_Response_Name).toUpper() == trimSpaces(sent.name).toUpper(),
                    PadName16(sent.name), savingError("Element Name"), trimSpaces(f.UDP_Response_Name)};
    return {
        name,
        exactText("ip", f.UDP_Response_IP, sent.ip, "Element IP"),
        exactText("mask", f.UDP_Response_Mask, sent.mask, "Element Mask"),
        exactText("gw", f.UDP_Response_GW, sent.gw, "Element GW"),
        listIndex("input", f.UDP_Response_Audio_Input, sent.audioInput, "Audio Input"),
        listIndex("type", f.UDP_Response_Audio_Type, sent.audioType, "Audio Type"),
        listIndex("tx", f.UDP_Response_TX_Type, sent.audioTx, "Audio TX"),
    };
}

FieldCheck compareRemoteAddress(const ElementFeedback &f, const ConfigCommand &sent)
{
    return {remoteAddressKey(f), f.UDP_Response_Remote_IP == sent.remote, sent.remote,
            savingError(f.UDP_Response_TX_Type >= 1 ? "Multicast IP" : "Remote IP"), f.UDP_Response_Remote_IP};
}
