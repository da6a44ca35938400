// One box per kind of trouble at a time: what is shown when more of a kind, or of another,
// comes while a box is open, and while its summary is open.
#include <QtTest>
#include <functional>

#include "platform/BoxGate.h"

class TestBoxGate : public QObject {
    Q_OBJECT
private slots:
    void oneBoxPerKind_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QStringList>("whileOpen");      // calls while the first box is open
        QTest::addColumn<QStringList>("whileSummary");   // calls while its summary is open
        QTest::addColumn<QStringList>("expected");       // then the first call again: a box of its own
        QTest::newRow("alone") << "check|T1" << QStringList() << QStringList() << QStringList{"T1", "T1"};
        QTest::newRow("same kind: one summary")
            << "check|T1" << QStringList{"check|T2", "check|T1"} << QStringList()
            << QStringList{"T1", "T1\r… and 2 more like it.", "T1"};
        QTest::newRow("another kind: its own box at once")
            << "check|T1" << QStringList{"other|U"} << QStringList() << QStringList{"T1", "U", "T1"};
        QTest::newRow("no kind: the text is the kind")
            << "|T1" << QStringList{"|U", "|T1"} << QStringList() << QStringList{"T1", "U", "T1\r… and 1 more like it.", "T1"};
        QTest::newRow("during the summary: no second one")
            << "check|T1" << QStringList{"check|T2"} << QStringList{"check|T2", "check|T2"}
            << QStringList{"T1", "T1\r… and 1 more like it.", "T1"};
    }
    void oneBoxPerKind()
    {
        QFETCH(QString, first); QFETCH(QStringList, whileOpen); QFETCH(QStringList, whileSummary);
        platform::BoxGate gate;
        QStringList shown;
        // "kind|text", as a row writes a call; a box runs the calls that come while it is open.
        std::function<void(const QString &)> show = [&](const QString &call) {
            gate.showOnce(call.section(QLatin1Char('|'), 0, 0), call.section(QLatin1Char('|'), 1), [&](const QString &text) {
                shown << text;
                QStringList &calls = text.contains(QStringLiteral("more like it")) ? whileSummary : whileOpen;
                for (const QString &next : std::exchange(calls, {}))
                    show(next);
            });
        };
        show(first);
        show(first);
        QTEST(shown, "expected");
        QVERIFY(!gate.countIfOpen(QStringLiteral("check")));
    }
};

QTEST_APPLESS_MAIN(TestBoxGate)
#include "tst_boxgate.moc"
