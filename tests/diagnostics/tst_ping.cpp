// The ping button on loopback: the face of each outcome as drawn, and a result that
// arrives for an element no longer selected. Which texts are refused at once is the
// core's (tst_exchanges).
#include <QStyle>
#include <QStyleFactory>
#include <QTreeWidget>
#include <QtTest>

#include "PingProbe.h"
#include "support/IniText.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {
const QString kMacA = QStringLiteral("00:11:22:33:44:AA");
const QString kMacB = QStringLiteral("00:11:22:33:44:BB");
} // namespace

class TestPing : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_ownStyle = QApplication::style()->name(); }
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
        if (QApplication::style()->name() != m_ownStyle)
            QApplication::setStyle(m_ownStyle);
    }

    // The colour is the whole message of the button, so it is read from the button as
    // drawn: under Fusion, which turns a palette colour into a light gradient, under the
    // plain Windows style, and under the style the application starts with.
    // caption null: a round trip.
    void faceShowsOutcome_data()
    {
        QTest::addColumn<QString>("style");   // empty: the application's own
        QTest::addColumn<QString>("address"); QTest::addColumn<bool>("click"); QTest::addColumn<QString>("caption");
        QTest::addColumn<QColor>("colour");
        for (const char *style : {"Fusion", "Windows", ""}) {
            const char *under = *style ? style : "own style";
            QTest::addRow("%s, selected", under)
                << style << "127.0.0.1" << false << "<Click to test>" << kTryingColour;
            QTest::addRow("%s, not an address", under)
                << style << "studio" << true << "Trying..." << kTryingColour;
            QTest::addRow("%s, refused", under)
                << style << "0.0.0.0" << true << "Failed!" << kFailureColour;
            QTest::addRow("%s, round trip", under)
                << style << "127.0.0.1" << true << QString() << kSuccessColour;
        }
    }
    void faceShowsOutcome()
    {
        QFETCH(QString, style); QFETCH(QString, address); QFETCH(bool, click); QFETCH(QString, caption);
        m_station.reset();
        if (!style.isEmpty()) {
            QVERIFY(QStyleFactory::keys().contains(style, Qt::CaseInsensitive));
            QApplication::setStyle(style);
        }
        m_env->writeIni(iniSection(QStringLiteral("0011223344AA"),
                                   {{"name", "STUDIO"}, {"ip", address}, {"role", "1"}}));
        m_station = std::make_unique<frmMain>(false, false);
        frmMain &s = *m_station;
        s.show();
        s.Load_Config();
        QCOMPARE(s.TreeView1->topLevelItemCount(), 1);
        s.TreeView1_NodeClick(s.TreeView1->topLevelItem(0));
        QCOMPARE(s.lblElementMAC->text(), kMacA);
        if (click)
            QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        if (caption.isNull())
            QTRY_VERIFY_WITH_TIMEOUT(isRoundTrip(s.cmdPing->text()), 5000);
        else
            QCOMPARE(s.cmdPing->text(), caption);
        QTEST(faceColour(s.cmdPing), "colour");
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
        QVERIFY(s.ping().isBusy());
        s.txtElementIP->setText(QStringLiteral("0.0.0.0"));   // would fail at once if a click were taken now
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QCOMPARE(s.cmdPing->text(), QStringLiteral("Trying..."));
        selectElement(s, kMacB, QStringLiteral("127.0.0.1"));
        if (cancel) {
            s.cancelPendingPing();
            QVERIFY(!s.ping().isBusy());
        }
        QTest::qWait(300);
        QTRY_VERIFY(!s.ping().isBusy());
        QCOMPARE(s.cmdPing->text(), QStringLiteral("<Click to test>"));
        // The new selection pings normally.
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(isRoundTrip(s.cmdPing->text()), 5000);
    }

private:
    QString m_ownStyle;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmMain> m_station;
};

QTEST_MAIN(TestPing)
#include "tst_ping.moc"
