// The audio level monitor of the main window: started and stopped from the toolbar, fed
// by level answers on the main socket, paced by Slider1, and reporting a bad stored
// address instead of ending the program. The level arithmetic is LevelBlock's.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QUdpSocket>
#include <QtTest>

#include "LevelSignal.h"
#include "app/frmMain.h"
#include "diagnostics/VuMeter.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {

QString encoderIni(const QString &ip)
{
    return QStringLiteral("[0011223344AA]\nNAME=STUDIO\nROLE=1\n") + (ip.isNull() ? QString() : "IP=" + ip + '\n');
}

// An answer whose every sample is `peak`.
QByteArray block(qint32 peak, int length = 1201)
{
    return sim::levelBlock({sim::LevelSignal::Kind::Constant, peak}, length);
}

// The encoder's level port on loopback (127.0.0.2:2977; the station's own ports are
// untouched): answers every "VOL" with a half-scale sine block, as an element does.
class LevelAnswerer : public QObject {
public:
    LevelAnswerer()
    {
        listening = m_socket.bind(QHostAddress(QStringLiteral("127.0.0.2")), 2977);
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 port = 0;
                QByteArray d(int(m_socket.pendingDatagramSize()), '\0');
                m_socket.readDatagram(d.data(), d.size(), &from, &port);
                if (d != "VOL")
                    continue;
                ++requests;
                lastFromPort = port;
                m_socket.writeDatagram(sim::levelBlock({sim::LevelSignal::Kind::Sine, 4194304}, 1201), from, port);
            }
        });
    }
    bool listening = false;
    int requests = 0;
    quint16 lastFromPort = 0;

private:
    QUdpSocket m_socket;
};

} // namespace

class TestLevelMonitor : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmMain> m_station;

    // The main window over an encoder stored with `ip`, selected as the panel leaves it.
    frmMain &station(const QString &ip = QStringLiteral("127.0.0.2"))
    {
        m_env->writeIni(encoderIni(ip));
        m_station = std::make_unique<frmMain>(false, false);
        // Bound as at start-up: ticks that come while a test waits send real requests.
        if (!m_station->bindMainSocket())
            qFatal("UDP 2976 is taken: another station or test holds it");
        m_station->lblElementMAC->setText(QStringLiteral("00:11:22:33:44:AA"));
        m_station->toolbarButton(6)->setEnabled(true);
        m_station->toolbarButton(7)->setEnabled(false);
        return *m_station;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_boxes = std::make_unique<ScriptedMessageBox>();
    }
    void cleanup()
    {
        m_station.reset();
        m_boxes.reset();
        m_env.reset();
    }

    // Start from toolbar button 6 against an answering encoder: the -6dBFS sine shows as
    // text and as half a bar; button 7 stops it and clears both.
    void monitorsAnAnsweringEncoder()
    {
        LevelAnswerer encoder;
        QVERIFY(encoder.listening);
        frmMain &s = station();
        s.toolbarButton(6)->trigger();
        QVERIFY(s.chkGetVolume->isChecked() && s.tmrVolume.isActive());
        QVERIFY(!s.toolbarButton(6)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(s.lblVolume->text(), QStringLiteral("-6dBFS"), 5000);
        QCOMPARE(s.VUMeter->widthTwips(), 1050);
        QCOMPARE(encoder.lastFromPort, quint16(2976));   // where the answers are expected
        QTRY_VERIFY_WITH_TIMEOUT(encoder.requests >= 3, 5000);

        s.toolbarButton(7)->trigger();
        QVERIFY(!s.chkGetVolume->isChecked() && !s.tmrVolume.isActive());
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(s.VUMeter->widthTwips(), 0);
        // An answer still on its way when monitoring stopped leaves the display empty.
        s.ShowAudioLevel(block(0x400000));
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(s.VUMeter->widthTwips(), 0);
        QCOMPARE(m_boxes->count(), 0);
    }

    // A block is read whole: no other event (a timer tick, another answer) can run in the
    // middle of it and leave the display to a half-read block.
    void blockIsReadWithoutRunningOtherEvents()
    {
        frmMain &s = station();
        s.chkGetVolume->setChecked(true);
        bool ranMeanwhile = false;
        QMetaObject::invokeMethod(&s, [&ranMeanwhile] { ranMeanwhile = true; }, Qt::QueuedConnection);
        QTimer::singleShot(0, &s, [&ranMeanwhile] { ranMeanwhile = true; });
        s.ShowAudioLevel(block(0x400000, 31201));
        QVERIFY(!ranMeanwhile);
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-6dBFS"));
        QTRY_VERIFY(ranMeanwhile);
    }

    // Answers at 1 ms: each is computed, but the display follows at the screen's pace and
    // always ends on the latest answer.
    void burstOfAnswersEndsOnTheLatest()
    {
        frmMain &s = station();
        s.chkGetVolume->setChecked(true);
        s.ShowAudioLevel(block(0x400000));
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-6dBFS"));
        for (qint32 peak = 0x100000; peak < 0x100000 + 500; ++peak)
            s.ShowAudioLevel(block(peak));
        s.ShowAudioLevel(block(0x200000));
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-6dBFS"));   // not redrawn per answer
        QCOMPARE(s.audioPeak, 0x200000);
        QTRY_COMPARE(s.lblVolume->text(), QStringLiteral("-12dBFS"));
        QCOMPARE(s.VUMeter->widthTwips(), 525);

        // Switched off during a burst: the off state wins over a pending display.
        s.ShowAudioLevel(block(0x400000));
        s.ShowAudioLevel(block(0x100000));
        s.chkGetVolume->setChecked(false);
        QTest::qWait(100);
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(s.VUMeter->widthTwips(), 0);
    }

    void sliderSetsRequestInterval_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("interval");
        QTest::newRow("End: slowest") << int(Qt::Key_End) << 500;
        QTest::newRow("Home: fastest") << int(Qt::Key_Home) << 1;
        QTest::newRow("one step") << int(Qt::Key_Right) << 51;
        QTest::newRow("one page back") << int(Qt::Key_PageDown) << 40;
    }
    void sliderSetsRequestInterval()
    {
        QFETCH(int, key);
        frmMain &s = station();
        s.show();
        QCOMPARE(s.tmrVolume.interval(), 50);
        s.Slider1->setFocus();
        QTest::keyClick(s.Slider1, Qt::Key(key));
        QTEST(s.tmrVolume.interval(), "interval");
    }

    // A stored address that is missing or unusable used to end the program at the first
    // tick; now monitoring stops with one message that names the problem.
    void unusableStoredAddressStopsMonitoring_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QString() << "No IP address is stored for this element.";
        QTest::newRow("not an address")
            << "studio.local" << "The stored IP address \"studio.local\" of this element is not valid.";
        QTest::newRow("broadcast") << "255.255.255.255"
                                   << "The stored IP address \"255.255.255.255\" of this element is not an "
                                      "element's address.";
    }
    void unusableStoredAddressStopsMonitoring()
    {
        QFETCH(QString, ip);
        QFETCH(QString, problem);
        frmMain &s = station(ip);
        s.Slider1->setValue(1);
        s.toolbarButton(6)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 1, 5000);
        QCOMPARE(m_boxes->texts().at(0), problem + "\rAudio monitoring has been stopped.");
        QCOMPARE(m_boxes->shown().at(0).icon, platform::MsgIcon::Critical);
        QVERIFY(!s.chkGetVolume->isChecked() && !s.tmrVolume.isActive());
        QVERIFY(s.toolbarButton(6)->isEnabled() && !s.toolbarButton(7)->isEnabled());
        QTest::qWait(50);
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_env->endProgramCalls(), 0);
        QVERIFY(s.udpClient.isBound());
    }
};

QTEST_MAIN(TestLevelMonitor)
#include "tst_levelmonitor.moc"
