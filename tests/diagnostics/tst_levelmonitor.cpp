// The audio level monitor of the main window: started and stopped from the toolbar, fed
// by level answers on the main socket, paced by Slider1, and reporting a bad stored
// address instead of ending the program.
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

using platform::MsgIcon;

namespace {

const QString kMac = QStringLiteral("00:11:22:33:44:AA");

QString encoderIni(const QString &ip)
{
    QString text = QStringLiteral("[0011223344AA]\nNAME=STUDIO\nROLE=1\n");
    if (!ip.isNull())
        text += QStringLiteral("IP=%1\n").arg(ip);
    return text;
}

// A 1201-byte answer whose first sample is `first` (big-endian 24 bits) and whose other
// samples are small and positive.
QByteArray block(quint32 first)
{
    QByteArray b(1201, '\0');
    for (int i = 3; i + 2 < 1200; i += 3)
        b[i + 2] = 7;
    b[0] = char((first >> 16) & 0xFF);
    b[1] = char((first >> 8) & 0xFF);
    b[2] = char(first & 0xFF);
    return b;
}

// The encoder's level port on loopback (127.0.0.2:2977; the station's own ports are
// untouched): answers every "VOL" with a block of the given signal, as an element does.
class LevelAnswerer : public QObject {
public:
    explicit LevelAnswerer(const sim::LevelSignal &signal)
        : m_signal(signal)
    {
        m_ok = m_socket.bind(QHostAddress(QStringLiteral("127.0.0.2")), 2977);
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 port = 0;
                QByteArray d(int(m_socket.pendingDatagramSize()), '\0');
                m_socket.readDatagram(d.data(), d.size(), &from, &port);
                if (d == "VOL") {
                    ++requests;
                    lastFromPort = port;
                    m_socket.writeDatagram(sim::levelBlock(m_signal, 1201), from, port);
                }
            }
        });
    }
    bool isListening() const { return m_ok; }
    int requests = 0;
    quint16 lastFromPort = 0;

private:
    QUdpSocket m_socket;
    sim::LevelSignal m_signal;
    bool m_ok = false;
};

} // namespace

class TestLevelMonitor : public QObject {
    Q_OBJECT
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
        m_env->writeIni(encoderIni(QStringLiteral("127.0.0.2")));
        sim::LevelSignal sine;
        sine.kind = sim::LevelSignal::Kind::Sine;
        sine.value = 4194304;
        LevelAnswerer encoder(sine);
        QVERIFY(encoder.isListening());
        frmMain &s = station();

        s.toolbarButton(6)->trigger();
        QVERIFY(s.chkGetVolume->isChecked());
        QVERIFY(s.tmrVolume.isActive());
        QVERIFY(!s.toolbarButton(6)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(s.lblVolume->text(), QStringLiteral("-6dBFS"), 5000);
        QCOMPARE(s.VUMeter->widthTwips(), 1050);
        QCOMPARE(s.audioPeak, 4194304);
        // Requests leave from the main socket's port, where the answers are expected.
        QCOMPARE(encoder.lastFromPort, quint16(2976));
        QTRY_VERIFY_WITH_TIMEOUT(encoder.requests >= 3, 5000);

        s.toolbarButton(7)->trigger();
        QVERIFY(!s.chkGetVolume->isChecked());
        QVERIFY(!s.tmrVolume.isActive());
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(s.VUMeter->widthTwips(), 0);
        // An answer still on its way when monitoring stopped leaves the display empty.
        s.ShowAudioLevel(block(0x400000));
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(s.VUMeter->widthTwips(), 0);
        QCOMPARE(m_boxes->count(), 0);
    }

    void showsEachBlock_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("twips");
        QTest::newRow("half scale") << block(0x400000) << "-6dBFS" << 1050;
        QTest::newRow("smallest sample") << block(1).replace(QByteArray(1, 7), QByteArray(1, 0))
                                         << "-138.5dBFS" << 0;
        QByteArray negative(1201, char(0x80));
        QTest::newRow("only negative samples") << negative << "-oodBFS" << 0;
        QByteArray longer = block(0x7FFFFF) + QByteArray(600, '\0');
        QTest::newRow("longer answer, full scale") << longer << "0dBFS" << 2100;
    }
    void showsEachBlock()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, text);
        QFETCH(int, twips);
        m_env->writeIni(encoderIni(QStringLiteral("127.0.0.2")));
        frmMain &s = station();
        s.chkGetVolume->setChecked(true);
        s.ShowAudioLevel(datagram);
        QCOMPARE(s.lblVolume->text(), text);
        QCOMPARE(s.VUMeter->widthTwips(), twips);
    }

    // A block is read whole: no other event (a timer tick, another answer) can run in the
    // middle of it and leave the display to a half-read block.
    void blockIsReadWithoutRunningOtherEvents()
    {
        m_env->writeIni(encoderIni(QStringLiteral("127.0.0.2")));
        frmMain &s = station();
        s.chkGetVolume->setChecked(true);
        bool ranMeanwhile = false;
        QMetaObject::invokeMethod(&s, [&ranMeanwhile] { ranMeanwhile = true; }, Qt::QueuedConnection);
        QTimer::singleShot(0, &s, [&ranMeanwhile] { ranMeanwhile = true; });
        s.ShowAudioLevel(block(0x400000) + QByteArray(30000, '\0'));
        QVERIFY(!ranMeanwhile);
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-6dBFS"));
        QTRY_VERIFY(ranMeanwhile);
    }

    // Answers at 1 ms: each is computed, but the display follows at the screen's pace and
    // always ends on the latest answer.
    void burstOfAnswersEndsOnTheLatest()
    {
        m_env->writeIni(encoderIni(QStringLiteral("127.0.0.2")));
        frmMain &s = station();
        s.chkGetVolume->setChecked(true);
        s.ShowAudioLevel(block(0x400000));
        QCOMPARE(s.lblVolume->text(), QStringLiteral("-6dBFS"));
        for (quint32 peak = 0x100000; peak < 0x100000 + 500; ++peak)
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
        QFETCH(int, interval);
        m_env->writeIni(encoderIni(QStringLiteral("127.0.0.2")));
        frmMain &s = station();
        s.show();
        QCOMPARE(s.tmrVolume.interval(), 50);
        s.Slider1->setFocus();
        QTest::keyClick(s.Slider1, Qt::Key(key));
        QCOMPARE(s.tmrVolume.interval(), interval);
    }

    // A stored address that is missing or unusable used to end the program at the first
    // tick; now monitoring stops with one message that names the problem.
    void unusableStoredAddressStopsMonitoring_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QString() << QStringLiteral("No IP address is stored for this element.");
        QTest::newRow("not an address")
            << QStringLiteral("studio.local")
            << QStringLiteral("The stored IP address \"studio.local\" of this element is not valid.");
        QTest::newRow("broadcast")
            << QStringLiteral("255.255.255.255")
            << QStringLiteral("The stored IP address \"255.255.255.255\" of this element is not an "
                              "element's address.");
    }
    void unusableStoredAddressStopsMonitoring()
    {
        QFETCH(QString, ip);
        QFETCH(QString, problem);
        m_env->writeIni(encoderIni(ip));
        frmMain &s = station();
        s.Slider1->setValue(1);
        s.toolbarButton(6)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 1, 5000);
        QCOMPARE(m_boxes->texts().at(0), problem + QStringLiteral("\rAudio monitoring has been stopped."));
        QCOMPARE(m_boxes->shown().at(0).icon, MsgIcon::Critical);
        QVERIFY(!s.chkGetVolume->isChecked());
        QVERIFY(!s.tmrVolume.isActive());
        QVERIFY(s.toolbarButton(6)->isEnabled());
        QVERIFY(!s.toolbarButton(7)->isEnabled());
        QTest::qWait(50);
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_env->endProgramCalls(), 0);
        QVERIFY(s.udpClient.isBound());
    }

private:
    frmMain &station()
    {
        m_station = std::make_unique<frmMain>(false, false);
        // Bound as at start-up: ticks that come while a test waits send real requests.
        if (!m_station->bindMainSocket())
            qFatal("UDP 2976 is taken: another station or test holds it");
        // The selection as the panel leaves it for an encoder.
        m_station->lblElementMAC->setText(kMac);
        m_station->toolbarButton(6)->setEnabled(true);
        m_station->toolbarButton(7)->setEnabled(false);
        return *m_station;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmMain> m_station;
};

QTEST_MAIN(TestLevelMonitor)
#include "tst_levelmonitor.moc"
