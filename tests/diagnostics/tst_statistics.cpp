// The statistics window as the operator uses it: opening asks the element for its
// counters, the record is shown with its error shares, Refresh and Clear send their
// commands, a bad record or a bad stored address is reported without ending the program.
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "LoopbackPeer.h"
#include "app/frmMain.h"
#include "diagnostics/frmStatistics.h"
#include "sfn/StatusRecord.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

const QString kSection = QStringLiteral("0011223344BB");

QString ini(const QString &name, const QString &ip, const QString &sfn)
{
    QString text = QStringLiteral("[0011223344BB]\nNAME=%1\nROLE=2\n").arg(name);
    if (!ip.isNull())
        text += QStringLiteral("IP=%1\n").arg(ip);
    if (!sfn.isNull())
        text += QStringLiteral("SFN=%1\n").arg(sfn);
    return text;
}

QList<QLabel *> valueLabels(const frmStatistics &w)
{
    return {w.lblMACTxOK,         w.lblMACTxErr,         w.lblMACRxOK, w.lblMACRxErr,
            w.lblAudioRxFramesOK, w.lblAudioRxFramesErr, w.lblPTPRxOK, w.lblPTPRxErr,
            w.lblPTPClkAdj,       w.lblPTPLatency};
}

QStringList texts(const QList<QLabel *> &labels)
{
    QStringList out;
    for (const QLabel *l : labels)
        out << l->text();
    return out;
}

// Counter values chosen so that each label has a text of its own.
QByteArray sampleRecord()
{
    StatusRecord r;
    r.txFramesOk = 16777217;   // beyond single-precision exactness
    r.rxFramesOk = 2;
    r.txFramesErr = 0;
    r.rxFramesErr = 1;
    r.ptpSyncOk = 100;
    r.ptpSyncErr = 3;
    r.ptpClockDiff = -42;
    r.ptpMeasuredDelay = 1000;
    r.audioFramesOk = 1995;
    r.audioFramesErr = 5;
    r.additionalDelay = 500;
    return encodeStatusRecord(r);
}

} // namespace

class TestStatisticsWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void opensWithCaptionsAndAsksForCounters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("frameTitle");
        QTest::newRow("plain name") << QStringLiteral("TX SITE") << QStringLiteral("TX SITE:");
        // An ampersand is part of the name, not an access key; markup stays text.
        QTest::newRow("ampersand") << QStringLiteral("R&D <b>1</b>") << QStringLiteral("R&&D <b>1</b>:");
        QTest::newRow("no name") << QString() << QStringLiteral(":");
    }
    void opensWithCaptionsAndAsksForCounters()
    {
        QFETCH(QString, name);
        QFETCH(QString, frameTitle);
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(name, QStringLiteral("127.0.0.1"), QStringLiteral("1")));
        frmStatistics w(kSection, QStringLiteral("DECODER"));
        Received sent(&w.udpClient2);
        QVERIFY(w.isOpen());
        QCOMPARE(w.windowTitle(), QStringLiteral("Statistics"));
        QCOMPARE(w.frmStats->title(), frameTitle);
        QCOMPARE(texts(valueLabels(w)), QStringList(10, QStringLiteral("-")));
        for (QLabel *l : valueLabels(w))
            QCOMPARE(l->textFormat(), Qt::PlainText);

        // The rows stand in the designed order, caption beside value.
        auto *grid = qobject_cast<QGridLayout *>(w.frmStats->layout());
        QVERIFY(grid);
        const QStringList captions = {"Good TX Frames:", "Bad TX Frames:", "Good RX Frames:",
                                      "Bad RX Frames:",  "OK Audio Frames:", "Bad Audio Frames:",
                                      "Good PTP Sync:",  "Bad PTP Sync:",    "Clock Difference:",
                                      "Measured delay:"};
        const QList<QLabel *> values = valueLabels(w);
        for (int row = 0; row < captions.size(); ++row) {
            auto *caption = qobject_cast<QLabel *>(grid->itemAtPosition(row, 0)->widget());
            QVERIFY(caption);
            QCOMPARE(caption->text(), captions.at(row));
            QCOMPARE(grid->itemAtPosition(row, 1)->widget(), values.at(row));
        }
        QCOMPARE(w.cmdRefreshStats->text(), QStringLiteral("&Refresh"));
        QCOMPARE(w.cmdRefreshStats->toolTip(), QStringLiteral("Fetch counters"));
        QCOMPARE(w.cmdResetStats->text(), QStringLiteral("&Clear"));
        QCOMPARE(w.cmdResetStats->toolTip(), QStringLiteral("Reset counters to zero"));

        QVERIFY(sent.waitFor(1));
        QCOMPARE(sent.at(0), QByteArray("GetStats"));
        QCOMPARE(boxes.count(), 0);
    }

    // Each row: the element's "sfn", the element type, the datagram, and the ten label
    // texts after it (rows order); "*" means "as before the datagram".
    void showsRecord_data()
    {
        QTest::addColumn<QString>("sfn");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("expected");
        const QByteArray full = sampleRecord();
        const QStringList macAndAudio = {"16777217", "0 (0%)", "2", "1 (33.33%)", "1995", "5 (0.25%)"};
        QTest::newRow("decoder with SFN: everything")
            << "1" << "DECODER" << full
            << (macAndAudio + QStringList{"100", "3", "-42 nS", "1500 nS"});
        QTest::newRow("SFN off: PTP values stay as they were")
            << "0" << "DECODER" << full << (macAndAudio + QStringList{"-", "-", "-", "-"});
        QTest::newRow("SFN key absent counts as off")
            << QString() << "DECODER" << full << (macAndAudio + QStringList{"-", "-", "-", "-"});
        QTest::newRow("encoder with SFN: no clock difference or delay")
            << "1" << "ENCODER" << full << (macAndAudio + QStringList{"100", "3", "-", "-"});
        QTest::newRow("40-byte record: no additional delay, bare measured delay")
            << "1" << "DECODER" << full.left(40)
            << (macAndAudio + QStringList{"100", "3", "-42 nS", "1000 nS"});
        QTest::newRow("61 bytes is still a record")
            << "1" << "DECODER" << full.left(61)
            << (macAndAudio + QStringList{"100", "3", "-42 nS", "1500 nS"});
        QTest::newRow("62 bytes is ignored")
            << "1" << "DECODER" << (full + '\0') << QStringList(10, QStringLiteral("*"));
        StatusRecord zero;
        QTest::newRow("all zero: shares of nothing are 0%")
            << "0" << "DECODER" << encodeStatusRecord(zero)
            << QStringList{"0", "0 (0%)", "0", "0 (0%)", "0", "0 (0%)", "-", "-", "-", "-"};
    }
    void showsRecord()
    {
        QFETCH(QString, sfn);
        QFETCH(QString, type);
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, expected);
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), QStringLiteral("127.0.0.1"), sfn));
        frmStatistics w(kSection, type);
        Received arrived(&w.udpClient2);
        // The window's own "GetStats" comes back first (loopback); then the element answers.
        QVERIFY(arrived.waitFor(1));
        const QStringList before = texts(valueLabels(w));
        LoopbackPeer element;
        element.answer(datagram);
        QVERIFY(arrived.waitFor(2));
        QCOMPARE(arrived.at(1), datagram);

        QStringList want = expected;
        for (int i = 0; i < want.size(); ++i) {
            if (want[i] == QLatin1String("*"))
                want[i] = before.at(i);
        }
        QCOMPARE(texts(valueLabels(w)), want);
        QCOMPARE(boxes.count(), 0);
    }

    void variablesReadableFromOutside()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), QStringLiteral("127.0.0.1"), QStringLiteral("1")));
        frmStatistics w(kSection, QStringLiteral("DECODER"));
        const StatsVariables &v = w.responses();
        QCOMPARE(v.UDP_Response_Tx_Frames_OK, 0);
        Received arrived(&w.udpClient2);
        QVERIFY(arrived.waitFor(1));
        LoopbackPeer element;
        element.answer(sampleRecord());
        QVERIFY(arrived.waitFor(2));
        QCOMPARE(v.UDP_Response_Tx_Frames_OK, 16777217);
        QCOMPARE(v.UDP_Response_Rx_Frames_Err_Ratio, 33.33f);
        QCOMPARE(v.UDP_Response_Rx_Audio_Frames_Err_Ratio, 0.25f);
        QCOMPARE(v.UDP_Response_Additional_Latency, 500);
        QCOMPARE(v.UDP_Response_PTP_Sync_Latency, 1500);
        QCOMPARE(v.UDP_Response_PTP_Sync_Value, -42);
    }

    void refreshAndClearSendTheirCommands()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), QStringLiteral("127.0.0.1"), QStringLiteral("0")));
        frmStatistics w(kSection, QStringLiteral("DECODER"));
        Received sent(&w.udpClient2);
        w.show();
        QVERIFY(sent.waitFor(1));

        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(sent.waitFor(2));
        QCOMPARE(sent.at(1), QByteArray("GetStats"));

        // No (also the default): nothing goes out. The Refresh after it is the marker that
        // the next datagram would have come before.
        boxes.answerNext(MsgAnswer::No);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QCOMPARE(boxes.count(), 1);
        const platform::MessageSpec ask = boxes.shown().at(0);
        QCOMPARE(ask.text, QStringLiteral("You will reset all counters to zero.\rAre you sure?"));
        QCOMPARE(ask.title, QStringLiteral("Reset counters"));
        QCOMPARE(ask.icon, MsgIcon::Question);
        QCOMPARE(ask.buttons, MsgButtons::YesNo);
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(sent.waitFor(3));
        QCOMPARE(sent.at(2), QByteArray("GetStats"));

        boxes.answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QCOMPARE(boxes.count(), 2);
        QVERIFY(sent.waitFor(4));
        QCOMPARE(sent.at(3), QByteArray("RstStats"));
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(sent.waitFor(5));
        QCOMPARE(sent.all().mid(4), QList<QByteArray>{"GetStats"});
        QCOMPARE(boxes.count(), 2);
    }

    void unreadableRecordReportsError5()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), QStringLiteral("127.0.0.1"), QStringLiteral("on")));
        frmStatistics w(kSection, QStringLiteral("DECODER"));
        Received arrived(&w.udpClient2);
        QVERIFY(arrived.waitFor(1));   // its own "GetStats" also reads as a (failing) record
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 5000);
        boxes.clear();
        LoopbackPeer element;
        element.answer(sampleRecord());
        QVERIFY(arrived.waitFor(2));
        QCOMPARE(boxes.texts(),
                 QStringList{"Error 5 while retrieving values. Please reset the device and try again."});
        QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Critical);
        // What came before the failing step is shown; the window stays and listens.
        QCOMPARE(w.lblMACTxOK->text(), QStringLiteral("16777217"));
        QCOMPARE(w.lblMACRxErr->text(), QStringLiteral("1 (33.33%)"));
        QCOMPARE(w.lblPTPRxOK->text(), QStringLiteral("-"));
        QCOMPARE(m_env->endProgramCalls(), 0);
    }

    // A record without a usable address used to end the whole program when the window
    // opened; now the operator is told what is wrong and the station keeps running.
    void unusableStoredAddressIsReported_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QString()
                                << QStringLiteral("No IP address is stored for this element.");
        QTest::newRow("empty") << QString("")
                               << QStringLiteral("No IP address is stored for this element.");
        QTest::newRow("not an address")
            << QStringLiteral("studio")
            << QStringLiteral("The stored IP address \"studio\" of this element is not valid.");
        QTest::newRow("three parts")
            << QStringLiteral("10.0.1")
            << QStringLiteral("The stored IP address \"10.0.1\" of this element is not valid.");
        QTest::newRow("part too large")
            << QStringLiteral("10.0.0.256")
            << QStringLiteral("The stored IP address \"10.0.0.256\" of this element is not valid.");
        QTest::newRow("broadcast")
            << QStringLiteral("255.255.255.255")
            << QStringLiteral("The stored IP address \"255.255.255.255\" of this element is not an "
                              "element's address.");
        QTest::newRow("any address")
            << QStringLiteral("0.0.0.0")
            << QStringLiteral("The stored IP address \"0.0.0.0\" of this element is not an element's "
                              "address.");
    }
    void unusableStoredAddressIsReported()
    {
        QFETCH(QString, ip);
        QFETCH(QString, problem);
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), ip, QStringLiteral("1")));
        frmStatistics w(kSection, QStringLiteral("DECODER"));
        QVERIFY(w.isOpen());
        QCOMPARE(boxes.texts(), QStringList{problem + QStringLiteral("\rThe counters were not requested.")});
        QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Critical);
        QCOMPARE(m_env->endProgramCalls(), 0);

        boxes.answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QCOMPARE(boxes.count(), 3);
        QCOMPARE(boxes.texts().at(2), problem + QStringLiteral("\rThe counters were not reset."));
        QCOMPARE(m_env->endProgramCalls(), 0);
    }

    void occupiedPortEndsProgram()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), QStringLiteral("127.0.0.1"), QStringLiteral("1")));
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 2978, QAbstractSocket::DontShareAddress));
        frmStatistics w(kSection, QStringLiteral("DECODER"));
        QVERIFY(!w.isOpen());
        QCOMPARE(boxes.texts(), QStringList{"Error 2: Unable to use UDP port 2978: occupied."});
        QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Critical);
        QCOMPARE(m_env->endProgramCalls(), 1);
        QCOMPARE(m_env->lastExitCode(), 1);
        // Nothing was sent from anywhere: the holder heard nothing.
        QTest::qWait(100);
        QVERIFY(!holder.hasPendingDatagrams());
    }

    // The panel's buttons open their window modally; when its port cannot be had the
    // program ends and the window does not open at all.
    void panelButtonsOpenTheirWindows_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("portTaken");
        QTest::addColumn<QString>("outcome");   // the modal window's title, or the message
        QTest::newRow("statistics") << "cmdGetStats" << false << "Statistics";
        QTest::newRow("SFN adjustment") << "cmdAdjust" << false << "SFN Adjustment";
        QTest::newRow("statistics, port taken")
            << "cmdGetStats" << true << "Error 2: Unable to use UDP port 2978: occupied.";
        QTest::newRow("SFN adjustment, port taken")
            << "cmdAdjust" << true << "Unable to use UDP port 2978: occupied.";
    }
    void panelButtonsOpenTheirWindows()
    {
        QFETCH(QString, button);
        QFETCH(bool, portTaken);
        QFETCH(QString, outcome);
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(QStringLiteral("TX SITE"), QStringLiteral("127.0.0.1"), QStringLiteral("1")));
        QUdpSocket holder;
        if (portTaken)
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, 2978, QAbstractSocket::DontShareAddress));
        frmMain station(false, false);
        station.lblElementMAC->setText(QStringLiteral("00:11:22:33:44:BB"));
        station.lblElementType->setText(QStringLiteral("DECODER"));
        auto *open = station.findChild<QPushButton *>(button);
        QVERIFY(open);
        open->setEnabled(true);
        station.show();

        QString modalTitle;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, this, [&modalTitle] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                modalTitle = modal->windowTitle();
                modal->close();
            }
        });
        closer.start();
        QTest::mouseClick(open, Qt::LeftButton);   // returns once the modal window is closed
        closer.stop();
        if (portTaken) {
            QCOMPARE(boxes.texts(), QStringList{outcome});
            QCOMPARE(m_env->endProgramCalls(), 1);
            QVERIFY(modalTitle.isEmpty());
        } else {
            QCOMPARE(modalTitle, outcome);
            QCOMPARE(m_env->endProgramCalls(), 0);
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestStatisticsWindow)
#include "tst_statistics.moc"
