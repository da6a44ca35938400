// The statistics window as the operator uses it: opening asks the element for its
// counters, the record is shown with its error shares, Refresh and Clear send their
// commands, a bad record or a bad stored address is reported without ending the program.
// The panel's buttons open this window and the SFN one, or end the program when their
// port is taken.
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
using platform::MsgIcon;

namespace {

const QString kSection = QStringLiteral("0011223344BB");

// The decoder's record; a null value leaves its key out.
QString ini(const QString &ip = QStringLiteral("127.0.0.1"), const QString &sfn = QStringLiteral("1"),
            const QString &name = QStringLiteral("TX SITE"))
{
    QString text = QStringLiteral("[0011223344BB]\nNAME=%1\nROLE=2\n").arg(name);
    if (!ip.isNull())
        text += QStringLiteral("IP=%1\n").arg(ip);
    if (!sfn.isNull())
        text += QStringLiteral("SFN=%1\n").arg(sfn);
    return text;
}

QStringList texts(const frmStatistics &w)
{
    QStringList out;
    for (const QLabel *l : {w.lblMACTxOK, w.lblMACTxErr, w.lblMACRxOK, w.lblMACRxErr, w.lblAudioRxFramesOK,
                            w.lblAudioRxFramesErr, w.lblPTPRxOK, w.lblPTPRxErr, w.lblPTPClkAdj, w.lblPTPLatency})
        out << l->text();
    return out;
}

// Counter values chosen so that each label has a text of its own.
QByteArray sampleRecord()
{
    StatusRecord r;
    r.txFramesOk = 16777217;   // beyond single-precision exactness
    r.rxFramesOk = 2;
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
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmStatistics> m_w;
    // Everything the window's socket receives: its own commands (stored address 127.0.0.1)
    // and the answers the test sends as the element.
    std::unique_ptr<Received> m_arrived;
    LoopbackPeer m_element;

    frmStatistics &open(const QString &record, const QString &type = QStringLiteral("DECODER"))
    {
        m_env->writeIni(record);
        m_w = std::make_unique<frmStatistics>(kSection, type);
        m_arrived = std::make_unique<Received>(&m_w->udpClient2);
        m_w->show();
        return *m_w;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_boxes = std::make_unique<ScriptedMessageBox>();
    }
    void cleanup()
    {
        m_arrived.reset();
        m_w.reset();
        m_boxes.reset();
        m_env.reset();
    }

    void opensAndAsksForCounters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("frameTitle");
        QTest::newRow("plain name") << "TX SITE" << "TX SITE:";
        // An ampersand is part of the name, not an access key.
        QTest::newRow("ampersand") << "R&D <b>1</b>" << "R&&D <b>1</b>:";
        QTest::newRow("no name") << "" << ":";
    }
    void opensAndAsksForCounters()
    {
        QFETCH(QString, name);
        frmStatistics &w = open(ini(QStringLiteral("127.0.0.1"), QStringLiteral("1"), name));
        QVERIFY(w.isOpen());
        QTEST(w.frmStats->title(), "frameTitle");
        QVERIFY(m_arrived->waitFor(1));
        QCOMPARE(m_arrived->all(), QList<QByteArray>{"GetStats"});
        QCOMPARE(m_boxes->count(), 0);
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
        const QStringList noPtp = {"-", "-", "-", "-"};
        QTest::newRow("decoder with SFN: everything")
            << "1" << "DECODER" << full << macAndAudio + QStringList{"100", "3", "-42 nS", "1500 nS"};
        QTest::newRow("SFN off: PTP values stay as they were") << "0" << "DECODER" << full << macAndAudio + noPtp;
        QTest::newRow("SFN key absent counts as off") << QString() << "DECODER" << full << macAndAudio + noPtp;
        QTest::newRow("encoder with SFN: no clock difference or delay")
            << "1" << "ENCODER" << full << macAndAudio + QStringList{"100", "3", "-", "-"};
        QTest::newRow("40-byte record: no additional delay, bare measured delay")
            << "1" << "DECODER" << full.left(40) << macAndAudio + QStringList{"100", "3", "-42 nS", "1000 nS"};
        QTest::newRow("61 bytes is still a record")
            << "1" << "DECODER" << full.left(61) << macAndAudio + QStringList{"100", "3", "-42 nS", "1500 nS"};
        QTest::newRow("62 bytes is ignored") << "1" << "DECODER" << full + '\0' << QStringList(10, "*");
    }
    void showsRecord()
    {
        QFETCH(QString, sfn);
        QFETCH(QString, type);
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, expected);
        frmStatistics &w = open(ini(QStringLiteral("127.0.0.1"), sfn), type);
        // The window's own "GetStats" comes back first (loopback); then the element answers.
        QVERIFY(m_arrived->waitFor(1));
        const QStringList before = texts(w);
        m_element.answer(datagram);
        QVERIFY(m_arrived->waitFor(2));
        for (int i = 0; i < expected.size(); ++i) {
            if (expected[i] == QLatin1String("*"))
                expected[i] = before.at(i);
        }
        QCOMPARE(texts(w), expected);
        QCOMPARE(m_boxes->count(), 0);
    }

    // Clear asks first; only Yes sends the reset. Each Refresh afterwards is the marker
    // that any datagram sent before it has already arrived.
    void refreshAndClearSendTheirCommands()
    {
        frmStatistics &w = open(ini());
        QVERIFY(m_arrived->waitFor(1));
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
        QCOMPARE(ask.title, QStringLiteral("Reset counters"));
        QCOMPARE(ask.icon, MsgIcon::Question);
        QCOMPARE(ask.buttons, platform::MsgButtons::YesNo);
    }

    void unreadableRecordReportsError5()
    {
        frmStatistics &w = open(ini(QStringLiteral("127.0.0.1"), QStringLiteral("on")));
        QVERIFY(m_arrived->waitFor(1));   // its own "GetStats" also reads as a (failing) record
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 1, 5000);
        m_boxes->clear();
        m_element.answer(sampleRecord());
        QVERIFY(m_arrived->waitFor(2));
        QCOMPARE(m_boxes->texts(),
                 QStringList{"Error 5 while retrieving values. Please reset the device and try again."});
        QCOMPARE(m_boxes->shown().at(0).icon, MsgIcon::Critical);
        // What came before the failing step is shown; the window stays and listens.
        QCOMPARE(texts(w).mid(0, 7), (QStringList{"16777217", "0 (0%)", "2", "1 (33.33%)", "-", "-", "-"}));
        QCOMPARE(m_env->endProgramCalls(), 0);
    }

    // A record without a usable address used to end the whole program when the window
    // opened; now the operator is told what is wrong and the station keeps running.
    void unusableStoredAddressIsReported_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("problem");
        const QString invalid = QStringLiteral("The stored IP address \"%1\" of this element is not valid.");
        const QString notElement =
            QStringLiteral("The stored IP address \"%1\" of this element is not an element's address.");
        QTest::newRow("absent") << QString() << "No IP address is stored for this element.";
        QTest::newRow("empty") << "" << "No IP address is stored for this element.";
        for (const char *ip : {"studio", "10.0.1", "10.0.0.256"})
            QTest::newRow(ip) << ip << invalid.arg(ip);
        for (const char *ip : {"255.255.255.255", "0.0.0.0"})
            QTest::newRow(ip) << ip << notElement.arg(ip);
    }
    void unusableStoredAddressIsReported()
    {
        QFETCH(QString, ip);
        QFETCH(QString, problem);
        frmStatistics &w = open(ini(ip));
        QVERIFY(w.isOpen());
        m_boxes->answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QCOMPARE(m_boxes->count(), 3);
        QCOMPARE(m_boxes->texts().at(0), problem + "\rThe counters were not requested.");
        QCOMPARE(m_boxes->texts().at(2), problem + "\rThe counters were not reset.");
        QCOMPARE(m_boxes->shown().at(0).icon, MsgIcon::Critical);
        QCOMPARE(m_env->endProgramCalls(), 0);
        QTest::qWait(50);
        QCOMPARE(m_arrived->count(), 0);
    }

    // The panel's buttons open their window modally; when its port is held by another
    // socket the program ends, nothing is sent and the window does not open at all.
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
        m_env->writeIni(ini());
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
        QCOMPARE(portTaken ? m_boxes->texts().value(0) : modalTitle, outcome);
        QCOMPARE(m_env->endProgramCalls(), portTaken ? 1 : 0);
        if (portTaken) {
            QCOMPARE(m_boxes->count(), 1);
            QCOMPARE(m_boxes->shown().at(0).icon, MsgIcon::Critical);
            QCOMPARE(m_env->lastExitCode(), 1);
            QVERIFY(modalTitle.isEmpty());
            QTest::qWait(100);
            QVERIFY(!holder.hasPendingDatagrams());
        }
    }
};

QTEST_MAIN(TestStatisticsWindow)
#include "tst_statistics.moc"
