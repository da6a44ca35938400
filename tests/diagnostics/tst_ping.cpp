// The ping button on loopback: the round trip on green, addresses that are refused at
// once, text that is not an address, and a result that arrives for an element no longer
// selected.
#include <QtTest>

#include "PingProbe.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {
const QString kMacA = QStringLiteral("00:11:22:33:44:AA");
const QString kMacB = QStringLiteral("00:11:22:33:44:BB");
} // namespace

class TestPing : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_boxes = std::make_unique<ScriptedMessageBox>();
        m_station = std::make_unique<frmMain>(false, false);
        m_station->show();
    }
    void cleanup()
    {
        m_station.reset();
        m_boxes.reset();
        m_env.reset();
    }

    void loopbackAnswersTwiceInARow()
    {
        frmMain &s = *m_station;
        selectElement(s, kMacA, QStringLiteral("127.0.0.1"));
        for (int round = 0; round < 2; ++round) {
            QTest::mouseClick(s.cmdPing, Qt::LeftButton);
            QCOMPARE(pingButton(s), (PingButton{QStringLiteral("Trying..."), kTryingColour}));
            QTRY_VERIFY_WITH_TIMEOUT(isRoundTrip(s.cmdPing->text()), 5000);
            QCOMPARE(buttonBackground(s.cmdPing), kSuccessColour);
            QVERIFY(!s.icmp.isBusy());
        }
        QCOMPARE(s.cmdPing->toolTip(), QStringLiteral("Test ping from NMS"));
        QCOMPARE(m_boxes->count(), 0);
    }

    // Outcomes known before anything is sent: no request is left pending.
    void refusedWithoutSending_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("any address") << "0.0.0.0" << "Failed!" << kFailureColour;
        QTest::newRow("broadcast") << "255.255.255.255" << "Failed!" << kFailureColour;
        QTest::newRow("any address, padded") << "00.0.0.000" << "Failed!" << kFailureColour;
        QTest::newRow("not an address") << "studio" << "Trying..." << kTryingColour;
        QTest::newRow("three parts") << "127.0.1" << "Trying..." << kTryingColour;
        QTest::newRow("part too large") << "127.0.0.256" << "Trying..." << kTryingColour;
        QTest::newRow("empty") << "" << "Trying..." << kTryingColour;
    }
    void refusedWithoutSending()
    {
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(QColor, colour);
        frmMain &s = *m_station;
        selectElement(s, kMacA, text);
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QCOMPARE(pingButton(s), (PingButton{caption, colour}));
        QVERIFY(!s.icmp.isBusy());
        QTest::qWait(50);
        QCOMPARE(pingButton(s), (PingButton{caption, colour}));
        QCOMPARE(m_boxes->count(), 0);
    }

    // The answer is handled by the event loop; if the operator selected another element
    // (or the panel was cleared) meanwhile, the button belongs to that one now.
    void resultForAnotherElementIsDropped_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("selection changed, request cancelled") << true;
        QTest::newRow("selection changed only") << false;
    }
    void resultForAnotherElementIsDropped()
    {
        QFETCH(bool, cancel);
        frmMain &s = *m_station;
        selectElement(s, kMacA, QStringLiteral("127.0.0.1"));
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QVERIFY(s.icmp.isBusy());
        selectElement(s, kMacB, QStringLiteral("127.0.0.1"));
        if (cancel) {
            s.cancelPendingPing();
            QVERIFY(!s.icmp.isBusy());
        }
        QTest::qWait(300);
        QTRY_VERIFY(!s.icmp.isBusy());
        QCOMPARE(s.cmdPing->text(), QStringLiteral("<Click to test>"));
        // The new selection pings normally.
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(isRoundTrip(s.cmdPing->text()), 5000);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmMain> m_station;
};

QTEST_MAIN(TestPing)
#include "tst_ping.moc"
