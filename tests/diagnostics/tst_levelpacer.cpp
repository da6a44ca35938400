// The pace of level requests when the timer's ticks come late, early or after a hold-up.
#include <QtTest>

#include "diagnostics/LevelPacer.h"

Q_DECLARE_METATYPE(QList<qint64>)

class TestLevelPacer : public QObject {
    Q_OBJECT
private slots:
    void requestsFollowTheClock_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QList<qint64>>("ticks");   // milliseconds after the start
        QTest::addColumn<QList<int>>("due");
        QTest::newRow("on time") << 50 << QList<qint64>{50, 100, 150} << QList<int>{1, 1, 1};
        // 1 ms asked, each wake-up 0.5 ms late and re-based: every other tick catches up.
        QTest::newRow("late at 1 ms") << 1 << QList<qint64>{1, 2, 3, 4, 6, 7, 9, 10, 12}
                                      << QList<int>{1, 1, 1, 1, 2, 1, 2, 1, 2};
        QTest::newRow("early tick still sends one") << 10 << QList<qint64>{9, 20, 30}
                                                    << QList<int>{1, 1, 1};
        // Held up for 100 ms (a modal window): a few at once, the rest forgiven.
        QTest::newRow("long hold-up") << 1 << QList<qint64>{1, 101, 102, 103}
                                      << QList<int>{1, LevelPacer::kMostPerTick, 1, 1};
        QTest::newRow("slowest") << 500 << QList<qint64>{500, 1000, 1600, 2000}
                                 << QList<int>{1, 1, 1, 1};
    }
    void requestsFollowTheClock()
    {
        QFETCH(int, interval);
        QFETCH(QList<qint64>, ticks);
        QFETCH(QList<int>, due);
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

QTEST_APPLESS_MAIN(TestLevelPacer)
#include "tst_levelpacer.moc"
