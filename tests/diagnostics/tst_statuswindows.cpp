// The two windows on port 2978 over an element on loopback: statistics (frame, labels,
// Clear asked first, a flood of unreadable records), SFN adjustment (stored values, a
// record's labels, auto refresh, Set, what closing stores), and the panel's buttons.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include "platform/AppDir.h"
#include "platform/Settings.h"
#include "platform/UdpPort.h"
#include "sfn/StatusRecord.h"
#include "store/IniStore.h"
#include "support/ReceiveQueue.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/frmAdjust.h"
#include "windows/frmMain.h"
#include "windows/frmStatistics.h"

using platform::MsgAnswer;
using platform::MsgIcon;

namespace {

// The decoder's record; a null value leaves its key out.
QString ini(const QString &ip = "127.0.0.1", const QString &sfn = "1", const QString &dly = {},
            const QString &srv = {}, const QString &name = "TX SITE")
{
    QString text = "[0011223344BB]\nNAME=" + name + "\nROLE=2\n";
    const std::pair<const char *, QString> keys[] = {{"IP", ip}, {"SFN", sfn}, {"DLY", dly}, {"SRV", srv}};
    for (const auto &[key, value] : keys)
        text += value.isNull() ? QString() : QString::fromLatin1(key) + '=' + value + '\n';
    return text;
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

const QString kSection = "0011223344BB", kAutoClear = "AutoClearCounters";

QString stored(const QString &key) { return ReadFromINI(kSection, key, platform::databasePath(), "<absent>"); }

QByteArray record(qint32 avg, qint32 additional, quint8 servoFlag, qint32 servo)
{
    StatusRecord r;
    r.delayAvg = avg, r.delayMin = avg - 1000, r.delayMax = avg + 1000;
    r.additionalDelay = additional, r.autoServo = servoFlag, r.servoCorrection = servo;
    return encodeStatusRecord(r);
}

// On the box itself, not on the empty space a layout gives it.
void clickBox(QCheckBox *box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

// Only the window can hold 2978: its socket hears its own commands (stored address
// 127.0.0.1) and the test's answers, sent as the element from an ephemeral port.
struct Arrived {
    explicit Arrived(platform::UdpPort *port) : spy(port, &platform::UdpPort::datagramReceived) {}
    bool waitFor(int count, int timeoutMs = 5000) { return QTest::qWaitFor([&] { return spy.count() >= count; }, timeoutMs); }
    int count() const { return int(spy.count()); }
    QList<QByteArray> all() const
    {
        QList<QByteArray> out;
        for (const QList<QVariant> &args : spy)
            out << args.at(0).toByteArray();
        return out;
    }
    QSignalSpy spy;
};

} // namespace

class TestStatusWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<frmStatistics> m_stats;
    std::unique_ptr<frmAdjust> m_adjust;
    std::unique_ptr<Arrived> m_arrived;
    QUdpSocket m_element;

    frmStatistics &openStatistics(const QString &record)
    {
        m_env->writeIni(record);
        m_stats = std::make_unique<frmStatistics>(kSection, "DECODER");
        m_arrived = std::make_unique<Arrived>(&m_stats->udpClient2);
        m_stats->show();
        return *m_stats;
    }
    // Opens the SFN window on the record and waits for its first "GetDel" (when the address is usable).
    frmAdjust &openAdjust(const QString &record)
    {
        m_env->writeIni(record);
        m_adjust = std::make_unique<frmAdjust>(kSection, "DECODER");
        m_arrived = std::make_unique<Arrived>(&m_adjust->udpClient3);
        m_adjust->show();
        if (m_boxes->count() == 0 && !m_arrived->waitFor(1))
            qWarning("the window's opening request did not come back");
        return *m_adjust;
    }
    bool answer(const QByteArray &datagram)
    {
        const int before = m_arrived->count();
        m_element.writeDatagram(datagram, QHostAddress::LocalHost, 2978);
        return m_arrived->waitFor(before + 1);
    }

private slots:
    void initTestCase() { QVERIFY(m_element.bind(QHostAddress::LocalHost, 0)); }
    void init() { m_env = std::make_unique<TestEnvironment>(); m_boxes = std::make_unique<ScriptedMessageBox>(); }
    void cleanup() { m_arrived.reset(); m_stats.reset(); m_adjust.reset(); m_boxes.reset(); m_env.reset(); }

    // The frame names the element ('&' is no access key), "GetStats" is sent, an answer fills
    // the ten labels (the values are tst_station::recordAsShown's). Clear asks first; only Yes
    // sends the reset. Each Refresh after is the marker that anything sent before it has arrived.
    void statisticsAsksShowsRefreshesAndClears()
    {
        frmStatistics &w = openStatistics(ini("127.0.0.1", "1", {}, {}, "R&D <b>1</b>"));
        QCOMPARE(w.frmStats->title(), QStringLiteral("R&&D <b>1</b>:"));
        QVERIFY(m_arrived->waitFor(1) && answer(sampleRecord()));
        QCOMPARE((QStringList{w.lblMACTxOK->text(), w.lblMACTxErr->text(), w.lblMACRxOK->text(), w.lblMACRxErr->text(),
                              w.lblAudioRxFramesOK->text(), w.lblAudioRxFramesErr->text(), w.lblPTPRxOK->text(),
                              w.lblPTPRxErr->text(), w.lblPTPClkAdj->text(), w.lblPTPLatency->text()}),
                 (QStringList{"16777217", "0 (0%)", "2", "1 (33.33%)", "1995", "5 (0.25%)", "100", "3",
                              "-42 nS", "1500 nS"}));
        QCOMPARE(m_boxes->count(), 0);
        m_boxes->answerNext(MsgAnswer::No);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(m_arrived->waitFor(3));
        m_boxes->answerNext(MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(m_arrived->waitFor(5));
        QCOMPARE(m_arrived->all(), (QList<QByteArray>{"GetStats", sampleRecord(), "GetStats", "RstStats", "GetStats"}));
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
        openStatistics(ini("127.0.0.1", "on"));
        m_boxes->stayOpenFor(20);
        for (int i = 0; i < 3000; ++i) {
            m_element.writeDatagram(sampleRecord(), QHostAddress::LocalHost, 2978);
            if (i % 200 == 199)
                QTest::qWait(2);   // a pace the receive buffer takes without dropping much
        }
        QTRY_COMPARE_WITH_TIMEOUT(receiveQueueBytes(2978), 0, 30000);
        const QByteArray marker(62, 'M');   // ignored by the window, seen by the socket
        m_element.writeDatagram(marker, QHostAddress::LocalHost, 2978);
        QTRY_VERIFY_WITH_TIMEOUT(m_arrived->all().contains(marker), 10000);

        const QString error5 = "Error 5 while retrieving values. Please reset the device and try again.";
        const QRegularExpression summary('^' + QRegularExpression::escape(error5) + "\r… and \\d+ more like it\\.$");
        QCOMPARE(m_boxes->deepest(), 1);
        QVERIFY2(m_boxes->count() < 300, qPrintable(QString::number(m_boxes->count())));
        QVERIFY(!m_boxes->texts().filter(summary).isEmpty());
        QCOMPARE(m_boxes->texts().filter(summary).size() + m_boxes->texts().count(error5), m_boxes->count());
        QVERIFY(m_boxes->shown().at(0).icon == MsgIcon::Critical && m_env->endProgramCalls() == 0);
    }

    // A bad stored ip used to end the whole program; now each window tells it (texts:
    // tst_station::unusableStoredAddressIsReported), sends nothing, and auto refresh stops
    // instead of a box every second.
    void unusableStoredAddressIsTold()
    {
        const QString problem = "No IP address is stored for this element.\rThe ";
        frmStatistics &s = openStatistics(ini(QString()));
        m_boxes->answerNext(MsgAnswer::Yes);
        QTest::mouseClick(s.cmdResetStats, Qt::LeftButton);
        QCOMPARE(m_boxes->texts().value(2), problem + "counters were not reset.");   // after the question
        QTest::qWait(50);
        QCOMPARE(m_arrived->count(), 0);
        m_arrived.reset(), m_stats.reset(), m_boxes->clear();
        frmAdjust &w = openAdjust(ini(QString(), "1", "10"));
        QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        QVERIFY(!w.UnsavedParameters);
        clickBox(w.chkAutoUpdate);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 3, 5000);
        QCOMPARE(m_boxes->texts().value(1), problem + "delay was not set.");
        QVERIFY(!w.chkAutoUpdate->isChecked() && !w.Timer2.isActive());
        QCOMPARE(m_env->endProgramCalls() + m_arrived->count(), 0);
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

    void opensFromStoredValuesAndAsksForDelay_data()
    {
        QTest::addColumn<QString>("dly"); QTest::addColumn<QString>("srv"); QTest::addColumn<QString>("autoClearSetting");
        QTest::addColumn<int>("slider"); QTest::addColumn<bool>("servo"); QTest::addColumn<bool>("autoClear");
        QTest::addColumn<QString>("delayText");
        QTest::newRow("stored values") << "1000" << "1" << "1" << 1000 << true << true << "100 uS, 0 nS";
        QTest::newRow("not numbers") << "abc" << "yes" << "on" << 0 << false << false << "0 nS";
        QTest::newRow("above the range") << "30000" << "2" << "0" << 25000 << false << false << "2 mS, 500 uS, 0 nS";
        QTest::newRow("below the range") << "-5" << "0" << "0" << 0 << false << false << "0 nS";
    }
    void opensFromStoredValuesAndAsksForDelay()
    {
        QFETCH(QString, dly); QFETCH(QString, srv); QFETCH(QString, autoClearSetting);
        platform::writeSetting(kAutoClear, autoClearSetting);
        frmAdjust &w = openAdjust(ini("127.0.0.1", "1", dly, srv));
        QVERIFY(w.isOpen());
        QTEST(w.scrlAdditionalDelay->value(), "slider");
        QCOMPARE(w.AdditionalDelayNs, w.scrlAdditionalDelay->value() * 100);
        QTEST(w.lblAdditionalDelay->text(), "delayText");
        QTEST(w.chkAutoServo->isChecked(), "servo");
        QTEST(w.chkAutoClear->isChecked(), "autoClear");
        QVERIFY(!w.chkAutoUpdate->isChecked() && !w.Timer2.isActive() && !w.UnsavedParameters);
        QCOMPARE(m_arrived->all(), QList<QByteArray>{"GetDel"});
        QCOMPARE(m_boxes->count(), 0);
        QCOMPARE(stored("dly"), dly);   // not written
    }

    // Which text goes to which label (the formats are tst_statusrecord's); the others keep "-".
    void adjustmentShowsRecord()
    {
        frmAdjust &w = openAdjust(ini("127.0.0.1", "1", "7", "1"));
        QVERIFY(answer(record(120000, 12345, 1, -150)));
        QStringList shown;   // every label that does not read "-"
        for (QLabel *l : w.findChildren<QLabel *>(QRegularExpression("^lbl")))
            if (l->text() != "-")
                shown << l->objectName() + '=' + l->text();
        shown.sort();
        QCOMPARE(shown, (QStringList{"lblAdditionalDelay=12 uS, 300 nS", "lblCurrentDelayAVG=132 uS, 195 nS",
                                     "lblCurrentDelayMAX=133 uS, 195 nS", "lblCurrentDelayMIN=131 uS, 195 nS",
                                     "lblDelaySumAVG=528 uS, 293 nS", "lblDelaySumMAX=529 uS, 293 nS",
                                     "lblDelaySumMIN=527 uS, 293 nS", "lblFixedLatencyAUDIO=395 uS, 833 nS",
                                     "lblFixedLatencyMAC=265 nS"}));
        QCOMPARE(w.scrlAdditionalDelay->value(), 123);   // the slider and what Set sends follow it
        QCOMPARE(w.AdditionalDelayNs, 12300);
        QVERIFY(w.chkAutoServo->isChecked());
        QCOMPARE(w.chkAutoServo->text(), QStringLiteral("Auto servo (-150 nS)"));
        QCOMPARE(m_boxes->count(), 0);
    }

    // Auto refresh stops when anything is adjusted (so answers do not overwrite it), including
    // a record that moves the slider or flips the servo box.
    void autoRefreshStopsOnAdjustment_data()
    {
        // target: the control used (a key on the slider when none); record: answered as the element instead
        QTest::addColumn<QString>("target"); QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("delay"); QTest::addColumn<bool>("stillRefreshing");
        const QString moved = "5 uS, 100 nS", kept = "5 uS, 0 nS";
        QTest::newRow("slider by keyboard") << "" << QByteArray() << moved << false;
        QTest::newRow("servo box click") << "chkAutoServo" << QByteArray() << kept << false;
        QTest::newRow("auto clear click") << "chkAutoClear" << QByteArray() << kept << false;
        QTest::newRow("Set") << "cmdSet" << QByteArray() << kept << false;
        QTest::newRow("Clear, answered No") << "cmdResetStats" << QByteArray() << kept << false;
        QTest::newRow("Refresh") << "cmdRefresh" << QByteArray() << kept << true;
        QTest::newRow("record moves the slider") << "" << record(1000, 5100, 0, 0) << moved << false;
        QTest::newRow("record flips the servo box") << "" << record(1000, 5000, 1, 20) << kept << false;
        QTest::newRow("record that changes nothing") << "" << record(1000, 5000, 0, 0) << kept << true;
    }
    void autoRefreshStopsOnAdjustment()
    {
        QFETCH(QString, target); QFETCH(QByteArray, record); QFETCH(bool, stillRefreshing);
        frmAdjust &w = openAdjust(ini("127.0.0.1", "1", "50", "0"));
        QVERIFY(QTest::qWaitForWindowActive(&w));
        clickBox(w.chkAutoUpdate);
        QVERIFY(w.chkAutoUpdate->isChecked() && w.Timer2.isActive());
        if (!record.isEmpty()) {
            QVERIFY(answer(record));
            QVERIFY(w.lblCurrentDelayAVG->text().startsWith("6 uS"));   // taken
        } else if (auto *box = w.findChild<QCheckBox *>(target)) {
            clickBox(box);
        } else if (auto *button = w.findChild<QPushButton *>(target)) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            w.scrlAdditionalDelay->setFocus();
            QTest::keyClick(w.scrlAdditionalDelay, Qt::Key_Right);
        }
        QTEST(w.lblAdditionalDelay->text(), "delay");
        QCOMPARE(w.chkAutoServo->isChecked(), target == "chkAutoServo" || (record.size() && record.at(60) == 1));
        QCOMPARE(m_boxes->count(), target == "cmdResetStats" ? 1 : 0);
        QVERIFY(target != "chkAutoClear" || platform::readSetting(kAutoClear, QString()) == "1");   // kept
        QCOMPARE((QList<bool>{w.chkAutoUpdate->isChecked(), w.Timer2.isActive()}), QList<bool>(2, stillRefreshing));
        if (stillRefreshing) {   // two more "GetDel" arrive by themselves
            const int before = m_arrived->count();
            QVERIFY(m_arrived->waitFor(before + 2, 10000));
            QCOMPARE(m_arrived->all().mid(before).count(QByteArray("GetDel")), 2);
        }
    }

    // With the slider at 1000 and auto servo on, Set sends 53 00 01 86 A0 01, with auto clear
    // followed by the counter reset unasked; closing stores the values of that moment, and
    // only after Set.
    void setSendsAndClosingStores_data()
    {
        QTest::addColumn<bool>("set"); QTest::addColumn<bool>("autoClear");
        QTest::addColumn<int>("stepsAfterSet");   // slider moved before closing
        QTest::addColumn<QList<QByteArray>>("sent"); QTest::addColumn<QString>("dlySrv");
        const QByteArray delay = QByteArray::fromHex("530001 86A001");
        QTest::newRow("without Set") << false << false << 0 << QList<QByteArray>{"GetDel"} << "1000 0";
        QTest::newRow("Set, auto clear off") << true << false << 0 << QList<QByteArray>{delay, "GetDel"} << "1000 1";
        QTest::newRow("Set, auto clear on, moved after") << true << true << 3 << QList<QByteArray>{delay, "RstStats"}
                                                         << "1003 1";
    }
    void setSendsAndClosingStores()
    {
        QFETCH(bool, set); QFETCH(bool, autoClear); QFETCH(int, stepsAfterSet);
        platform::writeSetting(kAutoClear, autoClear ? "1" : "0");
        frmAdjust &w = openAdjust(ini("127.0.0.1", "1", "1000", "0"));
        QVERIFY(QTest::qWaitForWindowActive(&w));
        clickBox(w.chkAutoServo);
        QVERIFY(!w.UnsavedParameters);
        if (set)
            QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        QCOMPARE(w.UnsavedParameters, set);
        if (!autoClear) {   // well past the reset's moment, the next datagram is the marker
            QTest::qWait(750);
            QTest::mouseClick(w.cmdRefresh, Qt::LeftButton);
        }
        QVERIFY(m_arrived->waitFor(set ? 3 : 2));
        QTEST(m_arrived->all().mid(1), "sent");
        QVERIFY(m_boxes->count() == 0 && !w.Timer1.isActive());
        w.scrlAdditionalDelay->setFocus();
        for (int i = 0; i < stepsAfterSet; ++i)
            QTest::keyClick(w.scrlAdditionalDelay, Qt::Key_Right);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QTEST(stored("dly") + ' ' + stored("srv"), "dlySrv");
        QCOMPARE(m_boxes->texts(), set ? QStringList{"There are unsaved parameters. Don't forget to click the 'Save' "
                                                     "button."} : QStringList());
        QVERIFY(!set || m_boxes->shown().at(0).icon == MsgIcon::Information);
        QVERIFY(!w.UnsavedParameters);
    }

    void unreadableRecordReportsError4()
    {
        frmAdjust &w = openAdjust(ini("127.0.0.1", "yes"));
        clickBox(w.chkAutoUpdate);
        QVERIFY(answer(record(120000, 0, 0, 0)));
        QCOMPARE(m_boxes->texts(),
                 QStringList{"Error 4 while retrieving values. Please reset the device and try again."});
        QVERIFY(m_boxes->shown().at(0).icon == MsgIcon::Critical && m_env->endProgramCalls() == 0);
        QCOMPARE(w.lblFixedLatencyMAC->text() + ' ' + w.lblCurrentDelayAVG->text(), "265 nS -");
        QVERIFY(!w.Timer2.isActive() && w.isVisible());   // else a box every second
    }
};

QTEST_MAIN(TestStatusWindows)
#include "tst_statuswindows.moc"
