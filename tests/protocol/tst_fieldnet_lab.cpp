// The station on networks shaped like real sites (lab/lab.sh topology "office,foreign"):
// the default route goes out a second interface to a network with no elements, the
// element segment has none, and element 3 has an address outside every subnet of the
// station. The tests then take the routes and interfaces away one by one, as a site
// does, and drive the window as an operator would; last, a station killed inside a
// discovery. Floods are the loopback tests' (tst_station, tst_statuswindows).
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>

#include "LabFixture.h"
#include "platform/Settings.h"
#include "store/CrashLeftovers.h"
#include "windows/Startup.h"

class TestFieldNetworksLab : public QObject {
    Q_OBJECT

    QList<LabElement> elements;
    std::unique_ptr<LabStation> s;
    QString pagedOn, foundAtEnd;   // what the paging window said it paged on, and found
    bool stayedOpen = false;       // the operator's Escape and close while it collected

    QString ini() const { return s->env.iniPath(); }

    // Runs a discovery from the toolbar, answering its question (if any) with Yes; the
    // boxes shown after that question.
    QStringList discover()
    {
        pagedOn.clear(), foundAtEnd.clear(), stayedOpen = false;
        s->boxes.clear();
        if (s->w.TreeView1->topLevelItemCount() > 0)
            s->boxes.answerNext(platform::MsgAnswer::Yes);
        QTimer::singleShot(500, this, [this] {
            auto *paging = s->w.findChild<QDialog *>(QStringLiteral("frmPaging"));
            if (!paging)
                return;
            if (auto *label = paging->findChild<QLabel *>(QStringLiteral("lblInterfaces")))
                pagedOn = label->text();
            connect(paging, &QDialog::finished, this, [this, paging] {
                if (auto *found = paging->findChild<QLabel *>(QStringLiteral("lblFound")))
                    foundAtEnd = found->text();
            });
            QTest::keyClick(paging, Qt::Key_Escape);
            paging->close();
            stayedOpen = paging->isVisible();
        });
        s->w.toolbarButton(1)->trigger();
        QStringList texts = s->boxes.texts();
        if (!texts.isEmpty() && texts.first().startsWith(QStringLiteral("Performing an 'Auto Discovery'")))
            texts.removeFirst();
        return texts;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 3 with topology office,foreign");
        QCOMPARE(qgetenv("BRIVOLTE_LAB_TOPOLOGY"), QByteArray("office,foreign"));
        elements = labElements();
        QCOMPARE(elements.size(), 3);
        QVERIFY(elements.at(2).ip.startsWith(QStringLiteral("10.66.0.")));
        s = std::make_unique<LabStation>();
        QVERIFY(s->start());
    }
    void cleanupTestCase() { s.reset(); }

    // The default route leads to the office; the elements, one of them off every subnet
    // of the station, are on the second port, and not yet in the neighbour table. The
    // operator cannot close the window while it collects.
    void discoveryBesideAnOfficeDefaultRoute()
    {
        QVERIFY(ip({"neigh", "flush", "all"}));
        QCOMPARE(discover(), QStringList());
        QCOMPARE(pagedOn, QStringLiteral("Paged on: lan0, office0"));
        QVERIFY(stayedOpen);
        QCOMPARE(foundAtEnd, QStringLiteral("Elements found: 3"));
        QCOMPARE(sections(ini()), sections(elements));
        QCOMPARE(ReadFromINI(elements.at(2).section(), "ip", ini()), elements.at(2).ip);
        QCOMPARE(s->w.TreeView1->topLevelItemCount(), 3);
    }

    // A laptop on the link's switch alone: no default route at all.
    void discoveryWithoutAGateway()
    {
        QVERIFY(ip({"route", "del", "default"}));
        QCOMPARE(discover(), QStringList());
        QCOMPARE(sections(ini()), sections(elements));
        QCOMPARE(sections(ini() + QStringLiteral(".bak")), sections(elements));
    }

    // An encoder moved from the station's subnet to 10.0.0.5: its reply comes from an
    // address no route leads to and is confirmed all the same; it and the element off
    // every subnet answer a ping on their own link.
    void reAddressingOutsideTheSubnetIsConfirmed()
    {
        const LabElement e = elements.at(0);
        QVERIFY(s->click(e.mac));
        retype(s->w.txtElementIP, QStringLiteral("10.0.0.5"));
        retype(s->w.txtElementMask, QStringLiteral("255.255.255.0"));
        retype(s->w.txtElementGW, QStringLiteral("10.0.0.1"));
        s->boxes.clear();
        s->save();
        QTRY_VERIFY_WITH_TIMEOUT(s->boxes.count() >= 2, 30000);
        QCOMPARE(s->boxes.texts(), (QStringList{kQuestion, kSuccess}));
        QCOMPARE(ReadFromINI(e.section(), "ip", ini()), QStringLiteral("10.0.0.5"));
        for (const QString &mac : {e.mac, elements.at(2).mac}) {
            QVERIFY(s->click(mac));
            QTest::mouseClick(s->w.cmdPing, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(s->w.cmdPing->text() != QLatin1String("Trying..."), 8000);
            QVERIFY2(s->w.cmdPing->text().endsWith(QStringLiteral(" ms")), qPrintable(mac + ": " + s->w.cmdPing->text()));
        }
    }

    // With no interface left, one element's command cannot leave: the operator is told
    // which and why, and the station goes on.
    void aSendThatCannotLeaveIsReported()
    {
        const LabElement e = elements.at(1);
        WriteToINI(e.section(), "ip", QStringLiteral("10.123.4.5"), ini());
        QVERIFY(ip({"link", "set", "lan0", "down"}));
        QVERIFY(ip({"link", "set", "office0", "down"}));
        s->w.Load_Config();
        QVERIFY(s->click(e.mac));
        s->boxes.clear();
        s->save();
        QCOMPARE(s->boxes.texts(),
                 (QStringList{kQuestion, QStringLiteral("The configuration could not be sent to %1 [%2] at 10.123.4.5: "
                                                        "Network is unreachable.\rCannot save.")
                                             .arg(e.name, e.mac)}));
        s->boxes.clear();
        s->w.chkGetVolume->click();
        QTRY_VERIFY_WITH_TIMEOUT(s->boxes.count() >= 1, 5000);
        QCOMPARE(s->boxes.texts().at(0), QStringLiteral("The level request to 10.123.4.5 could not be sent: "
                                                        "Network is unreachable.\rAudio monitoring has been stopped."));
        QCOMPARE(s->env.endProgramCalls(), 0);
    }

    // Answers that cannot be written (the file-size limit stands in for a full disk) give
    // the previous database back; a folder without room for a new one is not emptied.
    void aFullDiskKeepsTheLastGoodDatabase()
    {
        QVERIFY(ip({"link", "set", "lan0", "up"}));
        QTRY_VERIFY_WITH_TIMEOUT(!run("ip", {"-4", "addr", "show", "lan0", "up"}).isEmpty(), 5000);
        const QString before = readAll(ini());
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 64;   // an empty database fits, an element's record does not
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QStringList texts = discover();
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY2(!texts.isEmpty(), "no message");
        QCOMPARE(texts.last(), QStringLiteral("No answering element could be stored in the local database.\r"
                                              "The previous database was put back."));
        QCOMPARE(readAll(ini()), before);
        QCOMPARE(sections(ini() + QStringLiteral(".bak")), sections(elements));
        QCOMPARE(s->w.TreeView1->topLevelItemCount(), 3);

        // A folder with less room than the database: refused before anything is touched.
        const QString folder = s->env.dir() + QStringLiteral("/small");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY2(::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0,
                 "tmpfs cannot be mounted");
        const QByteArray oldDir = qgetenv("BRIVOLTE_NMS_DIR");
        qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(folder));
        {
            QFile big(folder + QStringLiteral("/nms.ini")), filler(folder + QStringLiteral("/filler"));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.write(before.toLatin1()) > 0);
            QVERIFY(filler.open(QIODevice::WriteOnly) && filler.write(QByteArray(40 * 1024, 'x')) > 0);
        }
        s->w.Load_Config();
        const QStringList refused = discover();
        const QString db = readAll(folder + QStringLiteral("/nms.ini"));
        qputenv("BRIVOLTE_NMS_DIR", oldDir);
        ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.at(0).startsWith(QStringLiteral("The local database could not be replaced: %1 has ").arg(folder)),
                 qPrintable(refused.at(0)));
        QVERIFY(refused.at(0).endsWith(QStringLiteral("are needed.\rAuto discovery was not started.")));
        QCOMPARE(db, before);
        QCOMPARE(s->w.TreeView1->topLevelItemCount(), 3);   // the tree kept too
    }

    // A station killed inside a discovery (the command-line tool's storing discovery, at a
    // random moment of its three seconds or while an answer was written): the next start
    // offers the previous database back and finds no temporary file of the store.
    void killedInsideADiscovery()
    {
        s->w.udpClient.close();   // the station started below needs 2976
        platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));
        const QString path = ini();
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

QTEST_MAIN(TestFieldNetworksLab)
#include "tst_fieldnet_lab.moc"
