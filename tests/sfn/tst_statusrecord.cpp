// The status record both windows read and the simulator writes, the set-delay command, the "sfn"
// key, and the two decoders over it: error shares, every record length, the compensation, latencies
// with and without servo correction, the step at which a sum overflows.
#include <QtTest>
#include <limits>

#include "diagnostics/StatsRecord.h"
#include "sfn/DelayResponse.h"
#include "sfn/StatusRecord.h"

static constexpr qint32 kMax = std::numeric_limits<qint32>::max(), kMin = std::numeric_limits<qint32>::min();

namespace {

DelayResponse parse(const StatusRecord &r) { return parseDelayResponse(encodeStatusRecord(r), "1", true, 0, 25000); }

// Every field different, small enough that no sum overflows.
StatusRecord distinctRecord()
{
    StatusRecord r;
    r.txFramesOk = 1001, r.rxFramesOk = 1002, r.txFramesErr = 3, r.rxFramesErr = 4, r.ptpSyncOk = 1005;
    r.ptpSyncErr = 6, r.ptpClockDiff = -7, r.ptpMeasuredDelay = 8000, r.audioFramesOk = 1009;
    r.audioFramesErr = 10, r.delayAvg = 11, r.additionalDelay = 52000;
    return r;
}

} // namespace

class TestStatusRecord : public QObject {
    Q_OBJECT
private slots:
    void formatNanoseconds_data()
    {
        QTest::addColumn<qint32>("ns"); QTest::addColumn<QString>("text");
        QTest::newRow("1000005") << 1000005 << "1 mS, 0 uS, 5 nS";
        QTest::newRow("-1500") << -1500 << "-1 uS, 500 nS";
        QTest::newRow("-1") << -1 << "-1 nS";
        QTest::newRow("INT32_MAX") << kMax << "2147 mS, 483 uS, 647 nS";
        QTest::newRow("INT32_MIN") << kMin << "-2147 mS, 483 uS, 648 nS";
    }
    void formatNanoseconds() { QFETCH(qint32, ns); QTEST(FormatNanoseconds(ns), "text"); }

    void additionOverflow()
    {
        QCOMPARE(checkedAdd(kMax - 1, 1), std::optional<qint32>(kMax));
        QCOMPARE(checkedAdd(kMin, kMax), std::optional<qint32>(-1));
        QVERIFY(!checkedAdd(kMax, 1) && !checkedAdd(kMin, -1));
    }

    void sfnKey_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<int>("state");   // 1 on, 0 off, -1 not a number
        for (const auto &[text, state] : {std::pair(" 1 ", 1), {"1.0", 1}, {"2", 0}, {"", -1}})
            QTest::newRow(text) << QString::fromLatin1(text) << state;
    }
    void sfnKey()
    {
        QFETCH(QString, text);
        const std::optional<bool> on = sfnIsOn(text);
        QTEST(on ? int(*on) : -1, "state");
    }

    void additionalDelayToSlider_data()
    {
        QTest::addColumn<qint32>("add"); QTest::addColumn<int>("slider");
        QTest::addColumn<double>("steps"); QTest::addColumn<QString>("text");
        QTest::newRow("half to even down") << 12250 << 122 << 122.5 << "12 uS, 200 nS";
        QTest::newRow("half to even up") << 12350 << 124 << 123.5 << "12 uS, 400 nS";
        QTest::newRow("above the range") << 2500001 << 25000 << 25000.0 << "2 mS, 500 uS, 0 nS";
        QTest::newRow("negative") << -5000 << 0 << 0.0 << "0 nS";
    }
    void additionalDelayToSlider()
    {
        QFETCH(qint32, add); QFETCH(int, slider);
        StatusRecord r;
        r.additionalDelay = add;
        const DelayResponse d = parse(r);
        QVERIFY(!d.failed);
        QCOMPARE(d.sliderValue, std::optional<int>(slider));
        QCOMPARE(d.additionalDelayNs, std::optional<qint32>(slider * 100));
        QTEST(d.lblAdditionalDelay.value_or("<none>"), "text");
        QTEST(d.variables.UDP_Response_PTP_Additional_Delay, "steps");
    }

    // Only flag 1 applies the servo correction (flag 1 itself: tst_statuswindows); measured 120 us
    // (min 100, max 150) plus 1 us compensation.
    void servoFlagOtherThanOneIsOff()
    {
        StatusRecord r;
        r.delayAvg = 120000, r.delayMin = 100000, r.delayMax = 150000;
        r.additionalDelay = 1000, r.servoCorrection = -150, r.autoServo = 2;
        const DelayResponse d = parse(r);
        QVERIFY(!d.failed);
        QCOMPARE(d.autoServoChecked, std::optional<bool>(false));
        QCOMPARE(d.autoServoCaption, std::optional<QString>("Auto servo"));
        QCOMPARE(d.variables.UDP_Response_PTP_Auto_Servo, quint8(2));
        const DelayVariables &v = d.variables;
        QCOMPARE((QList<qint32>{v.UDP_Response_PTP_Propagation_Delay_Average, v.UDP_Response_PTP_Propagation_Delay_Minimum,
                                v.UDP_Response_PTP_Propagation_Delay_Maximum}),
                 (QList<qint32>{121000, 101000, 151000}));
        QCOMPARE(d.lblDelaySumAVG, std::optional<QString>("517 uS, 98 nS"));
    }

    void overflowStopsAtItsStep_data()
    {
        const qint32 max = kMax;
        QTest::addColumn<qint32>("avg"); QTest::addColumn<qint32>("min"); QTest::addColumn<qint32>("maxField");
        QTest::addColumn<int>("labelsSet");   // latency label pairs filled before the failure
        QTest::newRow("avg + add") << max << 0 << 0 << 0;
        QTest::newRow("avg summary") << max - 2000 << 0 << 0 << 0;
        QTest::newRow("min + add") << 0 << max << 0 << 1;
        QTest::newRow("max summary") << 0 << 0 << max - 396097 - 1000 << 2;
    }
    void overflowStopsAtItsStep()
    {
        QFETCH(int, labelsSet); QFETCH(qint32, avg); QFETCH(qint32, min); QFETCH(qint32, maxField);
        StatusRecord r;
        r.additionalDelay = 1000, r.delayAvg = avg, r.delayMin = min, r.delayMax = maxField;
        const DelayResponse d = parse(r);
        QVERIFY(d.failed);
        // Steps before the failing one keep their results.
        QCOMPARE(d.sliderValue, std::optional<int>(10));
        QCOMPARE(d.autoServoCaption, std::optional<QString>("Auto servo"));
        QCOMPARE((QList<bool>{d.lblCurrentDelayAVG.has_value(), d.lblDelaySumAVG.has_value(),
                              d.lblCurrentDelayMIN.has_value()}),
                 (QList<bool>{labelsSet >= 1, labelsSet >= 1, labelsSet >= 2}));
        QVERIFY(!d.lblCurrentDelayMAX && !d.lblDelaySumMAX);
    }

    void errorShares_data()
    {
        QTest::addColumn<qint32>("ok"); QTest::addColumn<qint32>("err"); QTest::addColumn<QString>("label");
        // 0 of 0, 1 of 3, 5 of 2000: tst_station::recordAsShown.
        QTest::newRow("all bad") << 0 << 9 << "9 (100%)";
        QTest::newRow("2 against 799998") << 799998 << 2 << "2 (0%)";
        QTest::newRow("half to even down") << 799 << 1 << "1 (0.12%)";   // 0.125
        QTest::newRow("half to even up") << 797 << 3 << "3 (0.38%)";     // 0.375
        QTest::newRow("large counts") << 16777217 << 16777217 << "16777217 (50%)";
    }
    void errorShares()
    {
        QFETCH(qint32, ok); QFETCH(qint32, err);
        bool overflow = false;
        QTEST(errorLabelText(err, errorShare(ok, err, &overflow)), "label");
        QVERIFY(!overflow);
        errorShare(kMax, 1, &overflow);
        QVERIFY(overflow);
    }

    // A record shorter than 61 bytes is read as far as it goes; missing fields are zero.
    void everyRecordLength()
    {
        const QByteArray full = encodeStatusRecord(distinctRecord());
        for (int length = 0; length <= kStatusRecordLength; ++length) {
            const auto expect = [length](int offset, qint32 value) { return offset + 4 <= length ? value : 0; };
            StatsVariables previous;
            previous.UDP_Response_PTP_Sync_OK = -99;
            const StatsValues s = parseStatsResponse(full.left(length), true, true, previous);
            const StatsVariables &v = s.variables;
            const QList<qint32> got = {v.UDP_Response_Tx_Frames_OK, v.UDP_Response_Rx_Frames_OK,
                                       v.UDP_Response_Tx_Frames_Err, v.UDP_Response_Rx_Frames_Err,
                                       v.UDP_Response_PTP_Sync_OK, v.UDP_Response_PTP_Sync_Err,
                                       v.UDP_Response_PTP_Sync_Value, v.UDP_Response_PTP_Sync_Latency,
                                       v.UDP_Response_Rx_Audio_Frames_OK, v.UDP_Response_Rx_Audio_Frames_Err,
                                       v.UDP_Response_Additional_Latency};
            const QList<qint32> want = {expect(0, 1001), expect(4, 1002), expect(8, 3), expect(12, 4),
                                        expect(16, 1005), expect(20, 6), expect(24, -7),
                                        expect(28, 8000) + expect(52, 52000), expect(32, 1009), expect(36, 10),
                                        expect(52, 52000)};
            QVERIFY2(!s.failed && got == want, qPrintable(QStringLiteral("length %1").arg(length)));
        }
    }

    void failureKeepsEarlierSteps_data()
    {
        // overflowAt: offset of the field set to INT32_MAX; labelsSet: filled before the failure, in step order
        QTest::addColumn<QString>("sfn"); QTest::addColumn<int>("overflowAt"); QTest::addColumn<int>("labelsSet");
        QTest::newRow("tx sum") << "1" << 8 << 2;
        QTest::newRow("rx sum") << "1" << 12 << 3;
        QTest::newRow("sfn not a number") << "x" << -1 << 4;
        QTest::newRow("measured delay sum") << "1" << 28 << 7;
        QTest::newRow("audio sum") << "1" << 36 << 9;
    }
    void failureKeepsEarlierSteps()
    {
        QFETCH(QString, sfn); QFETCH(int, overflowAt); QFETCH(int, labelsSet);
        QByteArray record = encodeStatusRecord(distinctRecord());
        if (overflowAt >= 0)
            record.replace(overflowAt, 4, QByteArray("\x7f\xff\xff\xff", 4));
        StatsVariables previous;
        previous.UDP_Response_Rx_Audio_Frames_Err_Ratio = 7.5f;
        const StatsValues s = parseStatsResponse(record, sfn, true, previous);
        QVERIFY(s.failed);
        const StatsLabels &l = s.labels;
        const bool set[] = {l.lblMACTxOK.has_value(), l.lblMACRxOK.has_value(), l.lblMACTxErr.has_value(),
                            l.lblMACRxErr.has_value(), l.lblPTPRxOK.has_value(), l.lblPTPRxErr.has_value(),
                            l.lblPTPClkAdj.has_value(), l.lblPTPLatency.has_value(),
                            l.lblAudioRxFramesOK.has_value()};
        for (int i = 0; i < int(std::size(set)); ++i)
            QVERIFY2(set[i] == (i < labelsSet), qPrintable(QString::number(i)));
        // The audio error label is blanked to "-" before its failing share is computed.
        QCOMPARE(l.lblAudioRxFramesErr, overflowAt == 36 ? std::optional<QString>("-") : std::nullopt);
        QCOMPARE(s.variables.UDP_Response_Rx_Audio_Frames_Err_Ratio, 7.5f);
        QCOMPARE(s.variables.UDP_Response_Additional_Latency, 52000);
    }
};

QTEST_APPLESS_MAIN(TestStatusRecord)
#include "tst_statusrecord.moc"
