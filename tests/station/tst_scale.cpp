// The database and the station at the size of a large site: a batch of records lands in
// the file byte for byte as the same records stored one by one; a young database is not
// read again for every key while a change by another program is still seen; a burst of
// answers of which some have no MAC or fail a check stores all the others, in few
// writes, and reports the rest once.
#include <QFile>
#include <arpa/inet.h>

#include "StationCore.h"

namespace {

IniRecord recordFor(int i, const QString &name)
{
    return {QStringLiteral("0011AA%1").arg(i, 6, 16, QLatin1Char('0')).toUpper(),
            {{"name", name}, {"ip", QStringLiteral("10.1.0.%1").arg(i)}, {"role", QString::number(i % 2 + 1)}}};
}

// Bytes this process has read from files so far (rchar).
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(QList<IniRecord>)

class TestScale : public QObject {
    Q_OBJECT
private slots:
    void init() { guardHostNamespace(); }

    void batchWritesWhatOneByOneWrites_data()
    {
        QTest::addColumn<QString>("before"); QTest::addColumn<QList<IniRecord>>("records");
        QList<IniRecord> many;
        for (int i = 0; i < 50; ++i)
            many << recordFor(i, QStringLiteral("E%1").arg(i));
        QTest::newRow("new file") << QString() << many;
        QTest::newRow("records already there keep their place and lines")
            << QStringLiteral("; kept\n[0011AA000001]\nIP=9.9.9.9\nnot a key\n\n[other]\nX=1\n") << many;
        QTest::newRow("an element answering twice: the second wins")
            << QString() << QList<IniRecord>{recordFor(1, "FIRST"), recordFor(2, "B"), recordFor(1, "AGAIN")};
        QTest::newRow("a name that cannot be stored fails alone")
            << QString() << QList<IniRecord>{recordFor(1, "A"), {"BAD]", {{"name", "X"}}}, recordFor(3, "C")};
    }
    void batchWritesWhatOneByOneWrites()
    {
        QFETCH(QString, before); QFETCH(QList<IniRecord>, records);
        TestEnvironment env;
        env.writeIni(before);
        QList<bool> expected;
        for (const IniRecord &r : records)
            expected << WriteManyToINI(r.first, r.second, env.iniPath());
        const QString oneByOne = env.readIni();
        env.writeIni(before);
        QList<bool> stored;
        QCOMPARE(WriteSectionsToINI(records, env.iniPath(), &stored), !expected.contains(false));
        QCOMPARE(stored, expected);
        QCOMPARE(env.readIni(), oneByOne);
    }

    // A file written a moment ago by another program (a station that just ended).
    void youngFileIsReadOnceAndForeignChangesSeen()
    {
        TestEnvironment env;
        QString text;
        for (int i = 0; i < 2000; ++i)
            text += iniSection(recordFor(i, "X").first, {{"name", QStringLiteral("E%1").arg(i, 4, 10, QLatin1Char('0'))}});
        env.writeIni(text);
        const qint64 size = QFileInfo(env.iniPath()).size(), start = bytesRead();
        QStringList sections;
        LoadIniSectionsLB(sections, env.iniPath());
        for (const QString &s : std::as_const(sections))
            ReadFromINI(s, "name", env.iniPath());
        QVERIFY2(bytesRead() - start < 5 * size, "a young file was read again for every key");
        // The same size, written in place within the same tick: seen, if not at once.
        QFile file(env.iniPath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(env.readIni().indexOf("E0000")) && file.write("Z") == 1);
        file.close();
        QTRY_COMPARE_WITH_TIMEOUT(ReadFromINI(sections.first(), "name", env.iniPath()), QStringLiteral("Z0000"), 3000);
        // The store's own write is known without reading it back.
        QVERIFY(WriteToINI(sections.last(), "name", "OWN", env.iniPath()));
        const qint64 afterOwn = bytesRead();
        QCOMPARE(ReadFromINI(sections.last(), "name", env.iniPath()), QStringLiteral("OWN"));
        QVERIFY(bytesRead() - afterOwn < size);
    }

    // 300 answers at once, every seventh from an element whose MAC cannot be found.
    void burstStoresEveryResolvableAnswer()
    {
        Core c;
        station::MacBatch::setTickIntervalForTests(2);
        const auto restore = qScopeGuard([] { station::MacBatch::setTickIntervalForTests(0); });
        // The MAC 02:00 and the address's four bytes; none for every seventh address.
        platform::setHardwareAddressLookup([](quint32 address, QByteArray *out) {
            if (ntohl(address) % 7 == 0)
                return false;
            *out = QByteArray::fromHex("0200") + QByteArray(reinterpret_cast<const char *>(&address), 4);
            return true;
        });
        const auto unhook = qScopeGuard([] { platform::setHardwareAddressLookup({}); });
        c.env.writeIni(QString());
        c.s.setDiscovery(station::Station::Answers::Store);
        constexpr int n = 300;
        int missing = 0;
        for (int i = 1; i <= n; ++i) {
            ElementFeedback f = encoderReport();
            f.UDP_Response_IP = QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256);
            f.UDP_Response_Name = QStringLiteral("E%1").arg(i);
            missing += ((10u << 24) + i) % 7 == 0;
            c.s.takeDatagram(encodeFeedback(f));
            if (i % 100 == 0)   // and a corrupted one (audio input out of range)
                c.s.takeDatagram(encodeFeedback(f).replace(16, 1, QByteArray(1, '\2')));
        }
        QVERIFY(c.shown.isEmpty());   // nothing waits behind a box
        QTRY_COMPARE(c.s.resolvingCount(), 0);
        c.s.setDiscovery(station::Station::Answers::Confirm);
        const QString noMac = corrupted(QStringLiteral("An error occured while retrieving 'Element MAC':"));
        const QString input = corrupted(QStringLiteral("An error occured while retrieving 'Audio Input':"));
        QCOMPARE(c.texts(), (QStringList{input, platform::BoxGate::summary(input, n / 100 - 1), noMac,
                                         platform::BoxGate::summary(noMac, missing - 1)}));
        QStringList sections;
        LoadIniSectionsLB(sections, c.env.iniPath());
        QCOMPARE(sections.size(), n - missing);
        for (const QString &s : std::as_const(sections)) {
            const quint32 i = s.mid(4).toUInt(nullptr, 16) - (10u << 24);
            QCOMPARE(ReadFromINI(s, "name", c.env.iniPath()), QStringLiteral("E%1").arg(i));
            QCOMPARE(ReadFromINI(s, "ip", c.env.iniPath()), QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256));
        }
        QVERIFY2(c.s.storeWrites() < n / 10, qPrintable(QString::number(c.s.storeWrites())));
    }
};

QTEST_GUILESS_MAIN(TestScale)
#include "tst_scale.moc"
