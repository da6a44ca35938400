// A station killed inside a discovery in the test network (lab/run-in-lab.sh 2): the
// command-line tool's storing discovery, killed at a random moment of its three seconds
// (or while an answer was written); the next start of the station window offers the
// previous database back and finds no temporary file of the store. How the station reads
// a flooded port is the loopback tests' (tst_station readingNeverStops, tst_statistics).
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include "protocol/LabFixture.h"
#include "platform/Settings.h"
#include "store/CrashLeftovers.h"
#include "store/IniStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/Startup.h"

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFaultsLab : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 2");
        QVERIFY(inLabStationNamespace());   // the tool broadcasts
        env = std::make_unique<TestEnvironment>();
        platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));
        int code = -1;
        run(qEnvironmentVariable("BRIVOLTE_NMSCTL"), {"discover", "--store"}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(CountIniSections(env->iniPath()), 2);
    }

    void killedInsideADiscovery()
    {
        const QDir folder = QFileInfo(env->iniPath()).dir();
        for (int round = 0; round < 3; ++round) {
            const QByteArray previous = fileBytes(env->iniPath());
            QProcess discovery;
            discovery.start(qEnvironmentVariable("BRIVOLTE_NMSCTL"), {"discover", "--store"});
            QVERIFY(discovery.waitForStarted(5000));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(DiscoveryMark::path(env->iniPath())), 5000);
            QTest::qWait(int(QRandomGenerator::global()->bounded(2500)));
            discovery.kill();
            QVERIFY(discovery.waitForFinished(5000));

            ScriptedMessageBox boxes;
            boxes.answerNext(platform::MsgAnswer::Yes);
            StartupResult started = startStation({}, false);
            QVERIFY(started.window);
            QVERIFY2(boxes.count() == 1 && boxes.texts().at(0).startsWith("The last auto discovery did not finish"),
                     qPrintable(boxes.texts().join(QLatin1Char('|'))));
            QCOMPARE(fileBytes(env->iniPath()), previous);
            QCOMPARE(folder.entryList({".nms.ini.*"}, QDir::Files | QDir::Hidden), QStringList());
            QVERIFY(!QFile::exists(DiscoveryMark::path(env->iniPath())));
        }
    }
};

QTEST_MAIN(TestFaultsLab)
#include "tst_faults_lab.moc"
