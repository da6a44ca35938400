#pragma once
// The station's core over a temporary nms.ini: element reports as the wire carries them, an
// ARP service that answers what the test says, and what the core reports, recorded in order.
#include <QtTest>
#include <functional>

#include "platform/AppDir.h"
#include "platform/Arp.h"
#include "protocol/Feedback.h"
#include "station/Station.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"
#include "support/IniText.h"
#include "support/TestEnvironment.h"

using platform::MessageSpec;

inline const QString kMacText = QStringLiteral("00:1A:2B:3C:4D:5E");
inline const QString kSection = QStringLiteral("001A2B3C4D5E");
inline const QByteArray kMacBytes = QByteArray::fromHex("001a2b3c4d5e");

inline QString value(const Keys &keys, const QString &key)
{
    for (const auto &k : keys)
        if (k.first == key)
            return k.second;
    return QStringLiteral("<absent>");
}

inline ElementFeedback decoded(const QByteArray &message)
{
    ElementFeedback f;
    decodeFeedback(message, f);
    return f;
}

// What an encoder at 192.168.1.10/24 (gateway .1) reports about itself: "STUDIO A", unicast
// to 192.168.1.20, Analog, MPX, serial 4711, version 3.4, SFN off, buffer 0, low latency on.
inline ElementFeedback encoderReport()
{
    return decoded(QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 C0A80114 01 01 00") + "STUDIO A        "
                   + QByteArray::fromHex("01 00001267 03 04 00 00 01"));
}

// A decoder at the same address: "SITE B", multicast 239.192.0.5, attenuation 200, SFN on,
// buffer 10, silence detection mode 1 / level 77 / time 22, low latency off.
inline ElementFeedback decoderReport()
{
    return decoded(QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 EFC00005 01 01 01") + "SITE B          "
                   + QByteArray::fromHex("02 00001267 C8 03 04 01 0A 01 4D 16 0000000000 00"));
}

// The command that carries what `f` reports, for the element `mac`.
inline station::ConfigRequest requestFor(const ElementFeedback &f, const QString &mac = kMacText)
{
    station::ConfigRequest r{mac, {}};
    r.command.decoder = f.UDP_Response_Role == 2;
    r.command.ip = f.UDP_Response_IP, r.command.mask = f.UDP_Response_Mask, r.command.gw = f.UDP_Response_GW;
    r.command.remote = f.UDP_Response_Remote_IP, r.command.name = f.UDP_Response_Name.trimmed();
    r.command.audioInput = f.UDP_Response_Audio_Input, r.command.audioType = f.UDP_Response_Audio_Type;
    r.command.audioTx = f.UDP_Response_TX_Type;
    return r;
}

// An ARP service that answers with `mac` (or fails when empty) and counts the questions.
struct FakeArp {
    explicit FakeArp(QByteArray mac = kMacBytes)
        : answer(std::move(mac))
    {
        platform::setHardwareAddressLookup([this](quint32, QByteArray *out) {
            ++attempts;
            if (onAttempt)
                onAttempt(attempts);
            if (answer.isEmpty())
                return false;
            *out = answer;
            return true;
        });
    }
    ~FakeArp() { platform::setHardwareAddressLookup({}); }
    QByteArray answer;
    int attempts = 0;
    std::function<void(int)> onAttempt;
};

struct Core {
    Core()
    {
        station::MacWait::setTickIntervalForTests(5);
        QObject::connect(&s, &station::Station::feedbackRejected, [this](const MessageSpec &m) { report(m); });
        QObject::connect(&s, &station::Station::confirmed, [this](const station::Confirmation &c) {
            confirmations.append(c);
            for (const MessageSpec &m : c.messages)
                report(m);
        });
        QObject::connect(&s.config(), &station::ConfigExchange::timedOut,
                         [this](const station::Result &r) { report(r.message); });
        QObject::connect(&s, &station::Station::databaseChanged, [this] { ++databaseChanges; });
    }
    ~Core() { station::MacWait::setTickIntervalForTests(0); }

    // Whatever a slot showing a box would let happen during its event loop runs in
    // onReport; with stayOpenMs the "box" runs an event loop that long, as a real one does.
    void report(const MessageSpec &m)
    {
        shown.append(m);
        deepest = qMax(deepest, ++open);
        if (onReport)
            onReport(m);
        if (stayOpenMs > 0) {
            QEventLoop box;
            QTimer::singleShot(stayOpenMs, &box, &QEventLoop::quit);
            box.exec();
        }
        --open;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageSpec &m : shown)
            out << m.text;
        return out;
    }
    // Hands a datagram to the station and waits (bounded) for its MAC wait to end.
    bool arrive(const QByteArray &datagram)
    {
        s.takeDatagram(datagram);
        return QTest::qWaitFor([this] { return !s.macWait().isRunning(); }, 10000);
    }

    TestEnvironment env;
    station::Station s;
    QList<MessageSpec> shown;
    QList<station::Confirmation> confirmations;
    int databaseChanges = 0;
    int stayOpenMs = 0, open = 0, deepest = 0;
    std::function<void(const MessageSpec &)> onReport;
};

inline QString corrupted(const QString &firstLine) { return firstLine + QStringLiteral("\rFeedback is corrupted."); }
