// A field of 500 elements on one wire (lab/lab.sh crowd mode, answers spread over 2.5 s,
// each asking for the station's address first): a storing discovery by brivolte-nmsctl
// keeps every element under its own hardware address with its own record, and one killed
// while the answers arrive leaves a database that holds only whole records.
// Correctness only: the database lives in memory (/dev/shm) so that the disk's flush
// latency does not decide how much fits in the window.
#include <QDeadlineTimer>
#include <QMap>
#include <QtTest>

#include "support/LabNetwork.h"
#include "support/TestEnvironment.h"

namespace {

// Sections of a database as their KEY=VALUE lines, read strictly: a line outside a
// section, a line that is neither header nor key, or a section twice makes it unreadable.
QMap<QString, QStringList> records(const QString &path, bool *readable)
{
    QMap<QString, QStringList> out;
    QString section;
    *readable = true;
    for (const QString &line : readAll(path).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            *readable = *readable && !out.contains(section);
            out[section];
        } else {
            *readable = *readable && !section.isEmpty() && line.indexOf(QLatin1Char('=')) > 0;
            out[section] << line;
        }
    }
    return out;
}

} // namespace

class TestScaleLab : public QObject {
    Q_OBJECT
    QList<LabElement> elements;
    QStringList serials;
    std::unique_ptr<TestEnvironment> env;

    // Element i's record as the lab configured it.
    QStringList expected(int i) const
    {
        const LabElement &e = elements.at(i);
        const bool decoder = e.role == 2;
        QStringList record = {"NAME=" + e.name, "IP=" + e.ip, "MASK=255.255.240.0", "GW=10.77.0.1", "INPUT=1",
                              "TYPE=1", "TX=1", "MULTI=239.192.77.1", "ROLE=" + QString::number(e.role),
                              "SN=" + serials.at(i), "VER=3.4", decoder ? "SFN=1" : "SFN=0", decoder ? "BUF=10" : "BUF=0"};
        if (decoder)
            record << "ATT=255" << "SDM=0" << "SDL=77" << "SDT=22";
        return record << "LLO=0";
    }
    // Every section of the database is one lab element's whole record; their number.
    int verifyWholeRecords()
    {
        bool readable = false;
        const QMap<QString, QStringList> stored = records(env->iniPath(), &readable);
        if (!readable)
            qWarning("nms.ini does not parse");
        for (int i = 0; i < elements.size(); ++i) {
            const auto it = stored.constFind(elements.at(i).section());
            if (it != stored.cend() && *it != expected(i)) {
                qWarning("%s: %s", qPrintable(it.key()), qPrintable(it->join(QLatin1Char(' '))));
                return -1;
            }
        }
        const bool allLab = sections(env->iniPath()).size() == stored.size()
                            && std::all_of(stored.keyBegin(), stored.keyEnd(), [this](const QString &s) {
                                   return sections(elements).contains(s);
                               });
        return readable && allLab ? int(stored.size()) : -1;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 500");
        QVERIFY(inLabStationNamespace());   // the tool broadcasts
        QCOMPARE(qgetenv("BRIVOLTE_LAB_MODE"), QByteArray("crowd"));
        elements = labElements();
        serials = envList("BRIVOLTE_LAB_SERIALS");
        QCOMPARE(elements.size(), 500);
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            qputenv("TMPDIR", "/dev/shm");
        env = std::make_unique<TestEnvironment>();
    }

    void everyElementStoredWithItsOwnRecord()
    {
        QString errors;
        int code = -1;
        run(qEnvironmentVariable("BRIVOLTE_NMSCTL"), {"discover", "--store"}, &code, &errors);
        QVERIFY2(code == 0, qPrintable(errors));
        QCOMPARE(verifyWholeRecords(), 500);
    }

    // The wire carries every other exchange too, from the element's own address.
    void lastElementAnswersEveryExchange()
    {
        const QString last = elements.constLast().name;   // a decoder: status and SFN
        for (const QStringList &command : {QStringList{"ping", last}, QStringList{"stats", last},
                                           QStringList{"sfn", last}, QStringList{"level", elements.first().name, "--count", "2"}}) {
            int code = -1;
            QString errors;
            run(qEnvironmentVariable("BRIVOLTE_NMSCTL"), command, &code, &errors);
            QVERIFY2(code == 0, qPrintable(command.join(' ') + ": " + errors));
        }
    }

    void killedWhileAnswersArrive_data()
    {
        QTest::addColumn<int>("storedBeforeKill");
        QTest::newRow("first answer") << 1;
        QTest::newRow("a fifth") << 100;
        QTest::newRow("three fifths") << 300;
    }
    void killedWhileAnswersArrive()
    {
        QFETCH(int, storedBeforeKill);
        QFile::remove(env->iniPath());   // what the last run stored is not this run's
        QProcess p;
        p.start(qEnvironmentVariable("BRIVOLTE_NMSCTL"), {"discover", "--store"});
        QVERIFY(p.waitForStarted(5000));
        int seen = 0;
        for (QDeadlineTimer deadline(10000); seen < storedBeforeKill && !deadline.hasExpired() && !p.waitForFinished(5);)
            seen = CountIniSections(env->iniPath());
        QVERIFY2(p.state() == QProcess::Running, "the discovery ended before the kill");
        p.kill();
        QVERIFY(p.waitForFinished(5000));
        const int kept = verifyWholeRecords();
        QVERIFY2(kept >= seen && kept < 500, qPrintable(QStringLiteral("%1 kept, %2 seen").arg(kept).arg(seen)));
    }
};

QTEST_GUILESS_MAIN(TestScaleLab)
#include "tst_scale_lab.moc"
