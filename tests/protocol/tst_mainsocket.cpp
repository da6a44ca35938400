// The main socket's handler: each datagram length, the checks' messages, messages during another.
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QUdpSocket>
#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "StationFixture.h"
#include "support/ReceiveQueue.h"

namespace {

// A report named `name` that fails one check (by default the audio input byte is out of range).
QByteArray brokenReport(const QString &name, int field = 16, quint8 byte = 2)
{
    ElementFeedback f = encoderReport();
    f.UDP_Response_Name = name;
    return encodeFeedback(f).replace(field, 1, QByteArray(1, char(byte)));
}

QString failed(const QString &field) { return corrupted(QStringLiteral("An error occured while retrieving '%1':").arg(field)); }
const QString kInputMessage = failed(QStringLiteral("Audio Input"));
const QString kMacMessage = failed(QStringLiteral("Element MAC"));

// A report named `name` that passes every check.
QByteArray report(const QString &name)
{
    ElementFeedback f = encoderReport();
    f.UDP_Response_Name = name;
    return encodeFeedback(f);
}

struct Studio : Station {
    Studio() { env.writeIni(iniSection(kSection, {{"name", "STUDIO"}, {"role", "1"}})); }
};

} // namespace

class TestMainSocket : public QObject {
    Q_OBJECT
private slots:
    // Only 40..54 bytes are feedback messages; nothing of any length may crash the handler.
    void everyLengthReachesOnlyItsHandler()
    {
        Studio s;
        // Each byte 7: the audio input check fails, so every parsed datagram shows one box.
        for (int length = 0; length <= 1201; ++length)
            s.w->udpClient_DataArrival(QByteArray(length, char(7)));
        QCOMPARE(s.boxes.texts(), QStringList(15, kInputMessage));
    }

    void failedCheckShowsItsMessage_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("field");
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
        Studio s;
        FakeArp arp;
        s.w->timerRemoteSent.start(60000);
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()).replace(offset, bytes.size(), bytes));

        QCOMPARE(s.boxes.texts(), QStringList{failed(field)});
        QCOMPARE(s.boxes.shown().at(0).icon, platform::MsgIcon::Critical);
        QCOMPARE(arp.attempts, 0);
        // A corrupted answer leaves the reply time-out running and still rebuilds the tree.
        QVERIFY(s.w->timerRemoteSent.isActive());
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
        QCOMPARE(s.w->UDP_Response_IP, QStringLiteral("192.168.1.10"));
    }

    // While a check's box is open, messages that fail theirs only add to its count (one
    // summary follows); while any other box is open they wait their turn, in order. Either
    // way the record being handled is never overwritten underneath it.
    void messagesDuringABox_data()
    {
        QTest::addColumn<bool>("firstFailsCheck");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("nameAfter");
        QTest::newRow("check box: counted") << true << QStringList{kInputMessage, kInputMessage + "\r… and 2 more like it."}
                                            << "FIRST";
        QTest::newRow("MAC box: queued") << false << QStringList{kMacMessage, failed("Audio Type"), failed("TX Type")}
                                         << "THIRD";
    }
    void messagesDuringABox()
    {
        QFETCH(bool, firstFailsCheck); QFETCH(QStringList, expected); QFETCH(QString, nameAfter);
        Studio s;
        FakeArp arp{QByteArray()};   // a checked report ends in the MAC box
        s.w->AutoDiscoverAwaiting = true;
        QString nameWhileOpen;
        s.boxes.onShow([&](const platform::MessageSpec &) {
            if (s.boxes.count() != 1) return;
            s.w->udpClient_DataArrival(brokenReport(QStringLiteral("SECOND"), 17));
            s.w->udpClient_DataArrival(QByteArray(1201, '\0'));   // level samples: not queued
            s.w->udpClient_DataArrival(brokenReport(QStringLiteral("THIRD"), 18));
            nameWhileOpen = s.w->feedback.UDP_Response_Name;
        });
        s.w->udpClient_DataArrival(firstFailsCheck ? brokenReport(QStringLiteral("FIRST")) : report(QStringLiteral("FIRST")));

        QCOMPARE(nameWhileOpen, QStringLiteral("FIRST           "));
        QCOMPARE(s.boxes.texts(), expected);
        QCOMPARE(s.w->feedback.UDP_Response_Name.trimmed(), nameAfter);
        QCOMPARE(s.w->droppedFeedbackCount(), 0);
    }

    void queueOverflowDropsAndCounts()
    {
        Studio s;
        FakeArp arp{QByteArray()};
        s.w->AutoDiscoverAwaiting = true;
        const int delivered = frmMain::kFeedbackQueueLimit + 6;
        s.boxes.onShow([&](const platform::MessageSpec &) {
            if (s.boxes.count() != 1) return;
            for (int i = 0; i < delivered; ++i)
                s.w->udpClient_DataArrival(brokenReport(QStringLiteral("N%1").arg(i)));
        });
        s.w->udpClient_DataArrival(report(QStringLiteral("FIRST")));
        QCOMPARE(s.boxes.count(), 1 + frmMain::kFeedbackQueueLimit);
        QCOMPARE(s.w->droppedFeedbackCount(), 6);
        // The first 64 were kept: the last one handled is number 63.
        QCOMPARE(s.w->feedback.UDP_Response_Name.trimmed(), QStringLiteral("N%1").arg(frmMain::kFeedbackQueueLimit - 1));
    }

    // A peer flooding the main socket from another thread with junk and reports, while every
    // box stays open a while (its event loop delivering more): the window's timers keep
    // ticking, the socket is read to empty, and a report sent afterwards is handled.
    void readingNeverStops()
    {
        Studio s;
        s.boxes.stayOpenFor(20);
        QVERIFY(s.w->udpClient.bind(0));
        const quint16 port = s.w->udpClient.localPort();
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

        s.boxes.clear();
        QUdpSocket peer;
        peer.writeDatagram(brokenReport(QStringLiteral("LAST"), 35, 3), QHostAddress::LocalHost, port);
        QTRY_VERIFY_WITH_TIMEOUT(s.boxes.texts().contains(failed(QStringLiteral("Element Type"))), 10000);
    }
};

QTEST_MAIN(TestMainSocket)
#include "tst_mainsocket.moc"
