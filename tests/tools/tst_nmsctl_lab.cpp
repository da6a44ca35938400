// brivolte-nmsctl driven as a script drives it, against the simulated elements of the
// test network (an encoder and a decoder with SFN on): every command, text and --json,
// and each exit status. The tool pages the network, so it runs only inside the lab's
// station namespace (lab/run-in-lab.sh 2).
#include <QUdpSocket>

#include "Nmsctl.h"
#include "support/LabNetwork.h"
#include "store/IniStore.h"
#include "support/TestEnvironment.h"

class TestNmsctlLab : public QObject {
    Q_OBJECT
    QList<LabElement> elements;
    std::unique_ptr<TestEnvironment> env;
    Nmsctl tool;
    int nmsctl(const QStringList &arguments, QString *out = nullptr) { return tool.run(arguments, out); }
    QJsonObject json(const QStringList &arguments, int expected) { return tool.json(arguments, expected); }
    QStringList sections(const QString &path) const
    {
        QStringList list;
        LoadIniSectionsLB(list, path);
        list.sort();
        return list;
    }
    QString read(const LabElement &e, const char *key) const { return ReadFromINI(e.section(), key, env->iniPath()); }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 2");
        // Never from the host's own namespace: discovery broadcasts.
        QVERIFY(inLabStationNamespace());
        elements = labElements();
        QCOMPARE(elements.size(), 2);
        QVERIFY2(QFile::exists(qEnvironmentVariable("BRIVOLTE_NMSCTL")), "BRIVOLTE_NMSCTL names no tool");
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
        QCOMPARE(listed.value("elements").toArray().size(), 2);
        QCOMPARE(listed.value("pagedOn").toArray().first().toString(), QStringLiteral("lan0"));
        QVERIFY(!QFile::exists(env->iniPath()));
        QStringList expected{elements.at(0).section(), elements.at(1).section()};
        expected.sort();
        for (int round = 0; round < 2; ++round)
            QCOMPARE(json({"discover", "--store", "--interface", "lan0"}, 0).value("stored").toBool(), true);
        QCOMPARE(sections(env->iniPath()), expected);
        QCOMPARE(sections(env->iniPath() + ".bak"), expected);
        QString out;
        QCOMPARE(nmsctl({"list"}, &out), 0);
        for (const LabElement &e : std::as_const(elements))
            QVERIFY2(out.contains(e.mac + "  " + e.ip), qPrintable(out));
        QCOMPARE(json({"list"}, 0).value("elements").toArray().size(), 2);
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
};

QTEST_GUILESS_MAIN(TestNmsctlLab)
#include "tst_nmsctl_lab.moc"
