// The statistics window as the operator uses it, and the panel's buttons that open it and
// the SFN one (or end the program when their port is taken).
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "LoopbackPeer.h"
#include "app/frmMain.h"
#include "diagnostics/frmStatistics.h"
#include "sfn/StatusRecord.h"
#include "support/ReceiveQueue.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

using platform::MsgAnswer;
using platform::MsgIcon;

namespace {

// The decoder's record; a null value leaves its key out.
QString ini(const QString &ip = "127.0.0.1", const QString &sfn = "1", const QString &name = "TX SITE")
{
    return QString("[0011223344BB]\nNAME=%1\nROLE=2\n").arg(name) + (ip.isNull() ? "" : "IP=" + ip + '\n')
           + (sfn.isNull() ? "" : "SFN=" + sfn + '\n');
}

QStringList texts(const frmStatistics &w)
{
    return {w.lblMACTxOK->text(), w.lblMACTxErr->text(), w.lblMACRxOK->text(), w.lblMACRxErr->text(),
            w.lblAudioRxFramesOK->text(), w.lblAudioRxFramesErr->text(), w.lblPTPRxOK->text(),
            w.lblPTPRxErr->text(), w.lblPTPClkAdj->text(), w.lblPTPLatency->text()};
}

// Counter values chosen so that each label has a text of its own.
QByteArray sampleRecord()
{
    StatusRecord r;
    r.txFramesOk = 16777217;   // beyond single-precision exactness
    r.rxFramesOk = 2, r.rxFramesErr = 1, r.ptpSyncOk = 100, r.ptpSyncErr = 3, r.ptpClockDiff = -42;
    r.ptpMeasuredDelay = 1000, r.audioFramesOk = 1995, r.audioFramesErr = 5, r.additionalDelay = 500;
    return encodeStatusRecord(r);
}

} // namespace

class TestStatisticsWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmStatistics> m_w;
    // The window's own commands (stored address 127.0.0.1) and the test's answers as the element.
    std::unique_ptr<Received> m_arrived;
    LoopbackPeer m_element;

    frmStatistics &open(const QString &record, const QString &type = "DECODER")
    {
        m_env->writeIni(record);
        m_w = std::make_unique<frmStatistics>("0011223344BB", type);
        m_arrived = std::make_unique<Received>(&m_w->udpClient2);
        m_w->show();
        return *m_w;
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); m_boxes = std::make_unique<ScriptedMessageBox>(); }
    void cleanup() { m_arrived.reset(); m_w.reset(); m_boxes.reset(); m_env.reset(); }

    void opensAndAsksForCounters_data()
    {
        QTest::addColumn<QString>("name"); QTest::addColumn<QString>("frameTitle");
        QTest::newRow("plain name") << "TX SITE" << "TX SITE:";
        QTest::newRow("ampersand is not an access key") << "R&D <b>1</b>" << "R&&D <b>1</b>:";
        QTest::newRow("no name") << "" << ":";
    }
    void opensAndAsksForCounters()
    {
        QFETCH(QString, name);
        frmStatistics &w = open(ini("127.0.0.1", "1", name));
        QTEST(w.frmStats->title(), "frameTitle");
        QVERIFY(w.isOpen() && m_arrived->waitFor(1));
        QCOMPARE(m_arrived->all(), QList<QByteArray>{"GetStats"});
        QCOMPARE(m_boxes->count(), 0);
    }

    // The ten label texts after the datagram, with error shares; "*" means "as before the datagram".
    void showsRecord_data()
    {
        QTest::addColumn<QString>("sfn"); QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("datagram"); QTest::addColumn<QStringList>("expected");
        const QByteArray full = sampleRecord();
        const QStringList macAndAudio = {"16777217", "0 (0%)", "2", "1 (33.33%)", "1995", "5 (0.25%)"};
        const QStringList noPtp = {"-", "-", "-", "-"}, ptp = {"100", "3", "-42 nS", "1500 nS"};
        QTest::newRow("decoder with SFN: everything") << "1" << "DECODER" << full << macAndAudio + ptp;
        QTest::newRow("SFN off: PTP values stay as they were") << "0" << "DECODER" << full << macAndAudio + noPtp;
        QTest::newRow("SFN key absent counts as off") << QString() << "DECODER" << full << macAndAudio + noPtp;
        QTest::newRow("encoder: no clock difference or delay") << "1" << "ENCODER" << full
                                                               << macAndAudio + ptp.mid(0, 2) + noPtp.mid(2);
        QTest::newRow("40 bytes: bare measured delay") << "1" << "DECODER" << full.left(40)
                                                       << macAndAudio + ptp.mid(0, 3) + QStringList{"1000 nS"};
        QTest::newRow("61 bytes is still a record") << "1" << "DECODER" << full.left(61) << macAndAudio + ptp;
        QTest::newRow("62 bytes is ignored") << "1" << "DECODER" << full + '\0' << QStringList(10, "*");
    }
    void showsRecord()
    {
        QFETCH(QString, sfn); QFETCH(QString, type); QFETCH(QByteArray, datagram); QFETCH(QStringList, expected);
        frmStatistics &w = open(ini("127.0.0.1", sfn), type);
        // The window's own "GetStats" comes back first (loopback); then the element answers.
        QVERIFY(m_arrived->waitFor(1));
        const QStringList before = texts(w);
        m_element.answer(datagram);
        QVERIFY(m_arrived->waitFor(2));
        for (int i = 0; i < expected.size(); ++i)
            expected[i] = expected[i] == "*" ? before.at(i) : expected[i];
        QCOMPARE(texts(w), expected);
        QCOMPARE(m_boxes->count(), 0);
    }

    // Clear asks first; only Yes sends the reset. Each Refresh after is the marker that
    // anything sent before it has arrived.
    void refreshAndClearSendTheirCommands()
    {
        frmStatistics &w = open(ini());
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(m_arrived->waitFor(2));
        m_boxes->answerNext(MsgAnswer::No);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(m_arrived->waitFor(3));
        m_boxes->answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(m_arrived->waitFor(5));
        QCOMPARE(m_arrived->all(), (QList<QByteArray>{"GetStats", "GetStats", "GetStats", "RstStats", "GetStats"}));
        QCOMPARE(m_boxes->texts(), QStringList(2, "You will reset all counters to zero.\rAre you sure?"));
        const platform::MessageSpec ask = m_boxes->shown().at(0);
        QCOMPARE(ask.title, "Reset counters");
        QVERIFY(ask.icon == MsgIcon::Question && ask.buttons == platform::MsgButtons::YesNo);
    }

    void unreadableRecordReportsError5()
    {
        frmStatistics &w = open(ini("127.0.0.1", "on"));
        QVERIFY(m_arrived->waitFor(1));   // its own "GetStats" also reads as a (failing) record
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 1, 5000);
        m_boxes->clear();
        m_element.answer(sampleRecord());
        QVERIFY(m_arrived->waitFor(2));
        QCOMPARE(m_boxes->texts(),
                 QStringList{"Error 5 while retrieving values. Please reset the device and try again."});
        QVERIFY(m_boxes->shown().at(0).icon == MsgIcon::Critical && m_env->endProgramCalls() == 0);
        // What came before the failing step is shown; the window stays and listens.
        QCOMPARE(texts(w).mid(0, 7), (QStringList{"16777217", "0 (0%)", "2", "1 (33.33%)", "-", "-", "-"}));
    }

    // A flood of unreadable records while each box stays open a while (its event loop
    // delivering more): never two boxes at once, and the first one's company is told in
    // one summary.
    void floodOfUnreadableRecordsGivesOneBoxAtATime()
    {
        open(ini("127.0.0.1", "on"));
        m_boxes->stayOpenFor(20);
        for (int i = 0; i < 3000; ++i) {
            m_element.answer(sampleRecord());
            if (i % 200 == 199)
                QTest::qWait(2);   // a pace the receive buffer takes without dropping much
        }
        QTRY_COMPARE_WITH_TIMEOUT(receiveQueueBytes(2978), 0, 30000);
        const QByteArray marker(62, 'M');   // ignored by the window, seen by the socket
        m_element.answer(marker);
        QTRY_VERIFY_WITH_TIMEOUT(m_arrived->all().contains(marker), 10000);

        const QString error5 = "Error 5 while retrieving values. Please reset the device and try again.";
        const QRegularExpression summary('^' + QRegularExpression::escape(error5) + "\r… and \\d+ more like it\\.$");
        QCOMPARE(m_boxes->deepest(), 1);
        QVERIFY2(m_boxes->count() < 300, qPrintable(QString::number(m_boxes->count())));
        QVERIFY(!m_boxes->texts().filter(summary).isEmpty());
        QCOMPARE(m_boxes->texts().filter(summary).size() + m_boxes->texts().count(error5), m_boxes->count());
    }

    // Bad stored ip used to end the whole program when the window opened; now it is reported.
    void unusableStoredAddressIsReported_data()
    {
        QTest::addColumn<QString>("ip"); QTest::addColumn<QString>("problem");
        const QString stored = "The stored IP address \"%1\" of this element is not ";
        QTest::newRow("empty") << "" << "No IP address is stored for this element.";
        for (const char *ip : {"studio", "10.0.0.256"})
            QTest::newRow(ip) << ip << stored.arg(ip) + "valid.";
        for (const char *ip : {"255.255.255.255", "0.0.0.0"})
            QTest::newRow(ip) << ip << stored.arg(ip) + "an element's address.";
    }
    void unusableStoredAddressIsReported()
    {
        QFETCH(QString, ip); QFETCH(QString, problem);
        frmStatistics &w = open(ini(ip));
        QVERIFY(w.isOpen());
        m_boxes->answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QCOMPARE(m_boxes->count(), 3);
        QCOMPARE(m_boxes->texts().at(0) + m_boxes->texts().at(2),
                 problem + "\rThe counters were not requested." + problem + "\rThe counters were not reset.");
        QVERIFY(m_boxes->shown().at(0).icon == MsgIcon::Critical && m_env->endProgramCalls() == 0);
        QTest::qWait(50);
        QCOMPARE(m_arrived->count(), 0);
    }

    // The panel's buttons open their window modally; with port 2978 taken the program ends,
    // nothing is sent and the window does not open. outcome: the modal's title, or the message.
    void panelButtonsOpenTheirWindows_data()
    {
        QTest::addColumn<QString>("button"); QTest::addColumn<bool>("portTaken"); QTest::addColumn<QString>("outcome");
        QTest::newRow("statistics") << "cmdGetStats" << false << "Statistics";
        QTest::newRow("SFN adjustment") << "cmdAdjust" << false << "SFN Adjustment";
        QTest::newRow("statistics, port taken") << "cmdGetStats" << true << "Error 2: Unable to use UDP port 2978: occupied.";
        QTest::newRow("SFN adjustment, port taken") << "cmdAdjust" << true << "Unable to use UDP port 2978: occupied.";
    }
    void panelButtonsOpenTheirWindows()
    {
        QFETCH(QString, button); QFETCH(bool, portTaken); QFETCH(QString, outcome);
        m_env->writeIni(ini());
        QUdpSocket holder;
        if (portTaken)
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, 2978, QAbstractSocket::DontShareAddress));
        frmMain station(false, false);
        station.lblElementMAC->setText("00:11:22:33:44:BB");
        station.lblElementType->setText("DECODER");
        auto *open = station.findChild<QPushButton *>(button);
        open->setEnabled(true);
        station.show();
        QString modalTitle;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&modalTitle] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modalTitle = modal->windowTitle(), modal->close();
        });
        closer.start(20);
        QTest::mouseClick(open, Qt::LeftButton);   // returns once the modal window is closed
        closer.stop();
        QCOMPARE(portTaken ? m_boxes->texts().value(0) : modalTitle, outcome);
        QCOMPARE(m_env->endProgramCalls(), portTaken ? 1 : 0);
        if (portTaken) {
            QVERIFY(m_boxes->count() == 1 && m_boxes->shown().at(0).icon == MsgIcon::Critical);
            QVERIFY(m_env->lastExitCode() == 1 && modalTitle.isEmpty());
            QTest::qWait(100);
            QVERIFY(!holder.hasPendingDatagrams());
        }
    }
};

QTEST_MAIN(TestStatisticsWindow)
#include "tst_statistics.moc"
