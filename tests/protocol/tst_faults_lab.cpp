// The station under faults in the test network (lab/run-in-lab.sh 2): each of its ports
// flooded at full speed from an element's namespace, after which the next discovery and
// confirmation work; and the start after a station killed inside a discovery.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <memory>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>

#include "LabFixture.h"
#include "platform/Settings.h"
#include "store/CrashLeftovers.h"
#include "support/ReceiveQueue.h"
#include "windows/Startup.h"
#include "windows/frmStatistics.h"

namespace {

constexpr long kFloodDatagrams = 100000;
constexpr int kFloodMilliseconds = 3000;

// Child mode, run inside an element's namespace: junk of any length and random messages
// of the feedback's lengths (40, 41, 54 bytes), as fast as the socket takes them.
int flood(const char *host, quint16 port, long count, int milliseconds)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET, to.sin_port = htons(port), to.sin_addr.s_addr = ::inet_addr(host);
    QRandomGenerator random(2976);
    quint32 words[325];
    QElapsedTimer clock;
    clock.start();
    long sent = 0;
    for (; fd >= 0 && sent < count && clock.elapsed() < milliseconds; ++sent) {
        random.fillRange(words);
        const size_t lengths[] = {size_t(random.bounded(1300)), 40, 41, 54};
        ::sendto(fd, words, lengths[sent % 4], 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    std::printf("%ld\n", sent);
    return fd >= 0 ? 0 : 1;
}

} // namespace

class TestFaultsLab : public QObject {
    Q_OBJECT

    QList<LabElement> elements;
    std::unique_ptr<LabStation> s;

    bool discover()
    {
        s->boxes.answerNext(platform::MsgAnswer::Yes);   // the question when the database holds elements
        s->w.toolbarButton(1)->trigger();                // returns when the window has ended
        return sections(s->env.iniPath()) == sections(elements);
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 2");
        elements = labElements();
        QCOMPARE(elements.size(), 2);
        QCOMPARE(qgetenv("BRIVOLTE_LAB_MODE"), QByteArray("separate"));
        s = std::make_unique<LabStation>();
        s->boxes.stayOpenFor(50);   // as a box does before the operator gets to it
        QVERIFY(s->start());
        QVERIFY(discover());
    }
    void cleanupTestCase() { s.reset(); }

    // 2976 with the main window only, 2978 with the statistics window open on the decoder;
    // a flood never stacks boxes, and the next discovery and confirmation work.
    void floodThenDiscoverAndConfirm_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("main socket") << 2976;
        QTest::newRow("statistics window") << 2978;
    }
    void floodThenDiscoverAndConfirm()
    {
        QFETCH(int, port);
        std::unique_ptr<frmStatistics> statistics;
        if (port == 2978) {
            statistics = std::make_unique<frmStatistics>(elements.at(1).section(), QStringLiteral("DECODER"), &s->w);
            QVERIFY(statistics->isOpen());
            statistics->show();
        }
        s->boxes.clear();
        QProcess flooder;
        flooder.start(QStringLiteral("ip"), {"netns", "exec", qEnvironmentVariable("BRIVOLTE_LAB_NETNS") + "el1",
                                             QCoreApplication::applicationFilePath(), "--flood", "10.77.0.1",
                                             QString::number(port), QString::number(kFloodDatagrams),
                                             QString::number(kFloodMilliseconds)});
        QTRY_VERIFY_WITH_TIMEOUT(flooder.state() == QProcess::NotRunning, kFloodMilliseconds + 20000);
        QCOMPARE(flooder.exitCode(), 0);
        const long sent = flooder.readAllStandardOutput().trimmed().toLong();
        qInfo("port %d: %ld datagrams sent, %d boxes", port, sent, s->boxes.count());
        QVERIFY(sent > 0);
        QTRY_COMPARE_WITH_TIMEOUT(receiveQueueBytes(quint16(port)), 0, 60000);
        QCOMPARE(s->boxes.deepest(), 1);
        statistics.reset();

        QVERIFY(discover());
        s->boxes.clear();
        QTreeWidgetItem *encoder = s->node(elements.at(0).mac);
        QVERIFY(encoder);
        s->w.TreeView1_NodeClick(encoder);
        s->save();
        QTRY_VERIFY_WITH_TIMEOUT(s->boxes.texts().contains(kSuccess), 30000);
    }

    // A station killed inside a discovery (the command-line tool's storing discovery, at a
    // random moment of its three seconds or while an answer was written): the next start
    // offers the previous database back and finds no temporary file of the store.
    void killedInsideADiscovery()
    {
        s->w.udpClient.close();   // the station started below needs 2976
        platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));
        const QString path = s->env.iniPath();
        for (int round = 0; round < 3; ++round) {
            const QString previous = readAll(path);
            QVERIFY(!previous.isEmpty());
            QProcess discovery;
            discovery.start(qEnvironmentVariable("BRIVOLTE_NMSCTL"), {"discover", "--store"});
            QVERIFY(discovery.waitForStarted(5000));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(DiscoveryMark::path(path)), 5000);
            QTest::qWait(int(QRandomGenerator::global()->bounded(2500)));
            discovery.kill();
            QVERIFY(discovery.waitForFinished(5000));

            s->boxes.clear();
            s->boxes.answerNext(platform::MsgAnswer::Yes);
            const StartupResult started = startStation({}, false);
            QVERIFY(started.window);
            QVERIFY2(s->boxes.count() == 1 && s->boxes.texts().at(0).startsWith("The last auto discovery did not finish"),
                     qPrintable(s->boxes.texts().join(QLatin1Char('|'))));
            QCOMPARE(readAll(path), previous);
            QCOMPARE(QFileInfo(path).dir().entryList({".nms.ini.*"}, QDir::Files | QDir::Hidden), QStringList());
            QVERIFY(!QFile::exists(DiscoveryMark::path(path)));
        }
    }
};

int main(int argc, char *argv[])
{
    if (argc == 6 && qstrcmp(argv[1], "--flood") == 0)
        return flood(argv[2], quint16(std::atoi(argv[3])), std::atol(argv[4]), std::atoi(argv[5]));
    QApplication app(argc, argv);
    TestFaultsLab test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults_lab.moc"
