// The station window driven as an operator against simulated elements in the test network
// (lab/run-in-lab.sh): discovery from an empty neighbour table, configuration of an encoder
// and a decoder through the panel, and the start after a station killed inside a
// discovery. Runs in the lab's station namespace. What the
// station does with answers that differ or do not come is the core's (tst_station,
// tst_configexchange) and the command line's (tst_nmsctl_lab).
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "windows/frmMain.h"
#include "platform/Settings.h"
#include "store/CrashLeftovers.h"
#include "store/IniStore.h"
#include "windows/Startup.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "LabFixture.h"

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kQuestion = QStringLiteral(
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \rAre you sure?");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestDiscoveryLab : public QObject {
    Q_OBJECT

    QList<LabElement> elements;
    QString netnsPrefix;
    QString logs;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ScriptedMessageBox> boxes;
    std::unique_ptr<frmMain> w;
    QStringList storedOrder;   // MACs in the order the station stored their answers

    QTreeWidgetItem *node(const QString &mac) const { return treeNode(*w, mac); }
    bool click(const QString &mac) { return clickNode(*w, mac); }

    void saveAnsweringYes()
    {
        boxes->answerNext(platform::MsgAnswer::Yes);
        w->toolbarButton(4)->trigger();
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 4");
        elements = labElements();
        QCOMPARE(elements.size(), 4);
        QCOMPARE(qgetenv("BRIVOLTE_LAB_MODE"), QByteArray("separate"));
        netnsPrefix = QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_NETNS"));
        logs = QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_LOGS"));

        env = std::make_unique<TestEnvironment>();
        boxes = std::make_unique<ScriptedMessageBox>();
        w = std::make_unique<frmMain>(false, false);
        QVERIFY(w->bindMainSocket().ok());
        w->applyTitleAndBufferMaximum();
        w->Load_Config();
        boxes->clear();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        connect(&w->station(), &station::Station::discoveryAnswerStored, this,
                [this](const ElementFeedback &answer) { storedOrder << answer.UDP_Response_MAC; });
    }

    void cleanupTestCase()
    {
        w.reset();
        boxes.reset();
        env.reset();
    }

    void discoveryFromAnEmptyNeighbourTable()
    {
        int code = 0;
        run(QStringLiteral("ip"), {"neigh", "flush", "all"}, &code);
        QCOMPARE(code, 0);
        QVERIFY(!run(QStringLiteral("ip"), {"neigh", "show"}).contains(QStringLiteral("lladdr")));

        // While the window collects, the operator cannot close it; when it ends it shows
        // how many elements it found.
        bool stayedOpen = false;
        QString foundAtEnd, pagedOn;
        QTimer::singleShot(1000, this, [&] {
            auto *paging = w->findChild<QDialog *>(QStringLiteral("frmPaging"));
            if (!paging)
                return;
            pagedOn = paging->findChild<QLabel *>(QStringLiteral("lblInterfaces"))->text();
            connect(paging, &QDialog::finished, this, [&, paging] {
                if (auto *found = paging->findChild<QLabel *>(QStringLiteral("lblFound")))
                    foundAtEnd = found->text();
            });
            QTest::keyClick(paging, Qt::Key_Escape);
            paging->close();
            stayedOpen = paging->isVisible();
        });
        w->toolbarButton(1)->trigger();   // empty database: no question, the window runs 3 s

        QVERIFY(stayedOpen);
        QCOMPARE(foundAtEnd, QStringLiteral("Elements found: 4"));
        QCOMPARE(pagedOn, QStringLiteral("Paged on: lan0"));
        QCOMPARE(boxes->texts(), QStringList());
        QStringList expectedMacs;
        for (const LabElement &e : std::as_const(elements))
            expectedMacs << e.mac;
        QStringList found = storedOrder;
        found.sort();
        QCOMPARE(found, expectedMacs);

        QStringList sections;
        LoadIniSectionsLB(sections, env->iniPath());
        QStringList expectedSections;
        for (const QString &mac : std::as_const(storedOrder))
            expectedSections << QString(mac).remove(QLatin1Char(':'));
        QCOMPARE(sections, expectedSections);

        QCOMPARE(w->TreeView1->topLevelItemCount(), 4);
        for (int i = 0; i < storedOrder.size(); ++i) {
            const QString mac = storedOrder.at(i);
            const auto it = std::find_if(elements.begin(), elements.end(),
                                         [&](const LabElement &e) { return e.mac == mac; });
            QCOMPARE(w->TreeView1->topLevelItem(i)->text(0), it->name + QStringLiteral(" [") + mac + QStringLiteral("]"));
        }
    }

    void configureThroughThePanel_data()
    {
        QTest::addColumn<int>("element"); QTest::addColumn<QString>("newName"); QTest::addColumn<QString>("newIp");
        QTest::addColumn<int>("bufferSteps");   // Right-arrow presses on the buffer bar
        QTest::newRow("encoder") << 1 << QStringLiteral("Studio Main") << QStringLiteral("10.77.0.21") << 0;
        QTest::newRow("decoder") << 3 << QStringLiteral("Site North") << QStringLiteral("10.77.0.23") << 2;
    }
    void configureThroughThePanel()
    {
        QFETCH(int, element); QFETCH(QString, newName); QFETCH(QString, newIp); QFETCH(int, bufferSteps);
        const LabElement e = elements.at(element - 1);
        boxes->clear();
        QVERIFY(click(e.mac));
        retype(w->txtElementName, newName);
        retype(w->txtElementIP, newIp);
        for (int i = 0; i < bufferSteps; ++i)
            QTest::keyClick(w->scrlBuffer, Qt::Key_Right);

        saveAnsweringYes();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->count() >= 2, 30000);
        QCOMPARE(boxes->texts(), (QStringList{kQuestion, kSuccess}));

        const QString log = readAll(logs + QStringLiteral("/el%1.log").arg(element));
        // The command's bytes are the codec's and the loopback tests' concern; here: the
        // element received one of its role's length with the new name.
        QVERIFY2(log.contains(QStringLiteral("RX 10.77.0.1:2976 -> %1:2976 len %2").arg(e.ip).arg(e.role == 2 ? 41 : 37)),
                 qPrintable(log.right(2000)));
        QVERIFY(log.contains(QStringLiteral("name \"%1\"").arg(newName.toUpper().leftJustified(16))));
        if (e.role == 2)
            QVERIFY(log.contains(QStringLiteral("buffer %1 ").arg(10 + bufferSteps)));
        const QString addresses = run(QStringLiteral("ip"), {"-n", netnsPrefix + QStringLiteral("el%1").arg(element),
                                                              "-4", "addr", "show", "dev", "eth0"});
        QVERIFY2(addresses.contains(QStringLiteral("inet ") + newIp + QStringLiteral("/24")), qPrintable(addresses));

        const QString path = env->iniPath();
        QCOMPARE(ReadFromINI(e.section(), "ip", path), newIp);
        QCOMPARE(ReadFromINI(e.section(), "name", path), newName.toUpper());
        if (e.role == 2)
            QCOMPARE(ReadFromINI(e.section(), "buf", path), QString::number(10 + bufferSteps));
        QVERIFY(!w->station().config().isWaiting());
        QVERIFY(node(e.mac));   // the tree was rebuilt with the element in it
        QVERIFY(node(e.mac)->text(0).startsWith(newName.toUpper() + QStringLiteral(" [")));
    }
    // A station killed inside a discovery (the command-line tool's storing discovery, at a
    // random moment of its three seconds or while an answer was written): the next start
    // offers the previous database back and finds no temporary file of the store.
    void killedInsideADiscovery()
    {
        w->udpClient.close();   // the station started below needs 2976
        platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));
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

            boxes->clear();
            boxes->answerNext(platform::MsgAnswer::Yes);
            StartupResult started = startStation({}, false);
            QVERIFY(started.window);
            QVERIFY2(boxes->count() == 1 && boxes->texts().at(0).startsWith("The last auto discovery did not finish"),
                     qPrintable(boxes->texts().join(QLatin1Char('|'))));
            QCOMPARE(fileBytes(env->iniPath()), previous);
            QCOMPARE(folder.entryList({".nms.ini.*"}, QDir::Files | QDir::Hidden), QStringList());
            QVERIFY(!QFile::exists(DiscoveryMark::path(env->iniPath())));
        }
    }
};

QTEST_MAIN(TestDiscoveryLab)
#include "tst_discovery_lab.moc"
