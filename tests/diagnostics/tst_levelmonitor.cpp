// The main window's audio level monitor: toolbar start/stop, answers on the main socket,
// Slider1, what a request that cannot be sent leaves in the window. The pacing and the
// display timing are the core's (tst_exchanges), the level arithmetic is LevelBlock's.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QNetworkDatagram>
#include <QSlider>
#include <QUdpSocket>
#include <QtTest>

#include "LevelSignal.h"
#include "windows/VuMeter.h"
#include "windows/frmMain.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {

// An answer whose every sample is `peak`.
QByteArray block(qint32 peak, int length = 1201)
{
    return sim::levelBlock({sim::LevelSignal::Kind::Constant, peak}, length);
}

} // namespace

class TestLevelMonitor : public QObject {
    Q_OBJECT
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
    void init() { m_env = std::make_unique<TestEnvironment>(); m_boxes = std::make_unique<ScriptedMessageBox>(); }
    void cleanup() { m_station.reset(); m_boxes.reset(); m_env.reset(); }

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
        s.toolbarButton(6)->trigger();
        QVERIFY(s.chkGetVolume->isChecked() && s.station().level().isRunning() && !s.toolbarButton(6)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(s.lblVolume->text(), "-6dBFS", 5000);
        QCOMPARE(s.VUMeter->widthTwips(), 1050);
        QCOMPARE(fromPort, quint16(2976));   // where the answers are expected
        QTRY_VERIFY_WITH_TIMEOUT(requests >= 3, 5000);
        s.toolbarButton(7)->trigger();
        QVERIFY(!s.chkGetVolume->isChecked() && !s.station().level().isRunning());
        // An answer still on its way when monitoring stopped leaves the display empty.
        s.ShowAudioLevel(block(0x400000));
        QCOMPARE(s.lblVolume->text() + ' ' + QString::number(s.VUMeter->widthTwips()), "-oodBFS 0");
        QCOMPARE(m_boxes->count(), 0);
    }

    void sliderSetsRequestInterval_data()
    {
        QTest::addColumn<int>("key"); QTest::addColumn<int>("interval");
        QTest::newRow("End: slowest") << int(Qt::Key_End) << 500;
        QTest::newRow("Home: fastest") << int(Qt::Key_Home) << 1;
        QTest::newRow("one page back") << int(Qt::Key_PageDown) << 40;
    }
    void sliderSetsRequestInterval()
    {
        QFETCH(int, key);
        frmMain &s = station();
        s.show();
        QCOMPARE(s.station().level().interval(), 50);
        s.Slider1->setFocus();
        QTest::keyClick(s.Slider1, Qt::Key(key));
        QTEST(s.station().level().interval(), "interval");
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

QTEST_MAIN(TestLevelMonitor)
#include "tst_levelmonitor.moc"
