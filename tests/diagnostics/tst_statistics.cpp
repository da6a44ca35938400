// The statistics window as the operator uses it, and the panel's buttons that open it and
// the SFN one (or end the program when their port is taken).
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "LoopbackPeer.h"
#include "windows/frmMain.h"
#include "windows/frmStatistics.h"
#include "sfn/StatusRecord.h"
#include "store/IniStore.h"
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

    // The frame names the element ('&' in a name is no access key), the counters are asked
    // for, and an answer fills the ten labels; one that cannot be read is told.
    void opensAsksAndShows()
    {
        frmStatistics &w = open(ini("127.0.0.1", "1", "R&D <b>1</b>"));
        QCOMPARE(w.frmStats->title(), QStringLiteral("R&&D <b>1</b>:"));
        QVERIFY(m_arrived->waitFor(1));   // the window's own "GetStats" comes back first (loopback)
        QCOMPARE(m_arrived->all(), QList<QByteArray>{"GetStats"});
        m_element.answer(sampleRecord());
        QVERIFY(m_arrived->waitFor(2));
        QCOMPARE(texts(w), (QStringList{"16777217", "0 (0%)", "2", "1 (33.33%)", "1995", "5 (0.25%)", "100", "3",
                                        "-42 nS", "1500 nS"}));
        QCOMPARE(m_boxes->count(), 0);
        WriteToINI("0011223344BB", "sfn", "on", m_env->iniPath());
        m_element.answer(sampleRecord());
        QVERIFY(m_arrived->waitFor(3));
        QCOMPARE(m_boxes->texts(), QStringList{"Error 5 while retrieving values. Please reset the device and try again."});
        QVERIFY(m_boxes->shown().at(0).icon == MsgIcon::Critical && m_env->endProgramCalls() == 0);
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

    // Bad stored ip used to end the whole program when the window opened; now it is told.
    void unusableStoredAddressIsReported()
    {
        frmStatistics &w = open(ini(QString()));
        QVERIFY(w.isOpen());
        m_boxes->answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        const QString problem = "No IP address is stored for this element.";
        QCOMPARE(m_boxes->texts(), (QStringList{problem + "\rThe counters were not requested.",
                                                "You will reset all counters to zero.\rAre you sure?",
                                                problem + "\rThe counters were not reset."}));
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
