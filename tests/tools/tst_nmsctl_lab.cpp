// brivolte-nmsctl driven as a script drives it, against the simulated elements of the test
// network (an encoder, a decoder with SFN on, and an encoder with an address outside every
// subnet of the station; lab/lab.sh topology "office,foreign", where the default route goes
// out a second interface to a network with no elements): every command, text and --json,
// and each exit status. The site networks taken away one by one are the window's
// (tst_fieldnet_lab). The tool pages the network, so it runs only inside the lab.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUdpSocket>
#include <QtTest>

#include "support/LabNetwork.h"
#include "support/TestEnvironment.h"

class TestNmsctlLab : public QObject {
    Q_OBJECT
    QList<LabElement> elements;
    std::unique_ptr<TestEnvironment> env;
    QString errors;   // standard error of the last run

    // The tool run to its end: its exit status, and its standard output.
    int nmsctl(const QStringList &arguments, QString *out = nullptr)
    {
        int code = -1;
        const QString text = run(qEnvironmentVariable("BRIVOLTE_NMSCTL"), arguments, &code, &errors);
        if (out)
            *out = text;
        return code;
    }
    // The --json object of a run that ends with `expected` (an empty one otherwise).
    QJsonObject json(const QStringList &arguments, int expected)
    {
        QString out;
        const int code = nmsctl(arguments + QStringList{"--json"}, &out);
        if (code != expected)
            qWarning("%s: exit %d, wanted %d; %s %s", qPrintable(arguments.join(' ')), code, expected, qPrintable(out),
                     qPrintable(errors));
        return code == expected ? QJsonDocument::fromJson(out.toUtf8()).object() : QJsonObject();
    }
    static QStringList messages(const QJsonObject &o)
    {
        QStringList out;
        for (const QJsonValue &m : o.value("messages").toArray())
            out << m.toString();
        return out;
    }
    QString read(const LabElement &e, const char *key) const { return ReadFromINI(e.section(), key, env->iniPath()); }

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

    // Without --store the answers are only listed; with it they replace the database, and
    // a second storing discovery keeps the first one's as nms.ini.bak. One that cannot
    // send fails, says why, and leaves the database as it was.
    void discoverAndList()
    {
        QCOMPARE(nmsctl({"frobnicate"}), 2);
        QVERIFY(ip({"neigh", "flush", "all"}));
        const QJsonObject listed = json({"discover"}, 0);
        QCOMPARE(listed.value("elements").toArray().size(), elements.size());
        QCOMPARE(listed.value("pagedOn").toArray(), (QJsonArray{"lan0", "office0"}));
        QVERIFY(!QFile::exists(env->iniPath()));
        for (int round = 0; round < 2; ++round)
            QCOMPARE(json({"discover", "--store", "--interface", "lan0"}, 0).value("stored").toBool(), true);
        QCOMPARE(sections(env->iniPath()), sections(elements));
        QCOMPARE(sections(env->iniPath() + ".bak"), sections(elements));

        const QString before = readAll(env->iniPath());
        QCOMPARE(messages(json({"discover", "--store", "--interface", "nosuch0"}, 1)),
                 QStringList{"The paging request could not be sent: nosuch0: no such interface.\n"
                             "The local database was left as it was."});
        QCOMPARE(readAll(env->iniPath()), before);

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
        QVERIFY(json({"ping", elements.at(0).mac}, 0).value("result").toString().endsWith(" ms"));
        QCOMPARE(json({"ping", "10.77.0.99"}, 4).value("result").toString(), QStringLiteral("Failed!"));
    }

    // The command goes out, the element applies it, and its answer confirms it; a name the
    // element cannot hold whole comes back cut, and that is told.
    void setConfirmsOrTellsWhatDiffers()
    {
        const LabElement &e = elements.at(0);
        const QJsonObject done = json({"set", e.mac, "name=Studio Main", "--yes"}, 0);
        QCOMPARE(done.value("outcome").toString(), QStringLiteral("done"));
        QCOMPARE(messages(done), QStringList{"New configuration has been sucessfuly saved and loaded!"});
        QCOMPARE(read(e, "name"), QStringLiteral("STUDIO MAIN"));
        const QJsonArray differences = json({"set", e.mac, "name=STUDIO MAIN PLUS ONE", "--yes"}, 5).value("differences").toArray();
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
            QVERIFY2(errors.contains(QStringLiteral("UDP port %1 is in use").arg(port)), qPrintable(errors));
        }
    }
};

QTEST_GUILESS_MAIN(TestNmsctlLab)
#include "tst_nmsctl_lab.moc"
