// The diagnostics' exchanges of the core: the element's port 2978 for the statistics and
// SFN windows, the level monitor on the main socket, the ping. The element is the test
// on loopback: with a stored address of 127.0.0.1 the exchange's own commands come back
// to its socket on 2978, where the test reads them.
#include <QSignalSpy>
#include <QUdpSocket>

#include "LevelSignal.h"
#include "StationCore.h"
#include "sfn/StatusRecord.h"
#include "station/ElementLink.h"
#include "station/Ping.h"

using station::StatusExchange;
using Kind = station::StatusExchange::Kind;
Q_DECLARE_METATYPE(station::StatusExchange::Kind)

namespace {

const QString kStored = QStringLiteral("The stored IP address \"%1\" of this element is not ");

QString record(const QString &ip, const QString &sfn = QStringLiteral("1"))
{
    Keys keys{{"name", "TX SITE"}, {"role", "2"}, {"sfn", sfn}};
    if (!ip.isNull())
        keys.append({"ip", ip});
    return iniSection(kSection, keys);
}

// Every sample of the answer is `peak`.
QByteArray block(qint32 peak, int length = 1201)
{
    return sim::levelBlock({sim::LevelSignal::Kind::Constant, peak}, length);
}

} // namespace

class TestExchanges : public QObject {
    Q_OBJECT
private slots:
    void init() { guardHostNamespace(); }

    void commandsReachTheElement_data()
    {
        QTest::addColumn<Kind>("kind"); QTest::addColumn<QList<QByteArray>>("sent");
        QTest::newRow("statistics") << Kind::Statistics << QList<QByteArray>{"GetStats", "RstStats"};
        QTest::newRow("delay") << Kind::Delay << QList<QByteArray>{"GetDel", "RstStats", QByteArray::fromHex("53000186A001")};
    }
    void commandsReachTheElement()
    {
        QFETCH(Kind, kind); QFETCH(QList<QByteArray>, sent);
        Core c;
        c.env.writeIni(record("127.0.0.1"));
        StatusExchange x(kind, station::ElementLink(kSection, c.env.iniPath()), true);
        QVERIFY(x.open().ok());
        QSignalSpy arrived(&x.socket(), &platform::UdpPort::datagramReceived);
        QVERIFY(x.request().ok() && x.reset().ok());
        if (kind == Kind::Delay)
            QVERIFY(x.setDelay(100000, true).ok());
        QTRY_COMPARE(arrived.count(), sent.size());
        for (int i = 0; i < sent.size(); ++i)
            QCOMPARE(arrived.at(i).at(0).toByteArray(), sent.at(i));
    }

    // A bad stored address is told, with what was not done, and nothing is sent.
    void unusableStoredAddressIsReported_data()
    {
        QTest::addColumn<QString>("ip"); QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QString() << "No IP address is stored for this element.";
        QTest::newRow("empty") << "" << "No IP address is stored for this element.";
        for (const char *ip : {"studio", "10.0.0.256"})
            QTest::newRow(ip) << ip << kStored.arg(ip) + "valid.";
        for (const char *ip : {"255.255.255.255", "0.0.0.0"})
            QTest::newRow(ip) << ip << kStored.arg(ip) + "an element's address.";
    }
    void unusableStoredAddressIsReported()
    {
        QFETCH(QString, ip); QFETCH(QString, problem);
        Core c;
        c.env.writeIni(record(ip));
        StatusExchange stats(Kind::Statistics, station::ElementLink(kSection, c.env.iniPath()), true);
        QVERIFY(stats.open().ok());
        QSignalSpy arrived(&stats.socket(), &platform::UdpPort::datagramReceived);
        const QStringList texts{stats.request().message.text, stats.reset().message.text};
        QCOMPARE(texts, (QStringList{problem + "\rThe counters were not requested.", problem + "\rThe counters were not reset."}));
        StatusExchange delay(Kind::Delay, station::ElementLink(kSection, c.env.iniPath()), true);
        const station::Result set = delay.setDelay(1000, false);
        QCOMPARE(set.outcome, station::Outcome::Refused);
        QCOMPARE(set.message.text + '|' + delay.request().message.text,
                 problem + "\rThe delay was not set.|" + problem + "\rThe values were not requested.");
        QCOMPARE(set.message.icon, platform::MsgIcon::Critical);
        QTest::qWait(50);
        QCOMPARE(arrived.count(), 0);
        QCOMPARE(c.env.endProgramCalls(), 0);
    }

    // What a record comes to, as the statistics window shows it ("*": as before the record).
    void statisticsAsShown_data()
    {
        QTest::addColumn<QString>("sfn"); QTest::addColumn<bool>("decoder");
        QTest::addColumn<int>("length"); QTest::addColumn<QStringList>("expected");
        const QStringList macAndAudio = {"16777217", "0 (0%)", "2", "1 (33.33%)", "1995", "5 (0.25%)"};
        const QStringList none = {"*", "*", "*", "*"}, ptp = {"100", "3", "-42 nS", "1500 nS"};
        QTest::newRow("decoder with SFN: everything") << "1" << true << 61 << macAndAudio + ptp;
        QTest::newRow("SFN off: no PTP values") << "0" << true << 61 << macAndAudio + none;
        QTest::newRow("SFN key absent counts as off") << QString() << true << 61 << macAndAudio + none;
        QTest::newRow("encoder: no clock difference or delay") << "1" << false << 61 << macAndAudio + ptp.mid(0, 2) + none.mid(2);
        QTest::newRow("40 bytes: bare measured delay") << "1" << true << 40 << macAndAudio + ptp.mid(0, 3) + QStringList{"1000 nS"};
        QTest::newRow("62 bytes is ignored") << "1" << true << 62 << QStringList();
    }
    void statisticsAsShown()
    {
        QFETCH(QString, sfn); QFETCH(bool, decoder); QFETCH(int, length); QFETCH(QStringList, expected);
        Core c;
        c.env.writeIni(iniSection(kSection, sfn.isNull() ? Keys{{"role", "2"}} : Keys{{"role", "2"}, {"sfn", sfn}}));
        StatusRecord r;
        r.txFramesOk = 16777217;   // beyond single-precision exactness
        r.rxFramesOk = 2, r.rxFramesErr = 1, r.ptpSyncOk = 100, r.ptpSyncErr = 3, r.ptpClockDiff = -42;
        r.ptpMeasuredDelay = 1000, r.audioFramesOk = 1995, r.audioFramesErr = 5, r.additionalDelay = 500;
        StatusExchange x(Kind::Statistics, station::ElementLink(kSection, c.env.iniPath()), decoder);
        QSignalSpy read(&x, &StatusExchange::statisticsRead);
        x.take(encodeStatusRecord(r).leftJustified(length, '\0', true));
        QCOMPARE(read.count(), expected.isEmpty() ? 0 : 1);
        if (expected.isEmpty())
            return;
        const StatsLabels l = read.at(0).at(0).value<StatsValues>().labels;
        QStringList got;
        for (const auto &text : {l.lblMACTxOK, l.lblMACTxErr, l.lblMACRxOK, l.lblMACRxErr, l.lblAudioRxFramesOK,
                                 l.lblAudioRxFramesErr, l.lblPTPRxOK, l.lblPTPRxErr, l.lblPTPClkAdj, l.lblPTPLatency})
            got << text.value_or(QStringLiteral("*"));
        QCOMPARE(got, expected);
    }

    // A delay record of another element type or with SFN off only gives the fixed
    // latencies; a datagram of another length is no record.
    void delayAsShown_data()
    {
        QTest::addColumn<QString>("sfn"); QTest::addColumn<bool>("decoder"); QTest::addColumn<int>("length");
        QTest::addColumn<int>("read"); QTest::addColumn<bool>("measured");
        QTest::newRow("SFN decoder") << "1" << true << 61 << 1 << true;
        QTest::newRow("SFN off") << "0" << true << 61 << 1 << false;
        QTest::newRow("encoder") << "1" << false << 61 << 1 << false;
        QTest::newRow("60 bytes") << "1" << true << 60 << 0 << false;
        QTest::newRow("62 bytes") << "1" << true << 62 << 0 << false;
    }
    void delayAsShown()
    {
        QFETCH(QString, sfn); QFETCH(bool, decoder); QFETCH(int, length); QFETCH(int, read); QFETCH(bool, measured);
        Core c;
        c.env.writeIni(iniSection(kSection, {{"role", "2"}, {"sfn", sfn}}));
        StatusRecord r;
        r.delayAvg = 120000, r.additionalDelay = 12345;
        StatusExchange x(Kind::Delay, station::ElementLink(kSection, c.env.iniPath()), decoder);
        QSignalSpy spy(&x, &StatusExchange::delayRead);
        x.take(encodeStatusRecord(r).leftJustified(length, '\0', true));
        QCOMPARE(spy.count(), read);
        if (!read)
            return;
        const DelayResponse d = spy.at(0).at(0).value<DelayResponse>();
        QCOMPARE(d.lblFixedLatencyMAC + ' ' + d.lblFixedLatencyAUDIO, QStringLiteral("265 nS 395 uS, 833 nS"));
        QCOMPARE(d.lblCurrentDelayAVG.has_value() && d.sliderValue.has_value() && d.autoServoCaption.has_value(), measured);
    }

    // An "sfn" that is not a number fails the PTP step: "Error 5" / "Error 4", and what came
    // before the failing step is given all the same.
    void unreadableRecordIsReported()
    {
        Core c;
        c.env.writeIni(record("127.0.0.1", "on"));
        StatusRecord r;
        r.txFramesOk = 16777217, r.rxFramesOk = 2, r.rxFramesErr = 1, r.delayAvg = 120000;
        StatusExchange stats(Kind::Statistics, station::ElementLink(kSection, c.env.iniPath()), true);
        StatusExchange delay(Kind::Delay, station::ElementLink(kSection, c.env.iniPath()), true);
        QSignalSpy statsRead(&stats, &StatusExchange::statisticsRead), statsBad(&stats, &StatusExchange::unreadable);
        QSignalSpy delayRead(&delay, &StatusExchange::delayRead), delayBad(&delay, &StatusExchange::unreadable);
        stats.take(encodeStatusRecord(r));
        delay.take(encodeStatusRecord(r));
        QCOMPARE(QList<int>({int(statsRead.count()), int(statsBad.count()), int(delayRead.count()), int(delayBad.count())}),
                 QList<int>({1, 1, 1, 1}));
        QCOMPARE(statsBad.at(0).at(0).value<MessageSpec>().text,
                 QStringLiteral("Error 5 while retrieving values. Please reset the device and try again."));
        QCOMPARE(delayBad.at(0).at(0).value<MessageSpec>().text,
                 QStringLiteral("Error 4 while retrieving values. Please reset the device and try again."));
        QCOMPARE(stats.statistics().UDP_Response_Tx_Frames_OK, 16777217);
        QCOMPARE(*statsRead.at(0).at(0).value<StatsValues>().labels.lblMACRxErr, QStringLiteral("1 (33.33%)"));
        QCOMPARE(delayRead.at(0).at(0).value<DelayResponse>().lblFixedLatencyMAC, QStringLiteral("265 nS"));
    }

    void portTakenIsThePortMessage_data()
    {
        QTest::addColumn<Kind>("kind"); QTest::addColumn<QString>("message");
        QTest::newRow("statistics") << Kind::Statistics << "Error 2: Unable to use UDP port 2978: occupied.";
        QTest::newRow("delay") << Kind::Delay << "Unable to use UDP port 2978: occupied.";
    }
    void portTakenIsThePortMessage()
    {
        QFETCH(Kind, kind); QFETCH(QString, message);
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 2978, QAbstractSocket::DontShareAddress));
        StatusExchange x(kind, station::ElementLink(kSection, platform::databasePath()), true);
        const station::Result opened = x.open();
        QCOMPARE(opened.outcome, station::Outcome::PortBusy);
        QCOMPARE(opened.message.text, message);
    }

    // A bad stored address stops monitoring at the first tick, with one message.
    void levelRequestThatCannotBeSentStops_data()
    {
        QTest::addColumn<QString>("ip"); QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QString() << "No IP address is stored for this element.";
        QTest::newRow("not an address") << "studio.local" << kStored.arg("studio.local") + "valid.";
        QTest::newRow("broadcast") << "255.255.255.255" << kStored.arg("255.255.255.255") + "an element's address.";
    }
    void levelRequestThatCannotBeSentStops()
    {
        QFETCH(QString, ip); QFETCH(QString, problem);
        Core c;
        c.env.writeIni(record(ip));
        QVERIFY(c.s.open(0).ok());
        station::LevelMonitor &m = c.s.level();
        QSignalSpy stopped(&m, &station::LevelMonitor::stopped);
        m.setInterval(1);
        m.start(kSection);
        QVERIFY(stopped.wait(5000));
        QCOMPARE(stopped.at(0).at(0).value<MessageSpec>().text, problem + "\rAudio monitoring has been stopped.");
        QVERIFY(!m.isRunning());
        QTest::qWait(50);
        QCOMPARE(stopped.count(), 1);
        QVERIFY(c.env.endProgramCalls() == 0 && c.s.socket().isBound());
    }

    // Answers at 1 ms: each is taken, the display follows at the screen's pace and ends on
    // the latest; a block is read whole, with nothing else run in the middle of it.
    void burstOfAnswersEndsOnTheLatest()
    {
        Core c;
        c.env.writeIni(record("127.0.0.1"));
        station::LevelMonitor &m = c.s.level();
        QStringList shown;
        connect(&m, &station::LevelMonitor::shown, this, [&](const LevelDisplay &d) { shown << d.text; });
        m.setInterval(500);
        m.start(kSection);
        bool ranMeanwhile = false;
        QTimer::singleShot(0, this, [&ranMeanwhile] { ranMeanwhile = true; });
        m.take(block(0x400000, 31201));
        QVERIFY(!ranMeanwhile);
        for (qint32 peak = 0x100000; peak < 0x100000 + 500; ++peak)
            m.take(block(peak));
        m.take(block(0x200000));
        QCOMPARE(shown, QStringList{"-6dBFS"});   // not shown per answer
        QCOMPARE(m.audioPeak(), 0x200000);
        QTRY_COMPARE(shown.last(), QStringLiteral("-12dBFS"));
        // Switched off during a burst: the off state wins over a pending display.
        m.take(block(0x400000));
        m.take(block(0x100000));
        m.stop();
        m.take(block(0x400000));   // on its way when monitoring stopped
        QTest::qWait(100);
        QCOMPARE(shown.last(), QStringLiteral("-oodBFS"));
    }

    // Outcomes known before anything is sent: no request is left pending.
    void pingRefusedWithoutSending_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<QString>("caption");
        QTest::newRow("any address") << "0.0.0.0" << "Failed!";
        QTest::newRow("broadcast") << "255.255.255.255" << "Failed!";
        QTest::newRow("any address, padded") << "00.0.0.000" << "Failed!";
        QTest::newRow("not an address") << "studio" << "Trying...";
        QTest::newRow("three parts") << "127.0.1" << "Trying...";
        QTest::newRow("part too large") << "127.0.0.256" << "Trying...";
        QTest::newRow("empty") << "" << "Trying...";
    }
    void pingRefusedWithoutSending()
    {
        QFETCH(QString, text); QFETCH(QString, caption);
        station::Ping ping;
        QSignalSpy finished(&ping, &station::Ping::finished);
        const station::PingFace face = ping.PingElement(text, kMacText);
        QCOMPARE(face.caption, caption);
        QVERIFY(!face.pending && !ping.isBusy());
        QTest::qWait(50);
        QCOMPARE(finished.count(), 0);
    }

    // Loopback answers, twice in a row; a cancelled request never reports.
    void pingLoopback()
    {
        station::Ping ping;
        QSignalSpy finished(&ping, &station::Ping::finished);
        for (int round = 1; round <= 2; ++round) {
            QVERIFY(ping.PingElement(QStringLiteral("127.0.0.1"), kMacText).pending);
            QVERIFY(finished.wait(5000));
            const auto face = finished.last().at(0).value<station::PingFace>();
            QVERIFY2(face.state == station::PingFace::State::Success && face.caption.endsWith(" ms"), qPrintable(face.caption));
            QCOMPARE(finished.last().at(1).toString(), kMacText);
        }
        QVERIFY(ping.PingElement(QStringLiteral("127.0.0.1"), kMacText).pending);
        ping.cancel();
        QTest::qWait(300);
        QCOMPARE(finished.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestExchanges)
#include "tst_exchanges.moc"
