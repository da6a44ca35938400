// The station under floods in the test network (lab/run-in-lab.sh 2): each of its ports
// flooded at full speed from an element's namespace, after which the next discovery and
// confirmation work. (A station killed inside a discovery is tst_discovery_lab's.)
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "windows/frmMain.h"
#include "windows/frmStatistics.h"
#include "platform/Settings.h"
#include "store/IniStore.h"
#include "support/ReceiveQueue.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

using platform::MsgAnswer;

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
constexpr long kFloodDatagrams = 100000;
constexpr int kFloodMilliseconds = 3000;

QStringList envList(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

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
    std::printf("%ld %lld\n", sent, static_cast<long long>(clock.elapsed()));
    return fd >= 0 ? 0 : 1;
}

} // namespace

class TestFaultsLab : public QObject {
    Q_OBJECT

    QStringList ips, macs;
    QString netnsPrefix;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ScriptedMessageBox> boxes;
    std::unique_ptr<frmMain> w;

    QStringList storedSections() const
    {
        QStringList sections;
        LoadIniSectionsLB(sections, env->iniPath());
        sections.sort();
        return sections;
    }
    QStringList labSections() const
    {
        QStringList sections;
        for (const QString &mac : macs)
            sections << QString(mac).remove(QLatin1Char(':'));
        sections.sort();
        return sections;
    }
    bool discover()
    {
        boxes->answerNext(MsgAnswer::Yes);   // Auto Discovery's question when the database holds elements
        w->toolbarButton(1)->trigger();       // returns when the window has ended
        return storedSections() == labSections();
    }
    QTreeWidgetItem *node(const QString &mac) const
    {
        for (int i = 0; i < w->TreeView1->topLevelItemCount(); ++i)
            if (w->TreeView1->topLevelItem(i)->data(0, Qt::UserRole).toString() == mac)
                return w->TreeView1->topLevelItem(i);
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 2");
        ips = envList("BRIVOLTE_LAB_ELEMENTS");
        macs = envList("BRIVOLTE_LAB_MACS");
        netnsPrefix = QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_NETNS"));
        QCOMPARE(ips.size(), 2);
        QCOMPARE(qgetenv("BRIVOLTE_LAB_MODE"), QByteArray("separate"));
        env = std::make_unique<TestEnvironment>();
        platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));
        boxes = std::make_unique<ScriptedMessageBox>();
        boxes->stayOpenFor(50);   // as a box does before the operator gets to it
        w = std::make_unique<frmMain>(false, false);
        QVERIFY(w->bindMainSocket().ok());
        w->Load_Config();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(discover());
    }

    void cleanupTestCase()
    {
        w.reset();
        boxes.reset();
        env.reset();
    }

    // 2976 with the main window only, 2978 with the statistics window open on the decoder.
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
            const QString decoder = QString(macs.at(1)).remove(QLatin1Char(':'));
            statistics = std::make_unique<frmStatistics>(decoder, QStringLiteral("DECODER"), w.get());
            QVERIFY(statistics->isOpen());
            statistics->show();
        }
        int read = 0;
        const QMetaObject::Connection counting = connect(statistics ? &statistics->udpClient2 : &w->udpClient,
                                                         &platform::UdpPort::datagramReceived, this, [&read] { ++read; });
        boxes->clear();
        QProcess flooder;
        flooder.start(QStringLiteral("ip"), {"netns", "exec", netnsPrefix + "el1", QCoreApplication::applicationFilePath(),
                                             "--flood", "10.77.0.1", QString::number(port),
                                             QString::number(kFloodDatagrams), QString::number(kFloodMilliseconds)});
        QTRY_VERIFY_WITH_TIMEOUT(flooder.state() == QProcess::NotRunning, kFloodMilliseconds + 20000);
        QElapsedTimer drain;
        drain.start();
        const QStringList figures = QString::fromLatin1(flooder.readAllStandardOutput()).split(QLatin1Char(' '));
        QCOMPARE(flooder.exitCode(), 0);
        QCOMPARE(figures.size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(receiveQueueBytes(quint16(port)), 0, 60000);
        const double seconds = qMax(1LL, figures.at(1).toLongLong()) / 1000.0;
        qInfo("port %d: %s datagrams in %.2f s (%.0f per second), %d read (the rest found the receive buffer "
              "full); the socket was empty %lld ms after the flood; %d boxes, at most %d open at once",
              port, qPrintable(figures.at(0)), seconds, figures.at(0).toDouble() / seconds, read, drain.elapsed(),
              boxes->count(), boxes->deepest());
        disconnect(counting);
        QCOMPARE(boxes->deepest(), 1);
        statistics.reset();

        QVERIFY(discover());
        boxes->clear();
        QTreeWidgetItem *encoder = node(macs.at(0));
        QVERIFY(encoder);
        w->TreeView1_NodeClick(encoder);
        boxes->answerNext(MsgAnswer::Yes);
        w->toolbarButton(4)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->texts().contains(kSuccess), 30000);
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
