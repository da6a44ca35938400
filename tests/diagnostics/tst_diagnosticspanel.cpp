// The diagnostics panel: the ping button's face for each outcome as drawn, a result for an
// element no longer selected, and the level monitor from the toolbar against an answering
// encoder on loopback. The refusals, pacing and display timing are tst_station's.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include "LevelSignal.h"
#include "support/IniText.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/VuMeter.h"
#include "windows/frmMain.h"

namespace {

// The colour the operator sees: the commonest colour of the button as drawn, inside its
// frame. The caption covers far less of the face than the face itself.
QColor faceColour(QPushButton *button)
{
    const QImage image = button->grab().toImage();
    constexpr int kFrame = 3;
    QHash<QRgb, int> counts;
    for (int y = kFrame; y < image.height() - kFrame; ++y)
        for (int x = kFrame; x < image.width() - kFrame; ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    const auto most = std::max_element(counts.cbegin(), counts.cend());
    return most == counts.cend() ? QColor() : QColor(most.key());
}

const QColor kTryingColour(255, 255, 192), kSuccessColour(0, 255, 0), kFailureColour(255, 128, 128);

// "12 ms": the round trip in whole milliseconds.
bool isRoundTrip(const QString &caption) { return QRegularExpression("^[0-9]+ ms$").match(caption).hasMatch(); }

void selectElement(frmMain &s, const QString &mac)
{
    s.lblElementMAC->setText(mac);
    s.txtElementIP->setText("127.0.0.1");
    s.cmdPing->setText("<Click to test>");
}

} // namespace

class TestDiagnosticsPanel : public QObject {
    Q_OBJECT
    QString m_ownStyle;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmMain> m_station;

    // The main window over an encoder stored with `ip` (null: no IP key), selected, main socket bound.
    frmMain &station(const QString &ip = "127.0.0.2")
    {
        m_env->writeIni("[0011223344AA]\nNAME=STUDIO\nROLE=1\n" + (ip.isNull() ? QString() : "IP=" + ip + '\n'));
        m_station = std::make_unique<frmMain>(false, false);
        if (!m_station->bindMainSocket().ok())
            qFatal("UDP 2976 is taken: another station or test holds it");
        m_station->lblElementMAC->setText("00:11:22:33:44:AA");
        m_station->toolbarButton(6)->setEnabled(true);
        m_station->toolbarButton(7)->setEnabled(false);
        return *m_station;
    }

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

    // The colour is the whole message of the button, so it is read as drawn: under Fusion
    // (which turns a palette colour into a light gradient), Windows, and the starting style.
    // The captions of the refusals are tst_station::pingRefusedWithoutSending's.
    void faceShowsOutcome_data()
    {
        QTest::addColumn<QString>("style");   // empty: the application's own
        QTest::addColumn<QString>("address"); QTest::addColumn<bool>("click");
        QTest::addColumn<QString>("caption"); QTest::addColumn<QColor>("colour");   // caption null: a round trip
        for (const char *style : {"Fusion", "Windows", ""}) {
            const char *under = *style ? style : "own style";
            QTest::addRow("%s, selected", under) << style << "127.0.0.1" << false << "<Click to test>" << kTryingColour;
            QTest::addRow("%s, refused", under) << style << "0.0.0.0" << true << "Failed!" << kFailureColour;
            QTest::addRow("%s, round trip", under) << style << "127.0.0.1" << true << QString() << kSuccessColour;
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
        m_env->writeIni(iniSection("0011223344AA", {{"name", "STUDIO"}, {"ip", address}, {"role", "1"}}));
        m_station = std::make_unique<frmMain>(false, false);
        frmMain &s = *m_station;
        s.show();
        s.Load_Config();
        s.TreeView1_NodeClick(s.TreeView1->topLevelItem(0));
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
        selectElement(s, "00:11:22:33:44:AA");
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QVERIFY(s.ping().isBusy());
        s.txtElementIP->setText(QStringLiteral("0.0.0.0"));   // would fail at once if a click were taken now
        QTest::mouseClick(s.cmdPing, Qt::LeftButton);
        QCOMPARE(s.cmdPing->text(), QStringLiteral("Trying..."));
        selectElement(s, "00:11:22:33:44:BB");
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

    // Start from toolbar button 6 against an answering encoder: the -6dBFS sine shows as
    // text and as half a bar; button 7 stops it and clears both.
    void monitorsAnAnsweringEncoder()
    {
        // The encoder's level port on loopback answers every "VOL" with a half-scale sine.
        QUdpSocket encoder;
        QVERIFY(encoder.bind(QHostAddress("127.0.0.2"), 2977));
        int requests = 0;
        quint16 fromPort = 0;
        connect(&encoder, &QUdpSocket::readyRead, this, [&] {
            for (int i = 0; i < 100 && encoder.hasPendingDatagrams(); ++i) {
                const QNetworkDatagram d = encoder.receiveDatagram();
                if (d.data() != "VOL")
                    continue;
                ++requests, fromPort = quint16(d.senderPort());
                encoder.writeDatagram(sim::levelBlock({sim::LevelSignal::Kind::Sine, 4194304}, 1201),
                                      d.senderAddress(), fromPort);
            }
        });
        frmMain &s = station();
        s.show();
        // Slider1 sets the interval between requests, from 500 ms at its end to 1 ms at its start.
        QCOMPARE(s.station().level().interval(), 50);
        s.Slider1->setFocus();
        QTest::keyClick(s.Slider1, Qt::Key_End);
        QCOMPARE(s.station().level().interval(), 500);
        QTest::keyClick(s.Slider1, Qt::Key_Home);
        QCOMPARE(s.station().level().interval(), 1);
        s.toolbarButton(6)->trigger();
        QVERIFY(s.chkGetVolume->isChecked() && s.station().level().isRunning() && !s.toolbarButton(6)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(s.lblVolume->text(), "-6dBFS", 5000);
        QCOMPARE(s.VUMeter->widthTwips(), 1050);
        QCOMPARE(fromPort, quint16(2976));   // where the answers are expected
        QTRY_VERIFY_WITH_TIMEOUT(requests >= 3, 5000);
        s.toolbarButton(7)->trigger();
        QVERIFY(!s.chkGetVolume->isChecked() && !s.station().level().isRunning());
        // An answer still on its way when monitoring stopped leaves the display empty.
        s.ShowAudioLevel(sim::levelBlock({sim::LevelSignal::Kind::Constant, 0x400000}, 1201));
        QCOMPARE(s.lblVolume->text() + ' ' + QString::number(s.VUMeter->widthTwips()), "-oodBFS 0");
        QCOMPARE(m_boxes->count(), 0);
    }

    // A request that cannot be sent (here: no address stored) stops monitoring with one
    // message, and the toolbar offers to start it again.
    void unusableStoredAddressStopsMonitoring()
    {
        frmMain &s = station(QString());
        s.Slider1->setValue(1);
        s.toolbarButton(6)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 1, 5000);
        QCOMPARE(m_boxes->texts().at(0), "No IP address is stored for this element.\rAudio monitoring has been stopped.");
        QVERIFY(!s.chkGetVolume->isChecked() && !s.station().level().isRunning());
        QVERIFY(s.toolbarButton(6)->isEnabled() && !s.toolbarButton(7)->isEnabled());
        QCOMPARE(s.lblVolume->text(), "-oodBFS");
        QTest::qWait(50);
        QCOMPARE(m_boxes->count(), 1);
    }
};

QTEST_MAIN(TestDiagnosticsPanel)
#include "tst_diagnosticspanel.moc"
