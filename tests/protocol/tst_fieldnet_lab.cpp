// The station on networks shaped like real sites (lab/lab.sh topology "office,foreign"):
// the default route goes out a second interface to a network with no elements, the
// element segment has none, and element 3 has an address outside every subnet of the
// station. The tests then take the routes and interfaces away one by one, as a site
// does, and drive the window as an operator would.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>

#include "LabFixture.h"
#include "windows/frmMain.h"
#include "support/LabNetwork.h"
#include "platform/Interfaces.h"
#include "store/IniStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kQuestion = QStringLiteral(
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \rAre you sure?");

QStringList sections(const QString &path)
{
    QStringList list;
    LoadIniSectionsLB(list, path);
    list.sort();
    return list;
}

} // namespace

class TestFieldNetworksLab : public QObject {
    Q_OBJECT

    QList<LabElement> elements;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ScriptedMessageBox> boxes;
    std::unique_ptr<frmMain> w;
    QString pagedOn;   // what the paging window said it paged on

    QStringList allSections() const
    {
        QStringList list;
        for (const LabElement &e : elements)
            list << e.section();
        list.sort();
        return list;
    }

    // Runs a discovery from the toolbar, answering its question (if any) with Yes.
    void discover()
    {
        pagedOn.clear();
        boxes->clear();
        if (w->TreeView1->topLevelItemCount() > 0)
            boxes->answerNext(platform::MsgAnswer::Yes);
        QTimer::singleShot(500, this, [this] {
            if (auto *paging = w->findChild<QDialog *>(QStringLiteral("frmPaging")))
                if (auto *label = paging->findChild<QLabel *>(QStringLiteral("lblInterfaces")))
                    pagedOn = label->text();
        });
        w->toolbarButton(1)->trigger();
        if (!boxes->texts().isEmpty() && boxes->texts().first().startsWith(QStringLiteral("Performing")))
            boxes->texts().removeFirst();
    }

    QStringList boxesAfterQuestion() const
    {
        QStringList texts = boxes->texts();
        if (!texts.isEmpty() && texts.first().startsWith(QStringLiteral("Performing an 'Auto Discovery'")))
            texts.removeFirst();
        return texts;
    }

    void save()
    {
        boxes->answerNext(platform::MsgAnswer::Yes);
        w->toolbarButton(4)->trigger();
    }

    // Pings the element shown in the panel; the button's caption at the end.
    QString ping()
    {
        QTest::mouseClick(w->cmdPing, Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return w->cmdPing->text() != QLatin1String("Trying..."); }, 8000))
            return QStringLiteral("<still trying>");
        return w->cmdPing->text();
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
        env = std::make_unique<TestEnvironment>();
        boxes = std::make_unique<ScriptedMessageBox>();
        w = std::make_unique<frmMain>(false, false);
        QVERIFY(w->bindMainSocket().ok());
        w->Load_Config();
        boxes->clear();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }

    void cleanupTestCase()
    {
        w.reset();
        boxes.reset();
        env.reset();
    }

    // The default route leads to the office; the elements, one of them off every subnet
    // of the station, are on the second port.
    void discoveryBesideAnOfficeDefaultRoute()
    {
        QVERIFY(ip({"neigh", "flush", "all"}));
        discover();
        QCOMPARE(boxesAfterQuestion(), QStringList());
        QCOMPARE(pagedOn, QStringLiteral("Paged on: lan0, office0"));
        QCOMPARE(sections(env->iniPath()), allSections());
        const LabElement &foreign = elements.at(2);
        QCOMPARE(ReadFromINI(foreign.section(), "ip", env->iniPath()), foreign.ip);
        QCOMPARE(w->TreeView1->topLevelItemCount(), 3);
    }

    // A laptop on the link's switch alone: no default route at all.
    void discoveryWithoutAGateway()
    {
        QVERIFY(ip({"route", "del", "default"}));
        discover();
        QCOMPARE(boxesAfterQuestion(), QStringList());
        QCOMPARE(sections(env->iniPath()), allSections());
        QCOMPARE(sections(env->iniPath() + QStringLiteral(".bak")), allSections());
    }

    // The worked example: an encoder moved from the station's subnet to 10.0.0.5. Its
    // reply comes from an address no route leads to, and is confirmed all the same; it
    // and the factory-default element answer a ping on their own link.
    void reAddressingOutsideTheSubnetIsConfirmed()
    {
        const LabElement e = elements.at(0);
        QVERIFY(clickNode(*w, e.mac));
        retype(w->txtElementIP, QStringLiteral("10.0.0.5"));
        retype(w->txtElementMask, QStringLiteral("255.255.255.0"));
        retype(w->txtElementGW, QStringLiteral("10.0.0.1"));
        boxes->clear();
        save();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->count() >= 2, 30000);
        QCOMPARE(boxes->texts(), (QStringList{kQuestion, kSuccess}));
        QCOMPARE(ReadFromINI(e.section(), "ip", env->iniPath()), QStringLiteral("10.0.0.5"));
        QCOMPARE(ReadFromINI(e.section(), "gw", env->iniPath()), QStringLiteral("10.0.0.1"));

        for (const QString &mac : {e.mac, elements.at(2).mac}) {
            QVERIFY(clickNode(*w, mac));
            const QString result = ping();
            QVERIFY2(result.endsWith(QStringLiteral(" ms")), qPrintable(mac + QStringLiteral(": ") + result));
        }
    }

    // With no interface left, one element's command cannot leave: the operator is told
    // which and why, and the station goes on.
    void aSendThatCannotLeaveIsReported()
    {
        const LabElement e = elements.at(1);
        WriteToINI(e.section(), "ip", QStringLiteral("10.123.4.5"), env->iniPath());
        QVERIFY(ip({"link", "set", "lan0", "down"}));
        QVERIFY(ip({"link", "set", "office0", "down"}));
        w->Load_Config();
        QVERIFY(clickNode(*w, e.mac));
        boxes->clear();
        save();
        QCOMPARE(boxes->texts(),
                 (QStringList{kQuestion, QStringLiteral("The configuration could not be sent to %1 [%2] at 10.123.4.5: "
                                                        "Network is unreachable.\rCannot save.")
                                             .arg(e.name, e.mac)}));
        boxes->clear();
        w->chkGetVolume->click();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->count() >= 1, 5000);
        QCOMPARE(boxes->texts().at(0), QStringLiteral("The level request to 10.123.4.5 could not be sent: "
                                                      "Network is unreachable.\rAudio monitoring has been stopped."));
        QCOMPARE(env->endProgramCalls(), 0);
    }

    // A discovery that cannot send gives the database back, file and tree, and the
    // backup keeps the last database that had elements, however often it is tried.
    void aDiscoveryThatCannotSendLosesNothing_data()
    {
        QTest::addColumn<QStringList>("only");
        QTest::addColumn<QString>("reasons");
        QTest::newRow("every interface down") << QStringList() << "no network interface is up";
        QTest::newRow("again") << QStringList() << "no network interface is up";
        QTest::newRow("the named interface down") << QStringList{"lan0"} << "lan0: is down";
    }
    void aDiscoveryThatCannotSendLosesNothing()
    {
        QFETCH(QStringList, only);
        QFETCH(QString, reasons);
        platform::setPagingInterfaceNames(only);
        const QString before = readAll(env->iniPath());
        const QString backup = readAll(env->iniPath() + QStringLiteral(".bak"));
        const int nodes = w->TreeView1->topLevelItemCount();
        discover();
        platform::setPagingInterfaceNames({});
        QCOMPARE(boxesAfterQuestion(), QStringList{QStringLiteral("The paging request could not be sent: %1.\r"
                                                                  "The local database was left as it was.")
                                                       .arg(reasons)});
        QCOMPARE(readAll(env->iniPath()), before);
        QCOMPARE(readAll(env->iniPath() + QStringLiteral(".bak")), backup);
        QCOMPARE(w->TreeView1->topLevelItemCount(), nodes);
    }

    // Answers that cannot be written (the file-size limit stands in for a full disk) give
    // the previous database back; a folder without room for a new one is not emptied.
    void aFullDiskKeepsTheLastGoodDatabase()
    {
        QVERIFY(ip({"link", "set", "lan0", "up"}));
        QTRY_VERIFY_WITH_TIMEOUT(!run("ip", {"-4", "addr", "show", "lan0", "up"}).isEmpty(), 5000);
        const QString before = readAll(env->iniPath());
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 64;   // an empty database fits, an element's record does not
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        discover();
        setrlimit(RLIMIT_FSIZE, &saved);
        QStringList texts = boxesAfterQuestion();
        QVERIFY2(!texts.isEmpty(), "no message");
        QCOMPARE(texts.last(), QStringLiteral("No answering element could be stored in the local database.\r"
                                              "The previous database was put back."));
        QCOMPARE(readAll(env->iniPath()), before);
        QCOMPARE(sections(env->iniPath() + QStringLiteral(".bak")), allSections());
        QCOMPARE(w->TreeView1->topLevelItemCount(), 3);

        // A folder with less room than the database: refused before anything is touched.
        const QString folder = env->dir() + QStringLiteral("/small");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY2(::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0,
                 "tmpfs cannot be mounted");
        const QByteArray oldDir = qgetenv("BRIVOLTE_NMS_DIR");
        qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(folder));
        {
            QFile big(folder + QStringLiteral("/nms.ini"));
            QVERIFY(big.open(QIODevice::WriteOnly));
            big.write(before.toLatin1());
            QFile filler(folder + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            filler.write(QByteArray(40 * 1024, 'x'));
        }
        w->Load_Config();
        discover();
        const QStringList refused = boxesAfterQuestion();
        const QString db = readAll(folder + QStringLiteral("/nms.ini"));
        qputenv("BRIVOLTE_NMS_DIR", oldDir);
        ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.at(0).startsWith(QStringLiteral("The local database could not be replaced: %1 has ").arg(folder)),
                 qPrintable(refused.at(0)));
        QVERIFY(refused.at(0).endsWith(QStringLiteral("are needed.\rAuto discovery was not started.")));
        QCOMPARE(db, before);
    }
};

QTEST_MAIN(TestFieldNetworksLab)
#include "tst_fieldnet_lab.moc"
