// The level answer and how its peak is shown, the pace of level requests when the timer's ticks
// come late, early or after a hold-up.
#include <QtTest>

#include "diagnostics/LevelBlock.h"
#include "diagnostics/LevelPacer.h"

namespace {

// A block of `length` bytes of silence with one sample written at byte `at`.
QByteArray blockWith(int length, int at, const char (&sample)[4])
{
    return QByteArray(length, '\0').replace(at, 3, QByteArray(sample, 3));
}

} // namespace

Q_DECLARE_METATYPE(QList<qint64>)

class TestLevel : public QObject {
    Q_OBJECT
private slots:
    void peakOfBlock_data()
    {
        QTest::addColumn<QByteArray>("block"); QTest::addColumn<qint32>("peak");
        QTest::newRow("first sample 40 00 00") << blockWith(1201, 0, "\x40\x00\x00") << 4194304;
        QTest::newRow("last read sample, bytes 1197-1199") << blockWith(1201, 1197, "\x00\x01\x02") << 258;
        // The sample ending on the block's last byte is not read; one byte more and it is.
        QTest::newRow("sample on the last byte") << blockWith(1203, 1200, "\x12\x34\x56") << 0;
        QTest::newRow("sample before the last byte") << blockWith(1204, 1200, "\x12\x34\x56") << 0x123456;
        // Negative samples do not count as large.
        QTest::newRow("positive among negatives")
            << QByteArray(1201, '\x80').replace(600, 3, QByteArray("\x00\x00\x05", 3)) << 5;
    }

    void peakOfBlock()
    {
        QFETCH(QByteArray, block); QFETCH(qint32, peak);
        QCOMPARE(levelPeak(block), peak);
    }

    void display_data()
    {
        QTest::addColumn<qint32>("peak"); QTest::addColumn<int>("width"); QTest::addColumn<QString>("text");
        QTest::newRow("half scale") << 4194304 << 1050 << "-6dBFS";
        QTest::newRow("peak 1") << 1 << 0 << "-138.5dBFS";
        QTest::newRow("largest sample") << 8388607 << 2100 << "0dBFS";
        QTest::newRow("width 262.5 to even") << 1048576 << 262 << "-18.1dBFS";
        QTest::newRow("width 787.5 to even") << 3145728 << 788 << "-8.5dBFS";
        QTest::newRow("no positive sample") << 0 << 0 << "-oodBFS";
    }

    void display()
    {
        QFETCH(qint32, peak); QFETCH(int, width); QFETCH(QString, text);
        const LevelDisplay d = levelDisplay(peak);
        QCOMPARE(d.widthTwips, width);
        QCOMPARE(d.text, text);
    }

    void requestsFollowTheClock_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QList<qint64>>("ticks");   // milliseconds after the start
        QTest::addColumn<QList<int>>("due");
        QTest::newRow("on time") << 50 << QList<qint64>{50, 100, 150} << QList<int>{1, 1, 1};
        // 1 ms asked, each wake-up 0.5 ms late and re-based: every other tick catches up.
        QTest::newRow("late at 1 ms") << 1 << QList<qint64>{1, 2, 3, 4, 6, 7, 9, 10, 12}
                                      << QList<int>{1, 1, 1, 1, 2, 1, 2, 1, 2};
        QTest::newRow("early tick still sends one") << 10 << QList<qint64>{9, 20, 30} << QList<int>{1, 1, 1};
        // Held up for 100 ms (a modal window): a few at once, the rest forgiven.
        QTest::newRow("long hold-up") << 1 << QList<qint64>{1, 101, 102, 103}
                                      << QList<int>{1, LevelPacer::kMostPerTick, 1, 1};
    }
    void requestsFollowTheClock()
    {
        QFETCH(int, interval); QFETCH(QList<qint64>, ticks); QFETCH(QList<int>, due);
        LevelPacer pacer;
        pacer.restart(interval, 1000);
        QList<int> got;
        for (qint64 t : ticks)
            got << pacer.requestsDue(1000 + t);
        QCOMPARE(got, due);
    }

    // A new interval counts from the moment it is chosen, not from the start.
    void intervalChangeStartsAfresh()
    {
        LevelPacer pacer;
        pacer.restart(1, 0);
        QCOMPARE(pacer.requestsDue(1), 1);
        pacer.restart(200, 1);
        QCOMPARE(pacer.requestsDue(201), 1);
        QCOMPARE(pacer.requestsDue(401), 1);
        pacer.restart(0, 500);   // never below 1 ms
        QCOMPARE(pacer.requestsDue(501), 1);
    }
};

QTEST_APPLESS_MAIN(TestLevel)
#include "tst_level.moc"
