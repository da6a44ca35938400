// The station's core on networks shaped like real sites (lab/lab.sh topology
// "office,foreign"), through brivolte-nmsctl: the default route goes out a second
// interface to a network with no elements, the element segment has none, and element 3
// has an address outside every subnet of the station. The routes and interfaces are
// then taken away one by one, as a site does. Runs in the lab's station namespace only.
#include <QDir>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

#include "Nmsctl.h"
#include "store/IniStore.h"
#include "support/LabNetwork.h"
#include "support/TestEnvironment.h"

namespace {

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
    Nmsctl tool;

    QStringList allSections() const
    {
        QStringList list;
        for (const LabElement &e : elements)
            list << e.section();
        list.sort();
        return list;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 3 with topology office,foreign");
        QVERIFY(inLabStationNamespace());   // the tool broadcasts
        QCOMPARE(qgetenv("BRIVOLTE_LAB_TOPOLOGY"), QByteArray("office,foreign"));
        elements = labElements();
        QCOMPARE(elements.size(), 3);
        QVERIFY(elements.at(2).ip.startsWith(QStringLiteral("10.66.0.")));
        env = std::make_unique<TestEnvironment>();
    }

    // The default route leads to the office; the elements, one of them off every subnet
    // of the station, are on the second port.
    void discoveryBesideAnOfficeDefaultRoute()
    {
        QVERIFY(ip({"neigh", "flush", "all"}));
        const QJsonObject found = tool.json({"discover", "--store"}, 0);
        QCOMPARE(Nmsctl::messages(found), QStringList());
        QCOMPARE(found.value("pagedOn").toArray(), (QJsonArray{"lan0", "office0"}));
        QCOMPARE(sections(env->iniPath()), allSections());
        QCOMPARE(ReadFromINI(elements.at(2).section(), "ip", env->iniPath()), elements.at(2).ip);
    }

    // A laptop on the link's switch alone: no default route at all.
    void discoveryWithoutAGateway()
    {
        QVERIFY(ip({"route", "del", "default"}));
        QCOMPARE(Nmsctl::messages(tool.json({"discover", "--store"}, 0)), QStringList());
        QCOMPARE(sections(env->iniPath()), allSections());
        QCOMPARE(sections(env->iniPath() + QStringLiteral(".bak")), allSections());
    }

    // The worked example: an encoder moved from the station's subnet to 10.0.0.5. Its
    // reply comes from an address no route leads to, and is confirmed all the same; it
    // and the factory-default element answer a ping on their own link.
    void reAddressingOutsideTheSubnetIsConfirmed()
    {
        const LabElement e = elements.at(0);
        const QJsonObject set = tool.json({"set", e.mac, "ip=10.0.0.5", "mask=255.255.255.0", "gw=10.0.0.1", "--yes"}, 0);
        QCOMPARE(Nmsctl::messages(set), QStringList{"New configuration has been sucessfuly saved and loaded!"});
        QCOMPARE(ReadFromINI(e.section(), "ip", env->iniPath()), QStringLiteral("10.0.0.5"));
        QCOMPARE(ReadFromINI(e.section(), "gw", env->iniPath()), QStringLiteral("10.0.0.1"));
        for (const QString &mac : {e.mac, elements.at(2).mac})
            QVERIFY2(tool.json({"ping", mac}, 0).value("result").toString().endsWith(" ms"), qPrintable(mac));
    }

    // With no interface left, one element's command cannot leave: told which and why.
    void aSendThatCannotLeaveIsReported()
    {
        const LabElement e = elements.at(1);
        WriteToINI(e.section(), "ip", QStringLiteral("10.123.4.5"), env->iniPath());
        QVERIFY(ip({"link", "set", "lan0", "down"}));
        QVERIFY(ip({"link", "set", "office0", "down"}));
        QCOMPARE(Nmsctl::messages(tool.json({"set", e.mac, "name=X", "--yes"}, 1)),
                 QStringList{QStringLiteral("The configuration could not be sent to %1 [%2] at 10.123.4.5: "
                                            "Network is unreachable.\nCannot save.").arg(e.name, e.mac)});
        QCOMPARE(Nmsctl::messages(tool.json({"level", e.mac, "--count", "1"}, 1)),
                 QStringList{"The level request to 10.123.4.5 could not be sent: Network is unreachable.\n"
                             "Audio monitoring has been stopped."});
    }

    // A discovery that cannot send gives the database back, and the backup keeps the
    // last database that had elements, however often it is tried.
    void aDiscoveryThatCannotSendLosesNothing_data()
    {
        QTest::addColumn<QStringList>("only"); QTest::addColumn<QString>("reasons");
        QTest::newRow("every interface down") << QStringList() << "no network interface is up";
        QTest::newRow("again") << QStringList() << "no network interface is up";
        QTest::newRow("the named interface down") << QStringList{"--interface", "lan0"} << "lan0: is down";
    }
    void aDiscoveryThatCannotSendLosesNothing()
    {
        QFETCH(QStringList, only); QFETCH(QString, reasons);
        const QString before = readAll(env->iniPath());
        const QString backup = readAll(env->iniPath() + QStringLiteral(".bak"));
        QCOMPARE(Nmsctl::messages(tool.json(QStringList{"discover", "--store"} + only, 1)),
                 QStringList{QStringLiteral("The paging request could not be sent: %1.\n"
                                            "The local database was left as it was.").arg(reasons)});
        QCOMPARE(readAll(env->iniPath()), before);
        QCOMPARE(readAll(env->iniPath() + QStringLiteral(".bak")), backup);
    }

    // Answers that cannot be written (the file-size limit stands in for a full disk) give
    // the previous database back; a folder without room for a new one is not emptied.
    void aFullDiskKeepsTheLastGoodDatabase()
    {
        QVERIFY(ip({"link", "set", "lan0", "up"}));
        QTRY_VERIFY_WITH_TIMEOUT(!run("ip", {"-4", "addr", "show", "lan0", "up"}).isEmpty(), 5000);
        const QString before = readAll(env->iniPath());
        std::signal(SIGXFSZ, SIG_IGN);   // the tool inherits both
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 64;   // an empty database fits, an element's record does not
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QStringList texts = Nmsctl::messages(tool.json({"discover", "--store"}, 1));
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY2(!texts.isEmpty(), "no message");
        QCOMPARE(texts.last(), QStringLiteral("No answering element could be stored in the local database.\n"
                                              "The previous database was put back."));
        QCOMPARE(readAll(env->iniPath()), before);
        QCOMPARE(sections(env->iniPath() + QStringLiteral(".bak")), allSections());

        // A folder with less room than the database: refused before anything is touched.
        const QString folder = env->dir() + QStringLiteral("/small");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY2(::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0,
                 "tmpfs cannot be mounted");
        const QByteArray oldDir = qgetenv("BRIVOLTE_NMS_DIR");
        qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(folder));
        {
            QFile big(folder + QStringLiteral("/nms.ini"));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.write(before.toLatin1()) > 0);
            QFile filler(folder + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly) && filler.write(QByteArray(40 * 1024, 'x')) > 0);
        }
        const QStringList refused = Nmsctl::messages(tool.json({"discover", "--store"}, 1));
        const QString db = readAll(folder + QStringLiteral("/nms.ini"));
        qputenv("BRIVOLTE_NMS_DIR", oldDir);
        ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.at(0).startsWith(QStringLiteral("The local database could not be replaced: %1 has ").arg(folder)),
                 qPrintable(refused.at(0)));
        QVERIFY(refused.at(0).endsWith(QStringLiteral("are needed.\nAuto discovery was not started.")));
        QCOMPARE(db, before);
    }
};

QTEST_GUILESS_MAIN(TestFieldNetworksLab)
#include "tst_nmsctl_fieldnet_lab.moc"
