// The statistics record decoder: error shares, every record length, steps kept when a sum overflows.
#include "diagnostics/StatsRecord.h"
#include "sfn/StatusRecord.h"

#include <QtTest>

#include <limits>

namespace {

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

class tst_StatsRecord : public QObject {
    Q_OBJECT
private slots:
    void errorShares_data()
    {
        QTest::addColumn<qint32>("ok"); QTest::addColumn<qint32>("err"); QTest::addColumn<QString>("label");
        QTest::newRow("nothing counted") << 0 << 0 << "0 (0%)";
        QTest::newRow("1 against 2") << 2 << 1 << "1 (33.33%)";
        QTest::newRow("5 against 1995") << 1995 << 5 << "5 (0.25%)";
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
        errorShare(std::numeric_limits<qint32>::max(), 1, &overflow);
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

QTEST_APPLESS_MAIN(tst_StatsRecord)
#include "tst_statsrecord.moc"
