// The main socket's handler: what each datagram length reaches, the checks' messages, and
// messages that arrive while another one is being handled.
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

namespace {

// A report that fails exactly one check: the audio input byte is out of range. The
// element name tells the reports apart.
QByteArray brokenReport(const QString &name, int field = 16, quint8 byte = 2)
{
    ElementFeedback f = encoderReport();
    f.UDP_Response_Name = name;
    QByteArray d = encodeFeedback(f);
    d[field] = char(byte);
    return d;
}

const QString kInputMessage = corrupted(QStringLiteral("An error occured while retrieving 'Audio Input':"));

} // namespace

class TestMainSocket : public QObject {
    Q_OBJECT
private slots:
    // Only 40..54 bytes are feedback messages; nothing of any length may crash the handler.
    void everyLengthReachesOnlyItsHandler()
    {
        Station s;
        s.env.writeIni(iniSection(kSection, {{"name", "STUDIO"}, {"role", "1"}}));
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
        // The address checks cannot fail from the wire: any four bytes are an address.
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
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, field);
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"name", "STUDIO"}, {"role", "1"}}));
        QByteArray d = encodeFeedback(encoderReport());
        d.replace(offset, bytes.size(), bytes);
        s.w->timerRemoteSent.start(60000);
        s.w->udpClient_DataArrival(d);

        QCOMPARE(s.boxes.texts(),
                 QStringList{corrupted(QStringLiteral("An error occured while retrieving '%1':").arg(field))});
        QCOMPARE(s.boxes.shown().at(0).icon, platform::MsgIcon::Critical);
        QCOMPARE(arp.attempts, 0);
        // A corrupted answer leaves the reply time-out running and still rebuilds the tree.
        QVERIFY(s.w->timerRemoteSent.isActive());
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
        QCOMPARE(s.w->UDP_Response_IP, QStringLiteral("192.168.1.10"));
    }

    // Messages delivered while the box of the first is open wait, in order, and do not
    // overwrite the record of the message being handled.
    void messagesDuringABoxWaitTheirTurn()
    {
        Station s;
        s.env.writeIni(iniSection(kSection, {{"name", "STUDIO"}, {"role", "1"}}));
        QString nameWhileOpen;
        s.boxes.onShow([&](const platform::MessageSpec &) {
            if (s.boxes.count() != 1)
                return;
            s.w->udpClient_DataArrival(brokenReport(QStringLiteral("SECOND"), 17));
            s.w->udpClient_DataArrival(QByteArray(1201, '\0'));   // level samples: not queued
            s.w->udpClient_DataArrival(brokenReport(QStringLiteral("THIRD"), 18));
            nameWhileOpen = s.w->feedback.UDP_Response_Name;
        });
        s.w->udpClient_DataArrival(brokenReport(QStringLiteral("FIRST")));

        QCOMPARE(nameWhileOpen, QStringLiteral("FIRST           "));
        QCOMPARE(s.boxes.texts(),
                 (QStringList{kInputMessage,
                              corrupted(QStringLiteral("An error occured while retrieving 'Audio Type':")),
                              corrupted(QStringLiteral("An error occured while retrieving 'TX Type':"))}));
        QCOMPARE(s.w->feedback.UDP_Response_Name, QStringLiteral("THIRD           "));
        QCOMPARE(s.w->droppedFeedbackCount(), 0);
    }

    void queueOverflowDropsAndCounts()
    {
        Station s;
        s.env.writeIni(iniSection(kSection, {{"name", "STUDIO"}, {"role", "1"}}));
        const int delivered = frmMain::kFeedbackQueueLimit + 6;
        s.boxes.onShow([&](const platform::MessageSpec &) {
            if (s.boxes.count() != 1)
                return;
            for (int i = 0; i < delivered; ++i)
                s.w->udpClient_DataArrival(brokenReport(QStringLiteral("N%1").arg(i)));
        });
        s.w->udpClient_DataArrival(brokenReport(QStringLiteral("FIRST")));
        QCOMPARE(s.boxes.count(), 1 + frmMain::kFeedbackQueueLimit);
        QCOMPARE(s.w->droppedFeedbackCount(), 6);
        // The first 64 were kept: the last one handled is number 63.
        QCOMPARE(s.w->feedback.UDP_Response_Name.trimmed(),
                 QStringLiteral("N%1").arg(frmMain::kFeedbackQueueLimit - 1));
    }

    // A peer flooding the main socket from another thread must not starve the window's
    // event loop: its timers still fire while the flood goes on.
    void floodLeavesTheWindowResponsive()
    {
        Station s;
        s.env.writeIni(iniSection(kSection, {{"name", "STUDIO"}, {"role", "1"}}));
        QVERIFY(s.w->udpClient.bind(0));
        const quint16 port = s.w->udpClient.localPort();
        std::atomic<int> ticks{0}, ticksAtEnd{0};
        std::atomic<long> sent{0};
        std::atomic<bool> ended{false}, abandon{false};
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
        heartbeat.start(10);

        // At least 10000 datagrams; the flood goes on until the window's timer has ticked
        // five times under it, or a ceiling is reached (a starved window never ticks).
        constexpr long kMinimum = 10000;
        std::thread flood([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const QByteArray junk(1300, char(0xFF));
            for (long i = 0; fd >= 0 && i < 400000 && !abandon && (i < kMinimum || ticks < 5); sent = ++i)
                ::sendto(fd, junk.constData(), size_t(i % 1300), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
            if (fd >= 0)
                ::close(fd);
            ticksAtEnd = ticks.load();
            ended = true;
        });
        // The thread is joined on every way out of this test, a failed check included.
        const auto joiner = qScopeGuard([&] {
            abandon = true;
            flood.join();
        });
        QTRY_VERIFY_WITH_TIMEOUT(ended.load(), 120000);
        QVERIFY2(ticksAtEnd >= 5, qPrintable(QStringLiteral("%1 timer ticks while %2 datagrams were sent")
                                                 .arg(ticksAtEnd.load()).arg(sent.load())));
        QVERIFY(sent >= kMinimum);

        // Afterwards a real report still gets through (sent again until seen: the socket's
        // buffer may still be full of the flood).
        s.boxes.clear();
        QUdpSocket peer;
        const QString last = corrupted(QStringLiteral("An error occured while retrieving 'Element Type':"));
        for (int attempt = 0; attempt < 300 && !s.boxes.texts().contains(last); ++attempt) {
            peer.writeDatagram(brokenReport(QStringLiteral("LAST"), 35, 3), QHostAddress::LocalHost, port);
            QTest::qWait(100);
        }
        QVERIFY(s.boxes.texts().contains(last));
    }
};

QTEST_MAIN(TestMainSocket)
#include "tst_mainsocket.moc"
