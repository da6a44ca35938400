#pragma once
// What one simulated element holds and how it turns requests into answers: no socket,
// no clock of its own (the caller passes the time), so tests can drive it directly.

#include "LevelSignal.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

struct ConfigCommand;

namespace sim {

// The configuration an element reports in its feedback message. Addresses in host order.
struct ElementConfig {
    quint8 role = 1;                 // 1 encoder, 2 decoder, anything else unknown
    QString name;                    // up to 16 characters (cut/padded on the wire)
    quint32 serial = 1;
    quint32 ip = 0, mask = 0, gw = 0, remote = 0;
    quint8 input = 1, type = 1, tx = 1;
    quint8 versionMajor = 3, versionMinor = 4;
    quint8 sfn = 0, buffer = 0, attenuation = 255;
    quint8 silDetMode = 0, silDetLevel = 77, silDetTime = 22;
    quint8 lowLatency = 0;
};

// The PTP side of the status record. The delays are reported as they are set; the
// additional delay and the auto-servo byte are what the last set-delay command sent.
struct DelayConfig {
    qint32 average = 120000, minimum = 110000, maximum = 130000;
    qint32 servoCorrection = -150;
    qint32 clockDifference = 12;
    qint32 additional = 0;
    quint8 autoServo = 0;
};

// A field the feedback message carries wrongly on purpose.
enum class Corruption {
    None,
    Ip, Mask, Gw, Remote,   // 255.255.255.255 in place of the address
    Input, Type, Tx,        // 2: one past the last valid value
    Role,                   // 3
    Serial,                 // 00 00 00 00
    SerialHigh,             // 80 00 00 00 (above 2147483647)
    Name,                   // control bytes 00..0F in place of the text
    Length,                 // the message cut to 39 bytes, short of the fixed part
};
std::optional<Corruption> parseCorruption(const QString &field);
QStringList corruptionNames();

struct ElementFaults {
    bool silent = false;              // paging and configuration get no answer
    int delayMs = 0;                  // every answer leaves this much later
    Corruption corrupt = Corruption::None;
    QString reportName;               // reported instead of the name in force
    std::optional<quint32> reportIp;  // reported instead of the address in force
};

// Counter growth per second of uptime. 32-bit counters wrap the way a device's do.
struct CounterRates {
    static constexpr qint64 kFramesPerSecond = 1000;   // MAC frames and audio frames
    static constexpr qint64 kPtpSyncsPerSecond = 8;    // only while SFN is on
    static constexpr qint64 kFramesPerError = 1000;    // one bad frame in a thousand
};

class ElementModel {
public:
    ElementModel() = default;
    ElementModel(const ElementConfig &config, const DelayConfig &delays,
                 const ElementFaults &faults, const LevelSignal &signal);

    const ElementConfig &config() const { return m_config; }
    ElementConfig &config() { return m_config; }
    const DelayConfig &delays() const { return m_delays; }
    const ElementFaults &faults() const { return m_faults; }

    // The feedback message for the configuration in force, faults applied.
    QByteArray feedback() const;

    // Takes every field of a decoded configuration command except the address and mask,
    // which the caller applies (it may have to change a real interface first). The
    // decoder-only fields come only with the 41-byte form. The role never changes.
    void applyConfigExceptAddress(const ConfigCommand &command);

    // The 2-byte attenuation command: byte 0 is the attenuation. False when malformed.
    bool applyAttenuation(const QByteArray &datagram);
    // 'S', delay (signed 32-bit, big-endian), auto-servo byte. False when malformed.
    bool applySetDelay(const QByteArray &datagram);

    // Counters of `uptimeMs` since start or the last reset (whole seconds count).
    QByteArray statusRecord(qint64 uptimeMs) const;
    QByteArray levelAnswer(int length) const { return levelBlock(m_signal, length); }

private:
    ElementConfig m_config;
    DelayConfig m_delays;
    ElementFaults m_faults;
    LevelSignal m_signal;
};

// Dotted text <-> host-order address.
QString dotted(quint32 address);
std::optional<quint32> parseDotted(const QString &text);
// Prefix length of a contiguous mask, nullopt otherwise (255.0.255.0).
std::optional<int> prefixLength(quint32 mask);

} // namespace sim
