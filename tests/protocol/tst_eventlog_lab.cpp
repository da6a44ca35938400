// The event log after what goes wrong on site (lab/run-in-lab.sh 4): "Check elements"
// with two elements off the network marks exactly those; a discovery with one silent,
// one late and one corrupt element finds each in the log with its severity. With
// BRIVOLTE_SCREENSHOTS set, the log window is saved there as eventlog.png.
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QStatusBar>
#include <QTableView>
#include <memory>

#include "LabFixture.h"
#include "station/EventLog.h"
#include "windows/frmEventLog.h"

class TestEventLogLab : public QObject {
    Q_OBJECT
    QTemporaryDir state;
    std::unique_ptr<station::EventLog> log;
    std::unique_ptr<LabStation> s;
    QList<LabElement> elements;
    std::vector<std::unique_ptr<QProcess>> simulators;

    QString ns(int k) const { return qEnvironmentVariable("BRIVOLTE_LAB_NETNS") + QStringLiteral("el%1").arg(k); }
    void discover()
    {
        s->boxes.answerNext(platform::MsgAnswer::Yes);
        s->w.toolbarButton(1)->trigger();   // returns when the discovery window has ended
    }
    // Element k's simulator started again as the lab starts it, with `faults`.
    bool restart(int k, const QStringList &faults)
    {
        for (const QString &pid : run("ip", {"netns", "pids", ns(k)}).split('\n', Qt::SkipEmptyParts))
            run("kill", {pid.trimmed()});
        for (int i = 0; i < 50 && !run("ip", {"netns", "pids", ns(k)}).trimmed().isEmpty(); ++i)
            QTest::qWait(100);   // the old one's ports free before the new one binds them
        const LabElement &e = elements.at(k - 1);
        QStringList args{"netns", "exec", ns(k), qEnvironmentVariable("BRIVOLTE_SIM"), "--log", "--interface", "eth0",
                         "--ip", e.ip, "--name", e.name, "--serial", envList("BRIVOLTE_LAB_SERIALS").value(k - 1),
                         "--mask", "255.255.255.0", "--gw", "10.77.0.1", "--version", "3.4"};
        args << (e.role == 1 ? QStringList{"--role", "encoder", "--sfn", "0", "--tx", "multicast"}
                             : QStringList{"--role", "decoder", "--sfn", "1", "--buffer", "10"})
             << faults;
        auto &p = simulators.emplace_back(std::make_unique<QProcess>());
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start("ip", args);
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains("element(s) ready") && p->state() != QProcess::NotRunning; ++i)
            if (p->waitForReadyRead(100))
                out += p->readAll();
        return out.contains("element(s) ready");
    }
    // The events about an element's address, as "severity text" lines.
    QStringList eventsOf(const QString &address) const
    {
        QStringList found;
        for (quint64 i = log->record().first(); i < log->record().end(); ++i)
            if (const station::Event e = log->record().at(i); e.element.address == address)
                found << station::severityName(e.severity) + QLatin1Char(' ') + e.text;
        return found;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 4");
        elements = labElements();
        QCOMPARE(elements.size(), 4);
        // The offscreen platform's own complaints are no part of what is shown here.
        QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
        log = std::make_unique<station::EventLog>(state.path());
        s = std::make_unique<LabStation>();
        QVERIFY(s->start());
        discover();
        QCOMPARE(sections(s->env.iniPath()), sections(elements));
    }
    void cleanupTestCase()
    {
        s.reset();
        for (auto &p : simulators) {
            p->kill();
            p->waitForFinished(3000);
        }
        log.reset();
    }

    void checkMarksTheTwoSilentOnes()
    {
        QVERIFY(ip({"-n", ns(2), "link", "set", "eth0", "down"}));
        QVERIFY(ip({"-n", ns(3), "link", "set", "eth0", "down"}));
        s->w.actCheckElements->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!s->w.elementCheck().isRunning(), 15000);
        QCOMPARE(s->w.lblCheckElements->text(), QStringLiteral("Check elements: 2 on line, 2 silent"));
        for (int k = 1; k <= 4; ++k)
            QCOMPARE(s->node(elements.at(k - 1).mac)->data(0, frmMain::kPresenceRole).toString(),
                     QString(k == 2 || k == 3 ? "silent" : "on line"));
        QVERIFY(s->node(elements.at(0).mac)->toolTip(0).startsWith("last heard "));
        QVERIFY(eventsOf(elements.at(1).ip).contains("warning check: silent (no answer)"));
        QVERIFY(ip({"-n", ns(3), "link", "set", "eth0", "up"}));
    }

    void discoveryLogsSilentLateAndCorrupt()
    {
        QVERIFY(restart(3, {"--delay-ms", "4500"}));
        QVERIFY(restart(4, {"--corrupt", "serial"}));
        discover();
        QTRY_VERIFY_WITH_TIMEOUT(!eventsOf(elements.at(2).ip).filter("late answer").isEmpty(), 10000);
        QVERIFY(eventsOf(elements.at(0).ip).contains("info answer stored"));
        QVERIFY(eventsOf(elements.at(1).ip).contains("warning no valid answer to the paging request"));
        QVERIFY(!eventsOf(elements.at(2).ip).filter(QRegularExpression("^warning late answer to the discovery, \\d+ ms")).isEmpty());
        const QStringList corrupt = eventsOf(elements.at(3).ip).filter("feedback refused");
        QVERIFY2(!corrupt.isEmpty() && corrupt.last().startsWith("error feedback refused: An error occured while retrieving 'Serial Number':"),
                 qPrintable(eventsOf(elements.at(3).ip).join('\n')));
        QVERIFY(corrupt.last().contains(QRegularExpression("\\(54 bytes: [0-9a-f ]+ …\\)")));

        frmEventLog *window = s->w.openEventLog();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->severityFilter()->setCurrentIndex(1);   // information and above
        window->view()->setFocus();
        window->view()->selectAll();
        QTest::keyClick(window->view(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), window->table().allLines());
        QVERIFY(window->table().allLines().contains("] late answer to the discovery"));
        QFile file(log->filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("WARNING brivolte.discovery [SITE 2 "));
        if (const QString folder = qEnvironmentVariable("BRIVOLTE_SCREENSHOTS"); !folder.isEmpty()) {
            window->resize(1100, 520);
            window->view()->scrollToBottom();
            QTest::qWait(300);
            QVERIFY(window->grab().save(QDir(folder).filePath("eventlog.png")));
        }
    }
};

QTEST_MAIN(TestEventLogLab)
#include "tst_eventlog_lab.moc"
