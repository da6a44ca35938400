// The main socket's messages as the station's core handles them, one row per case: the
// datagram (or the answer and the command it answers), the record before and after, the
// messages in order. Discovery answers are stored whole; a configuration answer waits for
// its MAC address and is confirmed against the command that was sent.
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QUdpSocket>
#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "StationCore.h"
#include "support/ReceiveQueue.h"

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kMacMissing = corrupted(QStringLiteral("An error occured while retrieving 'Element MAC':"));
const QString kNoMatch = QStringLiteral("The response received does not match the selected element.\rCannot save this element info.");
const QString kOther = QStringLiteral("001A2B3C4D5F");

QString saving(const char *field) { return corrupted(QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(field))); }
QString failed(const QString &field) { return corrupted(QStringLiteral("An error occured while retrieving '%1':").arg(field)); }

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

// The element's stored record, reachable on loopback for the command.
const Keys kRecord{{"name", "OLD NAME"}, {"ip", "127.0.0.2"}, {"mask", "255.0.0.0"}, {"tx", "0"}, {"role", "1"}};

using Mutation = std::function<void(ElementFeedback &)>;

} // namespace

Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(ElementFeedback)

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void init() { guardHostNamespace(); }

    // Only 40..54 bytes are feedback messages; nothing of any length may crash the handler.
    void everyLengthReachesOnlyItsHandler()
    {
        Core c;
        for (int length = 0; length <= 1201; ++length)
            c.s.takeDatagram(QByteArray(length, char(7)));   // each byte 7: the audio input check fails
        QCOMPARE(c.texts(), QStringList(15, failed(QStringLiteral("Audio Input"))));
    }

    void failedCheckShowsItsMessage_data()
    {
        QTest::addColumn<int>("offset"); QTest::addColumn<QByteArray>("bytes"); QTest::addColumn<QString>("field");
        QTest::newRow("audio input 2") << 16 << QByteArray("\x02", 1) << "Audio Input";
        QTest::newRow("audio type 2") << 17 << QByteArray("\x02", 1) << "Audio Type";
        QTest::newRow("tx type 2") << 18 << QByteArray("\x02", 1) << "TX Type";
        QTest::newRow("element type 3") << 35 << QByteArray("\x03", 1) << "Element Type";
        QTest::newRow("serial 0") << 36 << QByteArray(4, '\0') << "Serial Number";
        QTest::newRow("serial above 2^31-1") << 36 << QByteArray("\x80\x00\x00\x00", 4) << "Serial Number";
        QTest::newRow("first failure wins") << 16 << QByteArray("\x02\x02\x02", 3) << "Audio Input";
    }
    void failedCheckShowsItsMessage()
    {
        QFETCH(int, offset); QFETCH(QByteArray, bytes); QFETCH(QString, field);
        Core c;
        FakeArp arp;
        c.env.writeIni(iniSection(kSection, kRecord));
        QVERIFY(c.s.open(0).ok() && c.s.config().send(requestFor(encoderReport())).ok());
        QVERIFY(c.arrive(encodeFeedback(encoderReport()).replace(offset, bytes.size(), bytes)));
        QCOMPARE(c.texts(), QStringList{failed(field)});
        QCOMPARE(c.shown.at(0).icon, platform::MsgIcon::Critical);
        QCOMPARE(arp.attempts, 0);
        // A corrupted answer leaves the reply time-out running; the record keeps what it said.
        QVERIFY(c.s.config().isWaiting());
        QCOMPARE(c.s.feedback().UDP_Response_IP, QStringLiteral("192.168.1.10"));
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
        QTest::newRow("element name differs") << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Name = "STUDIO B"; })
            << kMacText << QStringList{saving("Element Name")} << Keys{{"name", "OLD NAME"}} << 0
            << QStringList{"name:STUDIO A>STUDIO B"};
        QTest::newRow("audio lists differ")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Audio_Input = f.UDP_Response_Audio_Type = 0; })
            << kMacText << QStringList{saving("Audio Input"), saving("Audio Type")} << Keys{{"input", "<absent>"}} << 0
            << QStringList{"input:1>0", "type:1>0"};
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

    // Settings out of range are clamped, stored and given for the panel; a silence mode
    // beyond the list is stored as it is and shown as no selection.
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
        const station::Confirmation &shown = c.confirmations.at(0);
        QCOMPARE((QList<int>{*shown.attenuation, shown.buffer, *shown.silDetLevel, *shown.silDetTime, *shown.silDetMode}),
                 (QList<int>{14, 22, 1, 220, -1}));
        QCOMPARE(shown.typeCaption + ' ' + shown.serial + ' ' + shown.version, QStringLiteral("DECODER 4711 3.4"));
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
        QCOMPARE(c.s.feedback().UDP_Response_Low_Latency, quint8(1));
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
        QTest::newRow("discovery answer: no wait") << true << 1;
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
        QCOMPARE(arp.attempts, attempts);
        QCOMPARE(waits.count(), discovery ? 0 : 1);
        QCOMPARE(c.texts(), QStringList{kMacMissing});
        QCOMPARE(c.s.macWait().getMACTimeoutCount(), quint8(0));
        QCOMPARE(sectionContents(kSection, c.env.iniPath()), kRecord);
        QVERIFY(!c.s.config().isWaiting());
    }

    // A discovery answer is stored whole (a collecting discovery only reports it).
    void discoveryStoresTheWholeRecord_data()
    {
        QTest::addColumn<QString>("before"); QTest::addColumn<ElementFeedback>("report");
        QTest::addColumn<bool>("store"); QTest::addColumn<QStringList>("keys");
        const QStringList common{"name", "ip", "mask", "gw", "input", "type", "tx"};
        const QStringList tail{"role", "sn", "ver", "sfn", "buf"};
        ElementFeedback multicast = encoderReport(), decoderUnicast = decoderReport();
        multicast.UDP_Response_TX_Type = 1, decoderUnicast.UDP_Response_TX_Type = 0;
        QTest::newRow("encoder unicast") << QString() << encoderReport() << true << common + QStringList{"remote"} + tail + QStringList{"llo"};
        QTest::newRow("encoder multicast leaves an old remote key") << iniSection(kSection, {{"remote", "10.1.1.1"}}) << multicast
            << true << QStringList{"remote"} + common + QStringList{"multi"} + tail + QStringList{"llo"};
        QTest::newRow("decoder, whatever its tx") << QString() << decoderUnicast << true
            << common + QStringList{"multi"} + tail + QStringList{"att", "sdm", "sdl", "sdt", "llo"};
        QTest::newRow("collected only") << QString() << encoderReport() << false << QStringList();
    }
    void discoveryStoresTheWholeRecord()
    {
        QFETCH(QString, before); QFETCH(ElementFeedback, report); QFETCH(bool, store); QFETCH(QStringList, keys);
        Core c;
        FakeArp arp;
        c.env.writeIni(before);
        QSignalSpy stored(&c.s, &station::Station::discoveryAnswerStored);
        QSignalSpy collected(&c.s, &station::Station::discoveryAnswerCollected);
        c.s.setDiscovery(store ? station::Station::Answers::Store : station::Station::Answers::Collect);
        QVERIFY(c.arrive(encodeFeedback(report)));
        QCOMPARE(c.shown.size(), 0);
        QCOMPARE(QList<int>({int(stored.count()), int(collected.count()), c.databaseChanges}), QList<int>({store, !store, 0}));
        QStringList names;
        for (const auto &k : sectionContents(kSection, c.env.iniPath()))
            names << k.first;
        QCOMPARE(names, keys);
        QCOMPARE(c.s.feedback().UDP_Response_MAC, kMacText);
        if (!store)
            return;
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
        c.s.setDiscovery(station::Station::Answers::Store);
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
        c.s.takeDatagram(firstFailsCheck ? brokenReport(QStringLiteral("FIRST")) : encodeFeedback(first));
        QCOMPARE(nameWhileOpen, QStringLiteral("FIRST           "));
        QCOMPARE(c.texts(), expected);
        QCOMPARE(c.s.feedback().UDP_Response_Name.trimmed(), nameAfter);
        QCOMPARE(c.s.droppedFeedbackCount(), 0);
    }

    void queueOverflowDropsAndCounts()
    {
        Core c;
        FakeArp arp{QByteArray()};
        c.s.setDiscovery(station::Station::Answers::Store);
        const int delivered = station::Station::kFeedbackQueueLimit + 6;
        c.onReport = [&](const MessageSpec &) {
            if (c.shown.size() != 1)
                return;
            for (int i = 0; i < delivered; ++i)
                c.s.takeDatagram(brokenReport(QStringLiteral("N%1").arg(i)));
        };
        c.s.takeDatagram(encodeFeedback(encoderReport()));
        QCOMPARE(c.shown.size(), 1 + station::Station::kFeedbackQueueLimit);
        QCOMPARE(c.s.droppedFeedbackCount(), 6);
        QCOMPARE(c.s.feedback().UDP_Response_Name.trimmed(), QStringLiteral("N%1").arg(station::Station::kFeedbackQueueLimit - 1));
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
        c.s.setDiscovery(station::Station::Answers::Store);
        c.onReport = [&](const MessageSpec &) {
            if (c.shown.size() != 1)
                return;
            c.s.takeDatagram(encodeFeedback(encoderReport()));
            c.s.setDiscovery(station::Station::Answers::Confirm);   // the run's time ran out meanwhile
        };
        QVERIFY(c.arrive(brokenReport(QStringLiteral("BROKEN"), 35, 3)));
        QCOMPARE(c.texts(), QStringList{failed(QStringLiteral("Element Type"))});
        QCOMPARE(ReadFromINI(kSection, "ip", c.env.iniPath()), QStringLiteral("192.168.1.10"));
        QCOMPARE(c.databaseChanges, 1);   // shown by whoever shows the database
    }

    void macWait_data()
    {
        QTest::addColumn<int>("answerAt");    // attempt that finds the address, 0: never
        QTest::addColumn<int>("cancelAfter"); // attempts before the operator closes the wait, 0: never
        QTest::addColumn<int>("attempts"); QTest::addColumn<QString>("result");
        QTest::newRow("never answers") << 0 << 0 << 21 << QString();
        QTest::newRow("answers at the third") << 3 << 0 << 3 << kMacText;
        QTest::newRow("closed by the operator") << 0 << 5 << 5 << QString();
    }
    void macWait()
    {
        QFETCH(int, answerAt); QFETCH(int, cancelAfter); QFETCH(int, attempts); QFETCH(QString, result);
        station::MacWait::setTickIntervalForTests(5);
        const auto restore = qScopeGuard([] { station::MacWait::setTickIntervalForTests(0); });
        station::MacWait wait;
        QSignalSpy finished(&wait, &station::MacWait::finished);
        FakeArp arp{QByteArray()};
        arp.onAttempt = [&](int attempt) {
            if (attempt == answerAt)
                arp.answer = kMacBytes;
            if (attempt == cancelAfter)   // the close box is handled once the attempt has returned
                QMetaObject::invokeMethod(&wait, [&wait] { wait.cancel(); }, Qt::QueuedConnection);
        };
        // Twice: a second wait starts counting afresh.
        for (int round = 1; round <= 2; ++round) {
            arp.attempts = 0, arp.answer.clear();
            wait.start(QStringLiteral("192.168.1.10"));
            QVERIFY(finished.wait(10000));
            QCOMPARE(arp.attempts, attempts);
            QCOMPARE(finished.count(), round);
            QCOMPARE(finished.last().at(0).toString(), result);
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
        QUdpSocket peer;
        peer.writeDatagram(brokenReport(QStringLiteral("LAST"), 35, 3), QHostAddress::LocalHost, port);
        QTRY_VERIFY_WITH_TIMEOUT(c.texts().contains(failed(QStringLiteral("Element Type"))), 10000);
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
