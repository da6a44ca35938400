// The station driven as an operator against simulated elements in the test network
// (lab/run-in-lab.sh): discovery from an empty neighbour table, configuration of an
// encoder and a decoder through the panel, an element that reports other values than it
// was sent, and one that does not answer. Runs in the lab's station namespace.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "windows/frmMain.h"
#include "store/IniStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "LabFixture.h"

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kQuestion = QStringLiteral(
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \rAre you sure?");

} // namespace

class TestDiscoveryLab : public QObject {
    Q_OBJECT

    QList<LabElement> elements;
    QString netnsPrefix;
    QString logs;
    QString simulator;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ScriptedMessageBox> boxes;
    std::unique_ptr<frmMain> w;
    QStringList storedOrder;   // MACs in the order the station stored their answers
    QList<QProcess *> replacements;

    QTreeWidgetItem *node(const QString &mac) const { return treeNode(*w, mac); }
    bool click(const QString &mac) { return clickNode(*w, mac); }

    void saveAnsweringYes()
    {
        boxes->answerNext(platform::MsgAnswer::Yes);
        w->toolbarButton(4)->trigger();
    }

    // Replaces element k's simulator (1-based) by one started with `extra` options.
    bool replaceSimulator(int k, const QStringList &extra)
    {
        const LabElement &e = elements.at(k - 1);
        const QString ns = netnsPrefix + QStringLiteral("el%1").arg(k);
        // The lab's simulator for this element is the only process in its namespace.
        const QStringList pids = run(QStringLiteral("ip"), {"netns", "pids", ns}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &pid : pids)
            run(QStringLiteral("kill"), {"-TERM", pid.trimmed()});
        if (!QTest::qWaitFor([&] { return run(QStringLiteral("ip"), {"netns", "pids", ns}).trimmed().isEmpty(); }, 10000))
            return false;
        auto *sim = new QProcess(this);
        sim->setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{"netns", "exec", ns, simulator, "--log", "--interface", "eth0",
                         "--ip", e.ip, "--role", e.role == 1 ? "encoder" : "decoder",
                         "--name", e.name, "--serial", e.serial, "--mask", "255.255.255.0",
                         "--gw", "10.77.0.1", "--version", "3.4"};
        sim->start(QStringLiteral("ip"), args + extra);
        replacements.append(sim);
        return QTest::qWaitFor([sim] { return sim->peek(1 << 16).contains("element(s) ready"); }, 15000);
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
        simulator = QString::fromLocal8Bit(qgetenv("BRIVOLTE_SIM"));
        QVERIFY2(QFile::exists(simulator), "BRIVOLTE_SIM names no simulator");

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
        for (QProcess *sim : std::as_const(replacements)) {
            sim->terminate();
            if (!sim->waitForFinished(5000))
                sim->kill();
            sim->waitForFinished(2000);
        }
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
        QString foundAtEnd;
        QTimer::singleShot(1000, this, [&] {
            auto *paging = w->findChild<QDialog *>(QStringLiteral("frmPaging"));
            if (!paging)
                return;
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

        // The stored hardware addresses are those the kernel learnt for the elements.
        const QString neighbours = run(QStringLiteral("ip"), {"neigh", "show", "dev", "lan0"}).toUpper();
        for (const LabElement &e : std::as_const(elements))
            QVERIFY2(neighbours.contains(e.ip + QStringLiteral(" LLADDR ") + e.mac), qPrintable(neighbours));

        // Each record holds what its element reports about itself.
        const QString path = env->iniPath();
        for (const LabElement &e : std::as_const(elements)) {
            const QStringList got{ReadFromINI(e.section(), "name", path), ReadFromINI(e.section(), "ip", path),
                                  ReadFromINI(e.section(), "role", path), ReadFromINI(e.section(), "sn", path),
                                  ReadFromINI(e.section(), "sfn", path), ReadFromINI(e.section(), "buf", path)};
            QCOMPARE(got, (QStringList{e.name, e.ip, QString::number(e.role), e.serial, e.role == 2 ? "1" : "0",
                                       e.role == 2 ? "10" : "0"}));
        }
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
        QTest::addColumn<int>("element");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("newIp");
        QTest::addColumn<int>("bufferSteps");   // Right-arrow presses on the buffer bar
        QTest::newRow("encoder") << 1 << QStringLiteral("Studio Main") << QStringLiteral("10.77.0.21") << 0;
        QTest::newRow("decoder") << 3 << QStringLiteral("Site North") << QStringLiteral("10.77.0.23") << 2;
    }
    void configureThroughThePanel()
    {
        QFETCH(int, element);
        QFETCH(QString, newName);
        QFETCH(QString, newIp);
        QFETCH(int, bufferSteps);
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

    // An element whose answer names another name and address than it was sent: both
    // fields are reported, in order, and nothing claims success.
    void answerThatDiffersIsReported()
    {
        const int k = 2;
        const LabElement e = elements.at(k - 1);
        const QString ns = netnsPrefix + QStringLiteral("el%1").arg(k);
        // The address it reports is one of its own, so that ARP still finds it.
        int code = 0;
        run(QStringLiteral("ip"), {"-n", ns, "addr", "add", "10.77.0.92/24", "dev", "eth0"}, &code);
        QCOMPARE(code, 0);
        QVERIFY(replaceSimulator(k, {"--tx", "multicast", "--report-name", "IMPOSTOR", "--report-ip", "10.77.0.92"}));

        boxes->clear();
        QVERIFY(click(e.mac));
        saveAnsweringYes();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->count() >= 3, 30000);
        QTest::qWait(500);
        QCOMPARE(boxes->texts(),
                 (QStringList{kQuestion,
                              QStringLiteral("An error occured while saving 'Element Name':\rFeedback is corrupted."),
                              QStringLiteral("An error occured while saving 'Element IP':\rFeedback is corrupted.")}));
        QCOMPARE(ReadFromINI(e.section(), "ip", env->iniPath()), e.ip);
        QCOMPARE(ReadFromINI(e.section(), "name", env->iniPath()), e.name);
    }

    void silentElementTimesOut()
    {
        const int k = 4;
        const LabElement e = elements.at(k - 1);
        QVERIFY(replaceSimulator(k, {"--sfn", "1", "--buffer", "10", "--silent"}));
        boxes->clear();
        QVERIFY(click(e.mac));
        saveAnsweringYes();
        QVERIFY(w->station().config().isWaiting());
        QTRY_VERIFY_WITH_TIMEOUT(boxes->count() >= 2, 15000);
        QCOMPARE(boxes->texts(),
                 (QStringList{kQuestion, QStringLiteral("Waiting for a response from Network Element has "
                                                        "timed out!\rCannot save.")}));
        QCOMPARE(ReadFromINI(e.section(), "name", env->iniPath()), e.name);
    }
};

QTEST_MAIN(TestDiscoveryLab)
#include "tst_discovery_lab.moc"
