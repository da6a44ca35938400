#include "ElementModel.h"

#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"
#include "sfn/StatusRecord.h"

#include <QHostAddress>
#include <QStringList>
#include <QtEndian>

namespace sim {

namespace {

struct CorruptionName {
    const char *name;
    Corruption value;
};
constexpr CorruptionName kCorruptions[] = {
    {"ip", Corruption::Ip},         {"mask", Corruption::Mask},
    {"gw", Corruption::Gw},         {"remote", Corruption::Remote},
    {"input", Corruption::Input},   {"type", Corruption::Type},
    {"tx", Corruption::Tx},         {"role", Corruption::Role},
    {"serial", Corruption::Serial}, {"serial-high", Corruption::SerialHigh},
    {"name", Corruption::Name},     {"length", Corruption::Length},
};

void putAddress(QByteArray &m, int offset, quint32 a)
{
    qToBigEndian(a, m.data() + offset);
}

// A 32-bit counter of a device: wraps at 2^32, read back as signed.
qint32 counter(qint64 n)
{
    return qint32(quint32(quint64(n) & 0xFFFFFFFFu));
}

} // namespace

std::optional<Corruption> parseCorruption(const QString &field)
{
    for (const CorruptionName &c : kCorruptions) {
        if (field == QLatin1String(c.name))
            return c.value;
    }
    return std::nullopt;
}

QStringList corruptionNames()
{
    QStringList names;
    for (const CorruptionName &c : kCorruptions)
        names << QLatin1String(c.name);
    return names;
}

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

std::optional<quint32> parseDotted(const QString &text)
{
    // Four plain decimal parts only: QHostAddress would also take "10.0.0" or "0x0A.0.0.1".
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return std::nullopt;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        const uint v = part.toUInt();
        if (v > 255)
            return std::nullopt;
        address = (address << 8) | v;
    }
    return address;
}

std::optional<int> prefixLength(quint32 mask)
{
    const quint32 inverted = ~mask;
    // A contiguous mask leaves a run of low one-bits when inverted: x & (x + 1) == 0.
    if ((inverted & (inverted + 1)) != 0)
        return std::nullopt;
    int bits = 0;
    for (quint32 m = mask; m; m <<= 1)
        ++bits;
    return bits;
}

ElementModel::ElementModel(const ElementConfig &config, const DelayConfig &delays,
                           const ElementFaults &faults, const LevelSignal &signal)
    : m_config(config), m_delays(delays), m_faults(faults), m_signal(signal)
{
}

QByteArray ElementModel::feedback() const
{
    ElementFeedback f;
    f.UDP_Response_IP = dotted(m_faults.reportIp.value_or(m_config.ip));
    f.UDP_Response_Mask = dotted(m_config.mask);
    f.UDP_Response_GW = dotted(m_config.gw);
    f.UDP_Response_Remote_IP = dotted(m_config.remote);
    f.UDP_Response_Audio_Input = m_config.input;
    f.UDP_Response_Audio_Type = m_config.type;
    f.UDP_Response_TX_Type = m_config.tx;
    f.UDP_Response_Name = m_faults.reportName.isEmpty() ? m_config.name : m_faults.reportName;
    f.UDP_Response_Role = m_config.role;
    f.UDP_Response_Serial_Number = qint32(m_config.serial);
    f.UDP_Response_Version_Major = m_config.versionMajor;
    f.UDP_Response_Version_Minor = m_config.versionMinor;
    f.UDP_Response_SFN = m_config.sfn;
    f.UDP_Response_Buffer = m_config.buffer;
    f.UDP_Response_Attenuation = m_config.attenuation;
    f.UDP_Response_SilDet_Mode = m_config.silDetMode;
    f.UDP_Response_SilDet_Level = m_config.silDetLevel;
    f.UDP_Response_SilDet_Time = m_config.silDetTime;
    f.UDP_Response_Low_Latency = m_config.lowLatency;
    QByteArray m = encodeFeedback(f);
    if (m.size() < kFeedbackFixedLength)
        return m;

    switch (m_faults.corrupt) {
    case Corruption::None:
        break;
    case Corruption::Ip:
        putAddress(m, 0, 0xFFFFFFFFu);
        break;
    case Corruption::Mask:
        putAddress(m, 4, 0xFFFFFFFFu);
        break;
    case Corruption::Gw:
        putAddress(m, 8, 0xFFFFFFFFu);
        break;
    case Corruption::Remote:
        putAddress(m, 12, 0xFFFFFFFFu);
        break;
    case Corruption::Input:
        m[16] = 2;
        break;
    case Corruption::Type:
        m[17] = 2;
        break;
    case Corruption::Tx:
        m[18] = 2;
        break;
    case Corruption::Role:
        m[35] = 3;
        break;
    case Corruption::Serial:
        putAddress(m, 36, 0);
        break;
    case Corruption::SerialHigh:
        putAddress(m, 36, 0x80000000u);
        break;
    case Corruption::Name:
        for (int i = 0; i < 16; ++i)
            m[19 + i] = char(i);
        break;
    case Corruption::Length:
        m.truncate(39);
        break;
    }
    return m;
}

void ElementModel::applyConfigExceptAddress(const ConfigCommand &command)
{
    if (const auto gw = parseDotted(command.gw))
        m_config.gw = *gw;
    if (const auto remote = parseDotted(command.remote))
        m_config.remote = *remote;
    m_config.input = quint8(command.audioInput);
    m_config.type = quint8(command.audioType);
    m_config.tx = quint8(command.audioTx);
    m_config.sfn = quint8(command.sfn);
    m_config.name = command.name;
    m_config.lowLatency = quint8(command.lowLatency);
    if (command.decoder) {
        m_config.buffer = quint8(command.buffer);
        m_config.silDetMode = quint8(command.silDetMode);
        m_config.silDetLevel = quint8(command.silDetLevel);
        m_config.silDetTime = quint8(command.silDetTime);
    }
}

bool ElementModel::applyAttenuation(const QByteArray &datagram)
{
    if (datagram.size() != 2)
        return false;
    m_config.attenuation = quint8(datagram[0]);
    return true;
}

bool ElementModel::applySetDelay(const QByteArray &datagram)
{
    if (datagram.size() != 6 || datagram[0] != 'S')
        return false;
    m_delays.additional = qFromBigEndian<qint32>(datagram.constData() + 1);
    m_delays.autoServo = quint8(datagram[5]);
    return true;
}

QByteArray ElementModel::statusRecord(qint64 uptimeMs) const
{
    const qint64 s = qMax<qint64>(0, uptimeMs) / 1000;
    const qint64 frames = s * CounterRates::kFramesPerSecond;
    const qint64 syncs = m_config.sfn == 1 ? s * CounterRates::kPtpSyncsPerSecond : 0;
    StatusRecord r;
    r.txFramesOk = counter(frames + syncs);
    r.rxFramesOk = counter(frames + syncs);
    r.txFramesErr = 0;
    r.rxFramesErr = counter(frames / CounterRates::kFramesPerError);
    r.ptpSyncOk = counter(syncs);
    r.ptpSyncErr = 0;
    r.ptpClockDiff = m_config.sfn == 1 ? m_delays.clockDifference : 0;
    r.ptpMeasuredDelay = m_delays.average;
    r.audioFramesOk = counter(frames);
    r.audioFramesErr = counter(frames / CounterRates::kFramesPerError);
    r.delayAvg = m_delays.average;
    r.delayMin = m_delays.minimum;
    r.delayMax = m_delays.maximum;
    r.additionalDelay = m_delays.additional;
    r.servoCorrection = m_delays.servoCorrection;
    r.autoServo = m_delays.autoServo;
    return encodeStatusRecord(r);
}

} // namespace sim
