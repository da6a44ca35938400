// The event record as the handler fills it, the event log window's table over it, and
// the log file: severities, element fields, the bounded ring, rotation, a file that
// cannot be written.
#include <QDir>
#include <QtTest>

#include "station/EventLog.h"
#include "station/EventTable.h"
#include "support/TestEnvironment.h"

using namespace station;

namespace {
QStringList g_passedOn;   // what the handler before the event log was given
void previousHandler(QtMsgType, const QMessageLogContext &, const QString &message) { g_passedOn << message; }
const platform::ElementTag kSite{QStringLiteral("SITE 2"), QStringLiteral("02:77:00:00:00:02"),
                                 QStringLiteral("10.77.0.12"), QStringLiteral("lan0")};
} // namespace

class TestEventLog : public QObject {
    Q_OBJECT
    TestEnvironment env;

private slots:
    void messagesBecomeEvents_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("line");   // the log file's line after the time stamp
        QTest::newRow("info about an element") << int(QtInfoMsg) << platform::tagged(kSite, "answer stored") << int(Severity::Info)
            << "SITE 2 (10.77.0.12)" << "INFO brivolte.discovery [SITE 2 02:77:00:00:00:02 10.77.0.12 lan0] answer stored";
        QTest::newRow("critical, box text on one line") << int(QtCriticalMsg) << QStringLiteral("Cannot save.\rDisk full") << int(Severity::Error)
            << "" << "ERROR brivolte.discovery - Cannot save. | Disk full";
        QTest::newRow("address only") << int(QtWarningMsg) << platform::tagged({{}, {}, "10.77.0.14", {}}, "feedback refused")
            << int(Severity::Warning) << "10.77.0.14" << "WARNING brivolte.discovery [10.77.0.14] feedback refused";
        QTest::newRow("a name cannot forge a tag") << int(QtInfoMsg)
            << platform::tagged({QString(QChar(0x1D)) + "X" + QChar(0x1F), {}, "10.0.0.1", {}}, "t") << int(Severity::Info)
            << "X (10.0.0.1)" << "INFO brivolte.discovery [X 10.0.0.1] t";
    }
    void messagesBecomeEvents()
    {
        QFETCH(int, type);
        QFETCH(QString, message);
        QFETCH(int, severity);
        QFETCH(QString, label);
        QFETCH(QString, line);
        g_passedOn.clear();
        const QtMessageHandler before = qInstallMessageHandler(previousHandler);
        {
            EventLog log(env.dir() + QStringLiteral("/state"), 10);
            log.take(QtMsgType(type), QMessageLogContext(nullptr, 0, nullptr, "brivolte.discovery"), message);
            const Event e = log.record().at(log.record().end() - 1);
            QCOMPARE(int(e.severity), severity);
            QCOMPARE(e.element.label(), label);
            QCOMPARE(eventLine(e).section(QLatin1Char(' '), 1), line);
            QFile f(log.filePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(QString::fromUtf8(f.readAll()).trimmed().endsWith(line));
            QVERIFY(g_passedOn.last().endsWith(line.section(QLatin1Char(' '), 3)));   // stderr reads the same
            QFile::remove(log.filePath());
        }
        qInstallMessageHandler(before);
    }

    // 100 000 events in a ring of that size, then more: the oldest go, the table follows
    // them out at its front, filtered by element and by severity.
    void ringAndTableStayBounded()
    {
        const QtMessageHandler before = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        {
            EventLog log(QString(), 100000);
            EventTable table(log.record());
            for (int i = 0; i < 100010; ++i)
                qCInfo(lcPing).noquote() << platform::tagged(i % 2 ? kSite : platform::ElementTag{}, QString::number(i));
            qCWarning(lcPing).noquote() << platform::tagged(kSite, "ping failed");
            table.catchUp();
            QCOMPARE(log.record().end() - log.record().first(), quint64(100000));
            QCOMPARE(table.rowCount(), 100000);
            QCOMPARE(table.event(0).text, QStringLiteral("11"));
            table.setElementFilter(kSite.label());
            QCOMPARE(table.rowCount(), 50001);
            table.setLowestSeverity(Severity::Warning);
            QCOMPARE(table.rowCount(), 1);
            QCOMPARE(table.lines({0}).section(QLatin1Char(' '), 1), QStringLiteral("WARNING brivolte.ping [SITE 2 02:77:00:00:00:02 10.77.0.12 lan0] ping failed\n"));
            QCOMPARE(table.elements(), QStringList{kSite.label()});
        }
        qInstallMessageHandler(before);
    }

    void fileRotatesBySize()
    {
        const QString path = env.dir() + QStringLiteral("/rot/events.log");
        RotatingFile file(path, 100, 3);
        for (int i = 0; i < 20; ++i)
            QVERIFY(file.write(QStringLiteral("line %1 ").arg(i, 2) + QString(20, QLatin1Char('x'))));
        QStringList names = QDir(env.dir() + QStringLiteral("/rot")).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names, (QStringList{"events.log", "events.log.1", "events.log.2"}));
        for (const QString &n : names)
            QVERIFY(QFileInfo(env.dir() + "/rot/" + n).size() <= 100);
        QFile newest(path);
        QVERIFY(newest.open(QIODevice::ReadOnly));
        QVERIFY(newest.readAll().trimmed().endsWith("line 19 xxxxxxxxxxxxxxxxxxxx"));
    }

    // A folder that cannot be made: counted, told once, the events kept all the same.
    void unwritableFileIsToldOnce()
    {
        QFile blocker(env.dir() + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        EventLog log(blocker.fileName() + QStringLiteral("/state"), 100);
        for (int i = 0; i < 5; ++i)
            qCWarning(lcStore, "event %d", i);
        QCOMPARE(log.fileFailures(), 5);
        QCOMPARE(log.record().end(), quint64(6));
        int told = 0;
        for (quint64 s = 0; s < log.record().end(); ++s)
            told += log.record().at(s).text.contains(QStringLiteral("cannot be written")) ? 1 : 0;
        QCOMPARE(told, 1);
        QCOMPARE(log.record().at(5).text, QStringLiteral("event 4"));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
