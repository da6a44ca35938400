// brivolte-nmsctl driven as a script drives it, against the simulated elements of the test
// network (an encoder, a decoder with SFN on, and an encoder with an address outside every
// subnet of the station; lab/lab.sh topology "office,foreign", where the default route goes
// out a second interface to a network with no elements): every command, text and --json,
// and each exit status; then the routes and interfaces taken away one by one, as a site
// does. The tool pages the network, so it runs only inside the lab's station namespace.
#include <QDir>
#include <QUdpSocket>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

#include "Nmsctl.h"
#include "support/LabNetwork.h"
#include "support/TestEnvironment.h"

class TestNmsctlLab : public QObject {
    Q_OBJECT
    QList<LabElement> elements;
    std::unique_ptr<TestEnvironment> env;
    Nmsctl tool;

    int nmsctl(const QStringList &arguments, QString *out = nullptr) { return tool.run(arguments, out); }
    QJsonObject json(const QStringList &arguments, int expected) { return tool.json(arguments, expected); }
    QString read(const LabElement &e, const char *key) const { return ReadFromINI(e.section(), key, env->iniPath()); }
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

    void everyCommandHasItsHelp()
    {
        for (const char *command : {"discover", "list", "show", "ping", "set", "level", "stats", "sfn"}) {
            QString out;
            QCOMPARE(nmsctl({command, "--help"}, &out), 0);
            QVERIFY2(out.startsWith(QStringLiteral("Usage: brivolte-nmsctl %1").arg(command)), qPrintable(out));
        }
        QCOMPARE(nmsctl({"frobnicate"}), 2);
    }

    // Without --store the answers are only listed; with it they replace the database, and
    // a second storing discovery keeps the first one's as nms.ini.bak.
    void discover()
    {
        QVERIFY(ip({"neigh", "flush", "all"}));
        const QJsonObject listed = json({"discover"}, 0);
        QCOMPARE(listed.value("elements").toArray().size(), elements.size());
        QCOMPARE(listed.value("pagedOn").toArray().first().toString(), QStringLiteral("lan0"));
        QVERIFY(!QFile::exists(env->iniPath()));
        const QStringList expected = allSections();
        for (int round = 0; round < 2; ++round)
            QCOMPARE(json({"discover", "--store", "--interface", "lan0"}, 0).value("stored").toBool(), true);
        QCOMPARE(sections(env->iniPath()), expected);
        QCOMPARE(sections(env->iniPath() + ".bak"), expected);
        QString out;
        QCOMPARE(nmsctl({"list"}, &out), 0);
        for (const LabElement &e : std::as_const(elements))
            QVERIFY2(out.contains(e.mac + "  " + e.ip), qPrintable(out));
        QCOMPARE(json({"list"}, 0).value("elements").toArray().size(), elements.size());
    }

    void showAndPing()
    {
        QString out;
        QCOMPARE(nmsctl({"show", elements.at(1).name.toLower()}, &out), 0);
        QVERIFY2(out.contains("role=2\n") && out.contains("ip=" + elements.at(1).ip + '\n'), qPrintable(out));
        QCOMPARE(json({"show", elements.at(0).mac}, 0).value("record").toObject().value("name").toString(), elements.at(0).name);
        QCOMPARE(nmsctl({"show", "NOSUCH"}), 3);
        QVERIFY(json({"ping", elements.at(0).ip}, 0).value("result").toString().endsWith(" ms"));
        QCOMPARE(json({"ping", "10.77.0.99"}, 4).value("result").toString(), QStringLiteral("Failed!"));
    }

    // The command goes out, the element applies it, and its answer confirms it; a name the
    // element cannot hold whole comes back cut, and that is told.
    void setConfirmsOrTellsWhatDiffers()
    {
        const LabElement &e = elements.at(0);
        const QJsonObject done = json({"set", e.mac, "name=Studio Main", "--yes"}, 0);
        QCOMPARE(done.value("outcome").toString(), QStringLiteral("done"));
        QCOMPARE(read(e, "name"), QStringLiteral("STUDIO MAIN"));
        const QJsonObject differs = json({"set", e.mac, "name=STUDIO MAIN PLUS ONE", "--yes"}, 5);
        const QJsonArray differences = differs.value("differences").toArray();
        QCOMPARE(differences.size(), 1);
        QCOMPARE(differences.at(0).toObject().value("reported").toString(), QStringLiteral("STUDIO MAIN PLUS"));
        QCOMPARE(nmsctl({"set", e.mac, "colour=red", "--yes"}), 2);
        // Nobody at the stored address: no answer.
        WriteToINI(e.section(), "ip", "10.77.0.99", env->iniPath());
        QCOMPARE(json({"set", e.mac, "name=X", "--yes"}, 4).value("outcome").toString(), QStringLiteral("no reply"));
        WriteToINI(e.section(), "ip", e.ip, env->iniPath());
    }

    void level()
    {
        const QJsonArray levels = json({"level", elements.at(0).mac, "--count", "3", "--interval", "20"}, 0).value("levels").toArray();
        QCOMPARE(levels.size(), 3);
        QVERIFY(levels.at(0).toObject().value("level").toString().endsWith("dBFS"));
    }

    void statsAndSfn()
    {
        const LabElement &decoder = elements.at(1);
        QTest::qWait(1100);   // the element counts for a while
        const QJsonObject counters = json({"stats", decoder.mac}, 0).value("counters").toObject();
        QVERIFY(counters.value("rxFramesOk").toDouble() > 0);
        QVERIFY(counters.contains("ptpMeasuredDelayNs"));
        // The counters start again from zero.
        const QJsonObject reset = json({"stats", decoder.mac, "--reset"}, 0).value("counters").toObject();
        QVERIFY(reset.value("rxFramesOk").toDouble() < counters.value("rxFramesOk").toDouble());
        // The simulator's defaults: average 120 us, no compensation, servo off.
        const QJsonObject before = json({"sfn", decoder.mac}, 0).value("delay").toObject();
        QCOMPARE(before.value("latencyAvg").toString() + '|' + before.value("summaryAvg").toString() + '|'
                     + before.value("autoServo").toString(),
                 QStringLiteral("120 uS, 0 nS|516 uS, 98 nS|Auto servo"));
        // 100 us with auto servo: the element applies both and reports them back.
        const QJsonObject set = json({"sfn", decoder.mac, "--delay", "100000", "--servo", "on"}, 0).value("delay").toObject();
        QCOMPARE(set.value("compensation").toString(), QStringLiteral("100 uS, 0 nS"));
        QCOMPARE(set.value("autoServo").toString(), QStringLiteral("Auto servo (-150 nS)"));
        QCOMPARE(set.value("latencyAvg").toString(), QStringLiteral("219 uS, 850 nS"));
        QCOMPARE(read(decoder, "dly") + ' ' + read(decoder, "srv"), QStringLiteral("1000 1"));
        QCOMPARE(nmsctl({"sfn", decoder.mac, "--delay", "150"}), 2);
    }

    // With the station window holding its ports, the tool says so.
    void portBusy()
    {
        for (const quint16 port : {quint16(2976), quint16(2978)}) {
            QUdpSocket holder;
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress));
            QCOMPARE(nmsctl(port == 2976 ? QStringList{"discover"} : QStringList{"stats", elements.at(1).mac}), 6);
            QVERIFY2(tool.errors.contains(QStringLiteral("UDP port %1 is in use").arg(port)), qPrintable(tool.errors));
        }
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

QTEST_GUILESS_MAIN(TestNmsctlLab)
#include "tst_nmsctl_lab.moc"
