// The station window driven as an operator against simulated elements in the test network
// (lab/run-in-lab.sh 4, run in its station namespace): discovery from an empty neighbour
// table, configuration of an encoder and a decoder through the panel, and the start after
// a station killed inside a discovery. Answers that differ or do not come are the core's
// (tst_station) and the command line's (tst_nmsctl_lab).
#include <QDialog>
#include <QDir>
#include <QRandomGenerator>
#include <QScrollBar>
#include <memory>

#include "LabFixture.h"
#include "platform/Settings.h"
#include "store/CrashLeftovers.h"
#include "windows/Startup.h"

class TestDiscoveryLab : public QObject {
    Q_OBJECT

    QList<LabElement> elements;
    std::unique_ptr<LabStation> s;
    QStringList storedOrder;   // MACs in the order the station stored their answers

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 4");
        elements = labElements();
        QCOMPARE(elements.size(), 4);
        QCOMPARE(qgetenv("BRIVOLTE_LAB_MODE"), QByteArray("separate"));
        s = std::make_unique<LabStation>();
        QVERIFY(s->start());
        connect(&s->w.station(), &station::Station::discoveryAnswerStored, this,
                [this](const ElementFeedback &answer) { storedOrder << answer.UDP_Response_MAC; });
    }
    void cleanupTestCase() { s.reset(); }

    void discoveryFromAnEmptyNeighbourTable()
    {
        QVERIFY(ip({"neigh", "flush", "all"}));
        QVERIFY(!run(QStringLiteral("ip"), {"neigh", "show"}).contains(QStringLiteral("lladdr")));

        // While the window collects, the operator cannot close it; when it ends it shows
        // how many elements it found.
        bool stayedOpen = false;
        QString foundAtEnd, pagedOn;
        QTimer::singleShot(1000, this, [&] {
            auto *paging = s->w.findChild<QDialog *>(QStringLiteral("frmPaging"));
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
        s->w.toolbarButton(1)->trigger();   // empty database: no question, the window runs 3 s

        QVERIFY(stayedOpen);
        QCOMPARE(foundAtEnd, QStringLiteral("Elements found: 4"));
        QCOMPARE(pagedOn, QStringLiteral("Paged on: lan0"));
        QCOMPARE(s->boxes.texts(), QStringList());
        // Stored, and shown in the tree, in the order they answered.
        QStringList storedSections, storedSorted;
        LoadIniSectionsLB(storedSections, s->env.iniPath());
        QCOMPARE(storedOrder.size(), 4);
        for (int i = 0; i < storedOrder.size(); ++i) {
            const QString mac = storedOrder.at(i);
            const auto e = std::find_if(elements.cbegin(), elements.cend(), [&](const LabElement &l) { return l.mac == mac; });
            QVERIFY2(e != elements.cend(), qPrintable(mac));
            QCOMPARE(storedSections.value(i), e->section());
            QCOMPARE(s->w.TreeView1->topLevelItem(i)->text(0), e->name + QStringLiteral(" [") + mac + QStringLiteral("]"));
        }
        QCOMPARE(sections(s->env.iniPath()), sections(elements));
        QCOMPARE(s->w.TreeView1->topLevelItemCount(), 4);
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
        const bool decoder = e.role == 2;
        s->boxes.clear();
        QVERIFY(s->click(e.mac));
        retype(s->w.txtElementName, newName);
        retype(s->w.txtElementIP, newIp);
        for (int i = 0; i < bufferSteps; ++i)
            QTest::keyClick(s->w.scrlBuffer, Qt::Key_Right);
        s->save();
        QTRY_VERIFY_WITH_TIMEOUT(s->boxes.count() >= 2, 30000);
        QCOMPARE(s->boxes.texts(), (QStringList{kQuestion, kSuccess}));

        // The command's bytes are the codec's concern; here: the element received one of
        // its role's length with the new name, and took the new address.
        const QString log = readAll(qEnvironmentVariable("BRIVOLTE_LAB_LOGS") + QStringLiteral("/el%1.log").arg(element));
        QVERIFY2(log.contains(QStringLiteral("RX 10.77.0.1:2976 -> %1:2976 len %2").arg(e.ip).arg(decoder ? 41 : 37)),
                 qPrintable(log.right(2000)));
        QVERIFY(log.contains(QStringLiteral("name \"%1\"").arg(newName.toUpper().leftJustified(16))));
        QVERIFY(!decoder || log.contains(QStringLiteral("buffer %1 ").arg(10 + bufferSteps)));
        const QString addresses = run(QStringLiteral("ip"), {"-n", qEnvironmentVariable("BRIVOLTE_LAB_NETNS") + QStringLiteral("el%1").arg(element),
                                                              "-4", "addr", "show", "dev", "eth0"});
        QVERIFY2(addresses.contains(QStringLiteral("inet ") + newIp + QStringLiteral("/24")), qPrintable(addresses));

        const QString path = s->env.iniPath();
        QCOMPARE(ReadFromINI(e.section(), "ip", path), newIp);
        QCOMPARE(ReadFromINI(e.section(), "name", path), newName.toUpper());
        if (decoder)
            QCOMPARE(ReadFromINI(e.section(), "buf", path), QString::number(10 + bufferSteps));
        QVERIFY(!s->w.station().config().isWaiting());
        QVERIFY(s->node(e.mac));   // the tree was rebuilt with the element in it
        QVERIFY(s->node(e.mac)->text(0).startsWith(newName.toUpper() + QStringLiteral(" [")));
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

QTEST_MAIN(TestDiscoveryLab)
#include "tst_discovery_lab.moc"
