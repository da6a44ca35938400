// The station's core, one row per case: the main socket's messages (a discovery answer stored
// whole, a configuration answer confirmed against the command sent), a discovery's start around
// the database file with interfaces of the test's own, the port-2978 exchanges, the level monitor
// and the ping; the element is a socket of the test on loopback.
#include <QFile>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "LevelSignal.h"
#include "StationCore.h"
#include "platform/Interfaces.h"
#include "sfn/StatusRecord.h"
#include "station/DiscoveryRun.h"
#include "station/ElementLink.h"
#include "station/Ping.h"
#include "store/CrashLeftovers.h"
#include "support/ReceiveQueue.h"

using station::StatusExchange;
using Kind = station::StatusExchange::Kind;
Q_DECLARE_METATYPE(station::StatusExchange::Kind)
using Mutation = std::function<void(ElementFeedback &)>;
using Change = std::function<void(station::ConfigRequest &)>;
Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(ElementFeedback)

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kNoMatch = QStringLiteral("The response received does not match the selected element.\rCannot save this element info.");
const QString kOther = QStringLiteral("001A2B3C4D5F");
const QString kStored = QStringLiteral("The stored IP address \"%1\" of this element is not ");
const QHostAddress kElementAddress(QStringLiteral("127.0.0.2"));
// The element's stored record, reachable on loopback for the command.
const Keys kRecord{{"name", "OLD NAME"}, {"ip", "127.0.0.2"}, {"mask", "255.0.0.0"}, {"tx", "0"}, {"role", "1"}};
const QString kDatabase = iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "10.0.0.5"}, {"role", "1"}});
const QString kTwo = iniSection(QStringLiteral("0A0000000001"), {{"name", "X"}, {"role", "1"}})
                     + iniSection(QStringLiteral("0A0000000002"), {{"name", "Y"}, {"role", "2"}});

QString saving(const char *field) { return corrupted(QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(field))); }
QString failed(const QString &field) { return corrupted(QStringLiteral("An error occured while retrieving '%1':").arg(field)); }
const QString kMacMissing = failed(QStringLiteral("Element MAC"));

// A report named `name` that fails one check (by default the audio input byte is out of range).
QByteArray brokenReport(const QString &name, int field = 16, quint8 byte = 2)
{
    ElementFeedback f = encoderReport();
    f.UDP_Response_Name = name;
    return encodeFeedback(f).replace(field, 1, QByteArray(1, char(byte)));
}

void compareStored(const QString &path, const Keys &expected)
{
    for (const auto &key : expected)
        QCOMPARE(key.first + '=' + value(sectionContents(kSection, path), key.first), key.first + '=' + key.second);
}

QString fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).replace("\r\n", "\n") : QStringLiteral("<missing>");
}

// An interface with an index no kernel has: a send on it fails, nothing leaves the host.
platform::NetInterface fakeInterface(bool up)
{
    platform::NetInterface i;
    i.index = 0x7ffffff0, i.name = QStringLiteral("lan9"), i.up = up, i.broadcast = true;
    return i;
}

// A decoder's record with `ip` (null: no key).
QString record(const QString &ip, const QString &sfn = QStringLiteral("1"))
{
    Keys keys{{"name", "TX SITE"}, {"role", "2"}, {"sfn", sfn}};
    if (!ip.isNull())
        keys.append({"ip", ip});
    return iniSection(kSection, keys);
}

// A level answer whose every sample is `peak`.
QByteArray block(qint32 peak, int length = 1201) { return sim::levelBlock({sim::LevelSignal::Kind::Constant, peak}, length); }

// Encoder "abc" at 10.0.0.5/24, gw .1, unicast to .9, Analog, MPX, SFN off, low latency.
station::ConfigRequest example()
{
    return {kMacText, ConfigCommand{false, "10.0.0.5", "255.255.255.0", "10.0.0.1", "10.0.0.9", 1, 1, 0, 0, "abc", 0, 0, 0, 0, 1}};
}

// A configuration leaving for the element, a socket of the test on 127.0.0.2:2976 with its record stored.
struct Sending : Core {
    Sending()
    {
        env.writeIni(iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "127.0.0.2"}, {"role", "1"}}));
        bound = element.bind(kElementAddress, kMainPort) && s.open(0).ok();
    }
    QNetworkDatagram received()
    {
        return QTest::qWaitFor([this] { return element.hasPendingDatagrams(); }, 10000) ? element.receiveDatagram()
                                                                                          : QNetworkDatagram();
    }
    // Nothing reached the element: a datagram of the test's own, sent now, is the first it receives.
    bool nothingReachedElement()
    {
        QUdpSocket().writeDatagram(QByteArrayLiteral("MARK"), kElementAddress, kMainPort);
        return received().data() == QByteArrayLiteral("MARK");
    }
    QUdpSocket element;
    bool bound = false;
};

} // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void init() { guardHostNamespace(); }
    void cleanup()
    {
        platform::setInterfaceLister({});
        platform::setPagingInterfaceNames({});
    }

    // A corrupted answer (serial number 0) is told; the reply time-out keeps running and the
    // record stays as it was, its MAC never asked for.
    void corruptedAnswerKeepsTheWait()
    {
        Core c;
        FakeArp arp;
        c.env.writeIni(iniSection(kSection, kRecord));
        QVERIFY(c.s.open(0).ok() && c.s.config().send(requestFor(encoderReport())).ok());
        QVERIFY(c.arrive(encodeFeedback(encoderReport()).replace(36, 4, QByteArray(4, '\0'))));
        QCOMPARE(c.texts(), QStringList{failed("Serial Number")});
        QCOMPARE(c.shown.at(0).icon, platform::MsgIcon::Critical);
        QCOMPARE(arp.attempts, 0);
        QVERIFY(c.s.config().isWaiting());
        QCOMPARE(sectionContents(kSection, c.env.iniPath()), kRecord);
    }

    // The answer to a command, compared with the command: what matches is stored, what
    // differs is told in the order of the record's keys. differences: "key:sent>reported".
    void answerComparedWithTheCommandSent_data()
    {
        QTest::addColumn<Mutation>("sent"); QTest::addColumn<Mutation>("reply");
        QTest::addColumn<QString>("sentTo");   // the element the command went to; empty: none sent
        QTest::addColumn<QStringList>("messages"); QTest::addColumn<Keys>("expectedKeys");
        QTest::addColumn<int>("extraKeys"); QTest::addColumn<QStringList>("differences");
        const Mutation none = [](ElementFeedback &) {};
        QTest::newRow("all match") << none << none << kMacText << QStringList{kSuccess}
            << Keys{{"name", "STUDIO A"}, {"ip", "192.168.1.10"}, {"remote", "192.168.1.20"}, {"sn", "4711"}} << 0 << QStringList();
        QTest::newRow("name matches after trimming and case") << Mutation([](ElementFeedback &f) { f.UDP_Response_Name = "  studio a"; })
            << none << kMacText << QStringList{kSuccess} << Keys{{"name", "STUDIO A"}} << 0 << QStringList();
        QTest::newRow("zero-padded address is another text") << Mutation([](ElementFeedback &f) { f.UDP_Response_IP = "192.168.001.010"; })
            << none << kMacText << QStringList{saving("Element IP")} << Keys{{"ip", "127.0.0.2"}} << 0
            << QStringList{"ip:192.168.001.010>192.168.1.10"};
        QTest::newRow("two fields differ, told in table order")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; f.UDP_Response_Mask = "255.255.0.0"; })
            << kMacText << QStringList{saving("Element Mask"), saving("Audio TX")}   // the mask first, though later in the message
            << Keys{{"mask", "255.0.0.0"}, {"tx", "0"}, {"gw", "192.168.1.1"}, {"multi", "192.168.1.20"}} << 0
            << QStringList{"mask:255.255.255.0>255.255.0.0", "tx:0>1"};
        QTest::newRow("multicast group differs") << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; })
            << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; f.UDP_Response_Remote_IP = "239.1.1.1"; })
            << kMacText << QStringList{saving("Multicast IP")} << Keys{{"multi", "<absent>"}, {"tx", "1"}} << 0
            << QStringList{"multi:192.168.1.20>239.1.1.1"};
        QTest::newRow("unicast destination differs") << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Remote_IP = "192.168.1.21"; })
            << kMacText << QStringList{saving("Remote IP")} << Keys{{"remote", "<absent>"}, {"multi", "<absent>"}} << 0
            << QStringList{"remote:192.168.1.20>192.168.1.21"};
        QTest::newRow("unknown element type: stored, success withheld silently")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Role = 0; }) << kMacText << QStringList()
            << Keys{{"role", "0"}, {"name", "STUDIO A"}} << 0 << QStringList{"role:>0"};
        QTest::newRow("command went to another element") << none << none << FormatMAC(kOther) << QStringList{kNoMatch}
            << Keys{{"name", "OLD NAME"}} << 0 << QStringList();
        QTest::newRow("no command sent") << none << none << QString() << QStringList{kNoMatch} << Keys{{"name", "OLD NAME"}}
            << 0 << QStringList();
        QTest::newRow("record of 20 keys") << none << none << kMacText << QStringList{kSuccess} << Keys{{"name", "STUDIO A"}}
            << 15 << QStringList();
        QTest::newRow("record of 21 keys") << none << none << kMacText
            << QStringList{"The data stored in your computer about this element, is corrupted.\rCannot save this element info."}
            << Keys{{"name", "OLD NAME"}} << 16 << QStringList();
    }
    void answerComparedWithTheCommandSent()
    {
        QFETCH(Mutation, sent); QFETCH(Mutation, reply); QFETCH(QString, sentTo); QFETCH(QStringList, messages);
        QFETCH(Keys, expectedKeys); QFETCH(int, extraKeys); QFETCH(QStringList, differences);
        Core c;
        FakeArp arp;
        Keys record = kRecord;
        for (int i = 0; i < extraKeys; ++i)
            record.append({QStringLiteral("x%1").arg(i), "1"});
        c.env.writeIni(iniSection(kSection, record) + iniSection(kOther, {{"ip", "127.0.0.2"}}));
        QVERIFY(c.s.open(0).ok());
        ElementFeedback command = encoderReport(), reported = encoderReport();
        sent(command), reply(reported);
        if (!sentTo.isEmpty())
            QVERIFY(c.s.config().send(requestFor(command, sentTo)).ok());
        QVERIFY(c.arrive(encodeFeedback(reported)));

        QCOMPARE(c.texts(), messages);
        compareStored(c.env.iniPath(), expectedKeys);
        QCOMPARE(arp.attempts, 1);
        QCOMPARE(c.confirmations.size(), 1);
        QStringList got;
        for (const auto &d : c.confirmations.at(0).differences)
            got << d.key + ':' + d.sent + '>' + d.reported;
        QCOMPARE(got, differences);
        if (messages == QStringList{kSuccess})
            QCOMPARE(c.shown.at(0).title, QStringLiteral("Configuration changed"));
        QCOMPARE(c.databaseChanges, messages.contains(kNoMatch) || extraKeys > 15 ? 0 : 1);
    }

    // Settings out of range are stored clamped (as tst_sendconfiguration's panel shows them); a
    // silence mode beyond the list is stored as it is.
    void settingsBroughtIntoRanges()
    {
        Core c;
        FakeArp arp;
        c.env.writeIni(iniSection(kSection, {{"ip", "127.0.0.2"}, {"role", "2"}}));
        QVERIFY(c.s.open(0).ok() && c.s.config().send(requestFor(decoderReport())).ok());
        ElementFeedback f = decoderReport();
        f.UDP_Response_Attenuation = 10, f.UDP_Response_Buffer = 30, f.UDP_Response_SilDet_Mode = 7;
        f.UDP_Response_SilDet_Level = 0, f.UDP_Response_SilDet_Time = 250, f.UDP_Response_SFN = 5;
        f.UDP_Response_Low_Latency = 2;
        QVERIFY(c.arrive(encodeFeedback(f)));
        QCOMPARE(c.texts(), QStringList{kSuccess});
        compareStored(c.env.iniPath(), {{"att", "14"}, {"buf", "22"}, {"sdm", "7"}, {"sdl", "1"}, {"sdt", "220"},
                                        {"sfn", "0"}, {"llo", "0"}, {"sn", "4711"}, {"ver", "3.4"}});
    }

    // An encoder's message has no decoder settings: the record keeps its own; the low
    // latency a short message lacks is stored as 0, not as what an earlier message said.
    void encoderAnswerKeepsDecoderKeysAndZeroesWhatItLacks()
    {
        Core c;
        FakeArp arp;
        c.env.writeIni(iniSection(kSection, {{"ip", "127.0.0.2"}, {"role", "1"}, {"att", "100"}, {"sdm", "1"},
                                             {"sdl", "50"}, {"sdt", "60"}, {"llo", "1"}}));
        QVERIFY(c.s.open(0).ok());
        ElementFeedback earlier = decoderReport();   // a whole decoder message first, answering nothing
        earlier.UDP_Response_Low_Latency = 1;
        QVERIFY(c.arrive(encodeFeedback(earlier)));
        c.shown.clear();
        QVERIFY(c.s.config().send(requestFor(encoderReport())).ok());
        QVERIFY(c.arrive(encodeFeedback(encoderReport()).left(44)));   // no byte 44
        QCOMPARE(c.texts(), QStringList{kSuccess});
        compareStored(c.env.iniPath(), {{"att", "100"}, {"sdm", "1"}, {"sdl", "50"}, {"sdt", "60"}, {"llo", "0"}});
    }

    // Without the MAC nothing is stored: a configuration answer waits (and gives up), a
    // discovery answer asks once. Either ends the wait for a reply.
    void withoutMacNothingIsStored_data()
    {
        QTest::addColumn<bool>("discovery"); QTest::addColumn<int>("attempts");
        QTest::newRow("configuration answer: the wait gives up") << false << 21;
        QTest::newRow("discovery answer: resolved beside the others") << true << 1 + station::MacBatch::kTicksToGiveUp;
    }
    void withoutMacNothingIsStored()
    {
        QFETCH(bool, discovery); QFETCH(int, attempts);
        Core c;
        FakeArp arp{QByteArray::fromHex("000000000001")};   // an incomplete entry
        c.env.writeIni(iniSection(kSection, kRecord));
        QVERIFY(c.s.open(0).ok() && c.s.config().send(requestFor(encoderReport())).ok());
        QSignalSpy waits(&c.s, &station::Station::macWaitStarted);
        c.s.setDiscovery(discovery ? station::Station::Answers::Store : station::Station::Answers::Confirm);
        QVERIFY(c.arrive(encodeFeedback(encoderReport())));
        QTRY_COMPARE(c.s.resolvingCount(), 0);
        c.s.setDiscovery(station::Station::Answers::Confirm);   // reported when the run ends
        QCOMPARE(arp.attempts, attempts);
        QCOMPARE(waits.count(), discovery ? 0 : 1);
        QCOMPARE(c.texts(), QStringList{kMacMissing});
        QCOMPARE(sectionContents(kSection, c.env.iniPath()), kRecord);
        QVERIFY(!c.s.config().isWaiting());
    }

    // A discovery answer is stored whole (a collecting discovery is tst_nmsctl_lab's "discover").
    void discoveryStoresTheWholeRecord_data()
    {
        QTest::addColumn<QString>("before"); QTest::addColumn<ElementFeedback>("report"); QTest::addColumn<QStringList>("keys");
        const QStringList common{"name", "ip", "mask", "gw", "input", "type", "tx"};
        const QStringList tail{"role", "sn", "ver", "sfn", "buf"};
        ElementFeedback multicast = encoderReport(), decoderUnicast = decoderReport();
        multicast.UDP_Response_TX_Type = 1, decoderUnicast.UDP_Response_TX_Type = 0;
        QTest::newRow("encoder unicast") << QString() << encoderReport() << common + QStringList{"remote"} + tail + QStringList{"llo"};
        QTest::newRow("encoder multicast leaves an old remote key") << iniSection(kSection, {{"remote", "10.1.1.1"}}) << multicast
            << QStringList{"remote"} + common + QStringList{"multi"} + tail + QStringList{"llo"};
        QTest::newRow("decoder, whatever its tx") << QString() << decoderUnicast
            << common + QStringList{"multi"} + tail + QStringList{"att", "sdm", "sdl", "sdt", "llo"};
    }
    void discoveryStoresTheWholeRecord()
    {
        QFETCH(QString, before); QFETCH(ElementFeedback, report); QFETCH(QStringList, keys);
        Core c;
        FakeArp arp;
        c.env.writeIni(before);
        QSignalSpy stored(&c.s, &station::Station::discoveryAnswerStored);
        c.s.setDiscovery(station::Station::Answers::Store);
        QVERIFY(c.arrive(encodeFeedback(report)));
        QCOMPARE(c.shown.size(), 0);
        QCOMPARE(QList<int>({int(stored.count()), c.databaseChanges}), QList<int>({1, 0}));
        QStringList names;
        for (const auto &k : sectionContents(kSection, c.env.iniPath()))
            names << k.first;
        QCOMPARE(names, keys);
        compareStored(c.env.iniPath(), {{"name", report.UDP_Response_Name.trimmed()}, {"ver", "3.4"}, {"sn", "4711"}});
        if (!before.isEmpty())
            compareStored(c.env.iniPath(), {{"remote", "10.1.1.1"}, {"multi", "192.168.1.20"}});
        if (report.UDP_Response_Role == 2)
            compareStored(c.env.iniPath(), {{"att", "200"}, {"sdm", "1"}, {"sdl", "77"}, {"sdt", "22"}});
    }

    // While a check's report is shown, messages that fail theirs only add to its count (one
    // summary follows); while any other report is shown they wait their turn, in order.
    // Either way the record being handled is never overwritten underneath it.
    void messagesDuringAReport_data()
    {
        QTest::addColumn<bool>("firstFailsCheck"); QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("nameAfter");
        const QString input = failed(QStringLiteral("Audio Input"));
        QTest::newRow("check report: counted") << true << QStringList{input, input + "\r… and 2 more like it."} << "FIRST";
        QTest::newRow("MAC report: queued") << false << QStringList{kMacMissing, failed("Audio Type"), failed("TX Type")}
                                            << "THIRD";
    }
    void messagesDuringAReport()
    {
        QFETCH(bool, firstFailsCheck); QFETCH(QStringList, expected); QFETCH(QString, nameAfter);
        Core c;
        FakeArp arp{QByteArray()};   // a checked report ends in the MAC message
        QString nameWhileOpen;
        c.onReport = [&](const MessageSpec &) {
            if (c.shown.size() != 1)
                return;
            c.s.takeDatagram(brokenReport(QStringLiteral("SECOND"), 17));
            c.s.takeDatagram(QByteArray(1201, '\0'));   // level samples: not queued
            c.s.takeDatagram(brokenReport(QStringLiteral("THIRD"), 18));
            nameWhileOpen = c.s.feedback().UDP_Response_Name;
        };
        ElementFeedback first = encoderReport();
        first.UDP_Response_Name = QStringLiteral("FIRST");
        QVERIFY(c.arrive(firstFailsCheck ? brokenReport(QStringLiteral("FIRST")) : encodeFeedback(first)));
        QCOMPARE(nameWhileOpen, QStringLiteral("FIRST           "));
        QCOMPARE(c.texts(), expected);
        QCOMPARE(c.s.feedback().UDP_Response_Name.trimmed(), nameAfter);
        QCOMPARE(c.s.droppedFeedbackCount(), 0);
    }

    void queueOverflowDropsAndCounts()
    {
        Core c;
        FakeArp arp{QByteArray()};   // the MAC wait, then its box, hold the queue
        const int limit = station::Station::kFeedbackQueueLimit;
        c.onReport = [&](const MessageSpec &) {
            for (int i = 0; c.shown.size() == 1 && i < limit + 6; ++i)
                c.s.takeDatagram(brokenReport(QStringLiteral("N%1").arg(i)));
        };
        QVERIFY(c.arrive(encodeFeedback(encoderReport())));
        QCOMPARE(c.shown.size(), 1 + limit);
        QCOMPARE(c.s.droppedFeedbackCount(), 6);
        QCOMPARE(c.s.feedback().UDP_Response_Name.trimmed(), QStringLiteral("N%1").arg(limit - 1));
    }

    // A second answer arriving during the first one's MAC wait is handled after it.
    void answerArrivingDuringMacWaitWaitsItsTurn()
    {
        Core c;
        FakeArp arp;
        c.env.writeIni(iniSection(kSection, kRecord));
        QVERIFY(c.s.open(0).ok() && c.s.config().send(requestFor(encoderReport())).ok());
        ElementFeedback second = encoderReport();
        second.UDP_Response_Name = QStringLiteral("INTRUDER");
        arp.onAttempt = [&](int attempt) {
            if (attempt == 1)
                c.s.takeDatagram(encodeFeedback(second));
        };
        QVERIFY(c.arrive(encodeFeedback(encoderReport())));
        QTRY_COMPARE(c.confirmations.size(), 2);
        QCOMPARE(c.texts(), (QStringList{kSuccess, saving("Element Name")}));
        QCOMPARE(ReadFromINI(kSection, "name", c.env.iniPath()), QStringLiteral("STUDIO A"));
        QCOMPARE(arp.attempts, 2);
    }

    // Answers that arrived during a discovery are stored even when a report kept them
    // waiting past its end, instead of being taken for replies to a command never sent.
    void discoveryAnswersQueuedPastTheRunAreStored()
    {
        Core c;
        FakeArp arp;
        c.env.writeIni(QString());
        c.onReport = [&](const MessageSpec &) {
            if (c.shown.size() != 1)
                return;
            c.s.setDiscovery(station::Station::Answers::Store);   // a run began meanwhile
            c.s.takeDatagram(encodeFeedback(encoderReport()));
            c.s.setDiscovery(station::Station::Answers::Confirm);   // the run's time ran out meanwhile
        };
        QVERIFY(c.arrive(brokenReport(QStringLiteral("BROKEN"), 35, 3)));
        QCOMPARE(c.texts(), QStringList{failed(QStringLiteral("Element Type"))});
        QCOMPARE(ReadFromINI(kSection, "ip", c.env.iniPath()), QStringLiteral("192.168.1.10"));
        QCOMPARE(c.databaseChanges, 1);   // shown by whoever shows the database
    }

    // The address found at the third attempt ends the wait; a second wait counts afresh.
    void macWait()
    {
        station::MacWait::setTickIntervalForTests(5);
        const auto restore = qScopeGuard([] { station::MacWait::setTickIntervalForTests(0); });
        station::MacWait wait;
        QSignalSpy finished(&wait, &station::MacWait::finished);
        FakeArp arp{QByteArray()};
        arp.onAttempt = [&](int attempt) {
            if (attempt == 3)
                arp.answer = kMacBytes;
        };
        for (int round = 1; round <= 2; ++round) {
            arp.attempts = 0, arp.answer.clear();
            wait.start(QStringLiteral("192.168.1.10"));
            QVERIFY(finished.wait(10000));
            QCOMPARE(arp.attempts, 3);
            QCOMPARE(finished.count(), round);
            QCOMPARE(finished.last().at(0).toString(), kMacText);
            QCOMPARE(wait.getMACTimeoutCount(), quint8(0));
        }
    }

    // A peer flooding the main socket from another thread with junk and reports, while every
    // report stays on screen a while (its event loop delivering more): the timers keep
    // ticking, the socket is read to empty, and a report sent afterwards is handled.
    void readingNeverStops()
    {
        Core c;
        c.stayOpenMs = 20;
        QVERIFY(c.s.open(0).ok());
        const quint16 port = c.s.socket().localPort();
        std::atomic<int> ticks{0}, ticksAtEnd{0};
        std::atomic<long> sent{0};
        std::atomic<bool> ended{false}, abandon{false};
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
        heartbeat.start(10);
        // At least 5000 datagrams, on until the timer has ticked five times under it or a ceiling.
        constexpr long kMinimum = 5000;
        std::thread flood([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET, to.sin_port = htons(port), to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QRandomGenerator random(15);
            quint32 words[325];
            const QByteArray broken = brokenReport(QStringLiteral("FLOOD"));
            for (long i = 0; fd >= 0 && i < 400000 && !abandon && (i < kMinimum || ticks < 5); sent = ++i) {
                random.fillRange(words);
                const int lengths[] = {int(random.bounded(1300)), 40, 41, 54};
                const QByteArray d = i % 5 == 4 ? broken : QByteArray(reinterpret_cast<const char *>(words), lengths[i % 4]);
                ::sendto(fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
            }
            if (fd >= 0) ::close(fd);
            ticksAtEnd = ticks.load();
            ended = true;
        });
        const auto joiner = qScopeGuard([&] { abandon = true; flood.join(); });   // on every way out
        QTRY_VERIFY_WITH_TIMEOUT(ended.load(), 120000);
        QVERIFY2(ticksAtEnd >= 5, qPrintable(QStringLiteral("%1 ticks, %2 sent").arg(ticksAtEnd.load()).arg(sent.load())));
        QVERIFY(sent >= kMinimum);
        QTRY_COMPARE_WITH_TIMEOUT(receiveQueueBytes(port), 0, 60000);
        QCOMPARE(c.deepest, 1);

        c.shown.clear();
        QUdpSocket().writeDatagram(brokenReport(QStringLiteral("LAST"), 35, 3), QHostAddress::LocalHost, port);
        QTRY_VERIFY_WITH_TIMEOUT(c.texts().contains(failed(QStringLiteral("Element Type"))), 10000);
    }

    // A discovery that sends nothing gives back the database as it was; the backup is
    // never replaced by an empty or smaller database.
    void nothingSentLosesNothing_data()
    {
        QTest::addColumn<QStringList>("only");   // named interfaces; none: lan9, whose send fails
        QTest::addColumn<bool>("up");            // lan9's state
        QTest::addColumn<QString>("database"); QTest::addColumn<QString>("oldBackup");   // "<missing>": none
        QTest::addColumn<QString>("reasons"); QTest::addColumn<QString>("backupAfter");
        const QString none = QStringLiteral("<missing>"), sendFails = QStringLiteral("lan9: No such device");
        QTest::newRow("named interface missing") << QStringList{"nosuch0"} << true << kDatabase << none
                                                 << "nosuch0: no such interface" << none;
        QTest::newRow("every interface down") << QStringList() << false << kDatabase << kTwo << "no network interface is up" << kTwo;
        QTest::newRow("named interface down") << QStringList{"lan9"} << false << kDatabase << none << "lan9: is down" << none;
        QTest::newRow("send fails, database kept as backup") << QStringList() << true << kDatabase << none << sendFails << kDatabase;
        QTest::newRow("send fails, larger backup kept") << QStringList() << true << kDatabase << kTwo << sendFails << kTwo;
    }
    void nothingSentLosesNothing()
    {
        QFETCH(QStringList, only); QFETCH(bool, up); QFETCH(QString, database); QFETCH(QString, oldBackup); QFETCH(QString, reasons);
        QFETCH(QString, backupAfter);
        const QList<platform::NetInterface> interfaces{fakeInterface(up)};
        Core c;
        QVERIFY(c.s.open(0).ok());
        platform::setInterfaceLister([interfaces](bool) { return interfaces; });
        platform::setPagingInterfaceNames(only);
        c.env.writeIni(database);
        const QString backup = c.env.iniPath() + QStringLiteral(".bak");
        if (oldBackup != QLatin1String("<missing>")) {
            QFile f(backup);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(oldBackup.toLatin1()) > 0);
        }
        const QString before = fileText(c.env.iniPath());
        c.s.socket().setRemote(QStringLiteral("10.0.0.5"), 2976);
        station::DiscoveryRun run(c.s);
        const station::Result started = run.start();
        QCOMPARE(started.outcome, station::Outcome::Refused);
        QCOMPARE(started.message.text, QStringLiteral("The paging request could not be sent: %1.\r"
                                                      "The local database was left as it was.").arg(reasons));
        QCOMPARE(fileText(c.env.iniPath()), before);
        QCOMPARE(fileText(backup), backupAfter);
        QCOMPARE(c.s.socket().remoteHost() + ':' + QString::number(c.s.socket().remotePort()), QStringLiteral("10.0.0.5:2976"));
        QVERIFY(!c.s.discoveryActive() && !run.isRunning());
        QVERIFY(!QFile::exists(DiscoveryMark::path(c.env.iniPath())));
    }

    // Which interfaces a request goes out on, from what the kernel lists.
    void pagingTargets()
    {
        using platform::NetInterface;
        const QList<NetInterface> all{{1, "lo", 0x0100007f, 0xff, true, true, false}, {2, "lan0", 1, 0xffffff, true, false, true},
                                      {3, "wlan0", 2, 0xffffff, true, false, true}, {4, "eth1", 3, 0xffffff, false, false, true},
                                      {5, "tun0", 4, 0xffffffff, true, false, false}};
        const auto describe = [&all](const QStringList &only) {
            QStringList out;
            for (const auto &t : platform::selectPagingTargets(all, only))
                out << t.name + (t.problem.isEmpty() ? QString() : QLatin1Char('=') + t.problem);
            return out.join(QLatin1Char(' '));
        };
        QCOMPARE(describe({}), QStringLiteral("lan0 wlan0"));
        QCOMPARE(describe({"wlan0", "eth1", "tun0", "lo"}), QStringLiteral("wlan0 eth1=is down tun0=cannot broadcast lo=cannot broadcast"));
    }

    // A bad stored address is told on port 2978, with what was not done, and nothing is sent
    // (no address at all: tst_statuswindows::unusableStoredAddressIsTold).
    void unusableStoredAddressIsReported_data()
    {
        QTest::addColumn<QString>("ip"); QTest::addColumn<QString>("problem");
        QTest::newRow("studio") << "studio" << kStored.arg("studio") + "valid.";
        for (const char *ip : {"0.0.0.0", "224.0.0.9", "255.255.255.255"})
            QTest::newRow(ip) << ip << kStored.arg(ip) + "an element's address.";
    }
    void unusableStoredAddressIsReported()
    {
        QFETCH(QString, ip); QFETCH(QString, problem);
        Core c;
        c.env.writeIni(record(ip));
        StatusExchange stats(Kind::Statistics, station::ElementLink(kSection, c.env.iniPath()), true);
        QVERIFY(stats.open().ok());
        QSignalSpy arrived(&stats.socket(), &platform::UdpPort::datagramReceived);
        StatusExchange delay(Kind::Delay, station::ElementLink(kSection, c.env.iniPath()), true);
        const station::Result set = delay.setDelay(1000, false);
        QCOMPARE(set.outcome, station::Outcome::Refused);
        QCOMPARE(set.message.icon, platform::MsgIcon::Critical);
        const QStringList texts{stats.request().message.text, stats.reset().message.text, set.message.text,
                                delay.request().message.text};
        QCOMPARE(texts, (QStringList{problem + "\rThe counters were not requested.", problem + "\rThe counters were not reset.",
                                     problem + "\rThe delay was not set.", problem + "\rThe values were not requested."}));
        QTest::qWait(50);
        QCOMPARE(arrived.count(), 0);
        QCOMPARE(c.env.endProgramCalls(), 0);
    }

    // What a port-2978 record comes to, as its window shows it ("*": left as before; an SFN
    // decoder's whole record is tst_statuswindows'); a datagram of another length is no record.
    void recordAsShown_data()
    {
        QTest::addColumn<Kind>("kind"); QTest::addColumn<QString>("sfn"); QTest::addColumn<bool>("decoder");
        QTest::addColumn<int>("length"); QTest::addColumn<QStringList>("expected");   // empty: nothing read
        const QStringList macAndAudio = {"16777217", "0 (0%)", "2", "1 (33.33%)", "1995", "5 (0.25%)"};
        const QStringList none = {"*", "*", "*", "*"}, ptp = {"100", "3", "-42 nS", "1500 nS"};
        const QStringList fixedOnly = {"265 nS", "395 uS, 833 nS", "*", "*", "*"};
        QTest::newRow("SFN off: no PTP values") << Kind::Statistics << "0" << true << 61 << macAndAudio + none;
        QTest::newRow("SFN key absent counts as off") << Kind::Statistics << QString() << true << 61 << macAndAudio + none;
        QTest::newRow("encoder: no clock difference or delay") << Kind::Statistics << "1" << false << 61
                                                               << macAndAudio + ptp.mid(0, 2) + none.mid(2);
        QTest::newRow("40 bytes: bare measured delay") << Kind::Statistics << "1" << true << 40
                                                       << macAndAudio + ptp.mid(0, 3) + QStringList{"1000 nS"};
        QTest::newRow("62 bytes is ignored") << Kind::Statistics << "1" << true << 62 << QStringList();
        QTest::newRow("delay, SFN off: fixed latencies only") << Kind::Delay << "0" << true << 61 << fixedOnly;
        QTest::newRow("delay, encoder: fixed latencies only") << Kind::Delay << "1" << false << 61 << fixedOnly;
        QTest::newRow("delay, 60 bytes") << Kind::Delay << "1" << true << 60 << QStringList();
        QTest::newRow("delay, 62 bytes") << Kind::Delay << "1" << true << 62 << QStringList();
    }
    void recordAsShown()
    {
        QFETCH(Kind, kind); QFETCH(QString, sfn); QFETCH(bool, decoder); QFETCH(int, length); QFETCH(QStringList, expected);
        Core c;
        c.env.writeIni(iniSection(kSection, sfn.isNull() ? Keys{{"role", "2"}} : Keys{{"role", "2"}, {"sfn", sfn}}));
        StatusRecord r;
        r.txFramesOk = 16777217;   // beyond single-precision exactness
        r.rxFramesOk = 2, r.rxFramesErr = 1, r.ptpSyncOk = 100, r.ptpSyncErr = 3, r.ptpClockDiff = -42;
        r.ptpMeasuredDelay = 1000, r.audioFramesOk = 1995, r.audioFramesErr = 5, r.additionalDelay = 500;
        r.delayAvg = 120000;
        StatusExchange x(kind, station::ElementLink(kSection, c.env.iniPath()), decoder);
        QSignalSpy stats(&x, &StatusExchange::statisticsRead), delay(&x, &StatusExchange::delayRead);
        x.take(encodeStatusRecord(r).leftJustified(length, '\0', true));
        QCOMPARE(int(stats.count() + delay.count()), expected.isEmpty() ? 0 : 1);
        QStringList got;
        if (!stats.isEmpty()) {
            const StatsLabels l = stats.at(0).at(0).value<StatsValues>().labels;
            for (const auto &text : {l.lblMACTxOK, l.lblMACTxErr, l.lblMACRxOK, l.lblMACRxErr, l.lblAudioRxFramesOK,
                                     l.lblAudioRxFramesErr, l.lblPTPRxOK, l.lblPTPRxErr, l.lblPTPClkAdj, l.lblPTPLatency})
                got << text.value_or(QStringLiteral("*"));
        }
        if (!delay.isEmpty()) {
            const DelayResponse d = delay.at(0).at(0).value<DelayResponse>();
            got << d.lblFixedLatencyMAC << d.lblFixedLatencyAUDIO << d.lblCurrentDelayAVG.value_or(QStringLiteral("*"))
                << (d.sliderValue ? QString::number(*d.sliderValue) : QStringLiteral("*"))
                << d.autoServoCaption.value_or(QStringLiteral("*"));
        }
        QCOMPARE(got, expected);
    }

    // Answers at 1 ms: each is taken, the display follows at the screen's pace and ends on
    // the latest; a block is read whole, with nothing else run in the middle of it.
    void burstOfAnswersEndsOnTheLatest()
    {
        Core c;
        c.env.writeIni(record("127.0.0.1"));
        station::LevelMonitor &m = c.s.level();
        QStringList shown;
        connect(&m, &station::LevelMonitor::shown, this, [&](const LevelDisplay &d) { shown << d.text; });
        m.setInterval(500);
        m.start(kSection);
        bool ranMeanwhile = false;
        QTimer::singleShot(0, this, [&ranMeanwhile] { ranMeanwhile = true; });
        m.take(block(0x400000, 31201));
        QVERIFY(!ranMeanwhile);
        for (qint32 peak = 0x100000; peak < 0x100000 + 500; ++peak)
            m.take(block(peak));
        m.take(block(0x200000));
        QCOMPARE(shown, QStringList{"-6dBFS"});   // not shown per answer
        QCOMPARE(m.audioPeak(), 0x200000);
        QTRY_COMPARE(shown.last(), QStringLiteral("-12dBFS"));
        // Switched off during a burst: the off state wins over a pending display.
        m.take(block(0x400000));
        m.take(block(0x100000));
        m.stop();
        m.take(block(0x400000));   // on its way when monitoring stopped
        QTest::qWait(100);
        QCOMPARE(shown.last(), QStringLiteral("-oodBFS"));
    }

    // Outcomes known before anything is sent: no request is left pending.
    void pingRefusedWithoutSending_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<QString>("caption");
        QTest::newRow("broadcast") << "255.255.255.255" << "Failed!";
        QTest::newRow("any address, padded") << "00.0.0.000" << "Failed!";
        QTest::newRow("empty") << "" << "Trying...";
    }
    void pingRefusedWithoutSending()
    {
        QFETCH(QString, text); QFETCH(QString, caption);
        station::Ping ping;
        QSignalSpy finished(&ping, &station::Ping::finished);
        const station::PingFace face = ping.PingElement(text, kMacText);
        QCOMPARE(face.caption, caption);
        QVERIFY(!face.pending && !ping.isBusy());
        QTest::qWait(50);
        QCOMPARE(finished.count(), 0);
    }

    // The checks, and stored addresses that cannot be used: nothing sent, no wait.
    void nothingSent_data()
    {
        QTest::addColumn<Change>("change"); QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("checked");   // refused by the checks (title "Error!") rather than by the address
        const auto refused = [](const char *problem) { return QString::fromLatin1(problem) + "\rCannot save."; };
        const QString ips = refused("Please verify that all IP fields are correct!");
        const QString audio = refused("Please verify that all audio fields are correct!");
        const QString none = refused("No Network Element selected!");
        QTest::newRow("nothing selected") << Change([](auto &r) { r.mac = "-"; }) << none << true;
        QTest::newRow("selection checked before the lists") << Change([](auto &r) { r.mac = "-", r.command.audioType = -1; }) << none << true;
        QTest::newRow("no tx selection") << Change([](auto &r) { r.command.audioTx = -1; }) << audio << true;
        QTest::newRow("a decoder's hidden input list") << Change([](auto &r) { r.command.decoder = true, r.command.audioInput = -1; })
                                                       << audio << true;
        QTest::newRow("empty name") << Change([](auto &r) { r.command.name.clear(); })
                                    << refused("Please verify that the name field is correct!") << true;
        QTest::newRow("ip") << Change([](auto &r) { r.command.ip = "10.0.0"; }) << ips << true;
        QTest::newRow("mask") << Change([](auto &r) { r.command.mask = "255.255.255.256"; }) << ips << true;
        QTest::newRow("gateway") << Change([](auto &r) { r.command.gw = "a.b.c.d"; }) << ips << true;
        QTest::newRow("remote") << Change([](auto &r) { r.command.remote = "10.0.0.9."; }) << ips << true;
        QTest::newRow("database missing") << Change([](auto &) { QFile::remove(platform::databasePath()); })
                                          << refused("The local database in your computer, is corrupted!") << true;
        const QString named = "STUDIO A [00:1A:2B:3C:4D:5E] has no valid stored address; nothing was sent.";
        QTest::newRow("no ip key") << Change([](auto &) { DeleteIniKey(kSection, "ip", platform::databasePath()); }) << named << false;
        QTest::newRow("broadcast") << Change([](auto &) { WriteToINI(kSection, "ip", "255.255.255.255", platform::databasePath()); })
                                   << named << false;
        QTest::newRow("no record") << Change([](auto &r) { r.mac = "00:11:22:33:44:AA"; })
                                   << "[00:11:22:33:44:AA] has no valid stored address; nothing was sent." << false;
    }
    void nothingSent()
    {
        QFETCH(Change, change); QFETCH(QString, message); QFETCH(bool, checked);
        Sending c;
        QVERIFY2(c.bound, "another program holds UDP port 2976 on 127.0.0.2");
        station::ConfigRequest r = example();
        change(r);
        const station::Result check = station::ConfigExchange::check(r, platform::databasePath());
        QCOMPARE(check.ok(), !checked);
        const station::Result result = checked ? check : c.s.config().send(r);
        QCOMPARE(result.outcome, station::Outcome::Refused);
        QCOMPARE(result.message.text, message);
        QCOMPARE(result.message.title, checked ? QStringLiteral("Error!") : QString());
        QCOMPARE(result.message.icon, platform::MsgIcon::Critical);
        QVERIFY(!c.s.config().isWaiting());
        QVERIFY(c.nothingReachedElement());
    }

    // Sent once per send, from the main socket, to the stored address; a second send restarts the wait.
    void commandReachesStoredAddress()
    {
        Sending c;
        QVERIFY2(c.bound, "another program holds UDP port 2976 on 127.0.0.2");
        QCOMPARE(c.s.config().send(example()).outcome, station::Outcome::Done);
        const QNetworkDatagram d = c.received();
        QCOMPARE(d.data(), encodeConfigCommand(example().command));
        QCOMPARE(d.senderPort(), int(c.s.socket().localPort()));
        QVERIFY(c.s.config().isWaiting());
        QTest::qWait(1000);
        const int left = c.s.config().remainingWait();
        QVERIFY(c.s.config().send(example()).ok());
        QVERIFY(c.s.config().remainingWait() > left);
        QCOMPARE(c.received().data(), d.data());
        QVERIFY(c.nothingReachedElement());   // no retry
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
