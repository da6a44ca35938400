#include "diagnostics/StatsRecord.h"
#include "sfn/StatusRecord.h"

#include <QtTest>

#include <limits>

namespace {

constexpr qint32 kMax = std::numeric_limits<qint32>::max();

// Every field different, small enough that no sum overflows.
StatusRecord distinctRecord()
{
    StatusRecord r;
    r.txFramesOk = 1001;
    r.rxFramesOk = 1002;
    r.txFramesErr = 3;
    r.rxFramesErr = 4;
    r.ptpSyncOk = 1005;
    r.ptpSyncErr = 6;
    r.ptpClockDiff = -7;
    r.ptpMeasuredDelay = 8000;
    r.audioFramesOk = 1009;
    r.audioFramesErr = 10;
    r.delayAvg = 11;
    r.additionalDelay = 52000;
    return r;
}

} // namespace

class tst_StatsRecord : public QObject {
    Q_OBJECT
private slots:
    void errorShares_data();
    void errorShares();
    void everyRecordLength();
    void labelsOfFullRecord();
    void ptpLabelsNeedSfnAndDecoder_data();
    void ptpLabelsNeedSfnAndDecoder();
    void failureKeepsEarlierSteps_data();
    void failureKeepsEarlierSteps();
};

void tst_StatsRecord::errorShares_data()
{
    QTest::addColumn<qint32>("ok");
    QTest::addColumn<qint32>("err");
    QTest::addColumn<QString>("label");
    QTest::newRow("nothing counted") << 0 << 0 << "0 (0%)";
    QTest::newRow("1 against 2") << 2 << 1 << "1 (33.33%)";
    QTest::newRow("5 against 1995") << 1995 << 5 << "5 (0.25%)";
    QTest::newRow("1 against 7") << 7 << 1 << "1 (12.5%)";
    QTest::newRow("all bad") << 0 << 9 << "9 (100%)";
    QTest::newRow("2 against 799998") << 799998 << 2 << "2 (0%)";
    QTest::newRow("half to even down") << 799 << 1 << "1 (0.12%)";   // 0.125
    QTest::newRow("half to even up") << 797 << 3 << "3 (0.38%)";     // 0.375
    QTest::newRow("large counts") << 16777217 << 16777217 << "16777217 (50%)";
}

void tst_StatsRecord::errorShares()
{
    QFETCH(qint32, ok);
    QFETCH(qint32, err);
    QFETCH(QString, label);
    bool overflow = false;
    QCOMPARE(errorLabelText(err, errorShare(ok, err, &overflow)), label);
    QVERIFY(!overflow);
    errorShare(kMax, 1, &overflow);
    QVERIFY(overflow);
}

void tst_StatsRecord::everyRecordLength()
{
    const QByteArray full = encodeStatusRecord(distinctRecord());
    for (int length = 0; length <= kStatusRecordLength; ++length) {
        const QString where = QStringLiteral("length %1").arg(length);
        const auto expect = [length](int offset, qint32 value) { return offset + 4 <= length ? value : 0; };
        StatsVariables previous;
        previous.UDP_Response_PTP_Sync_OK = -99;
        const StatsValues s = parseStatsResponse(full.left(length), true, true, previous);
        const StatsVariables &v = s.variables;
        QVERIFY2(!s.failed, qPrintable(where));
        QVERIFY2(v.UDP_Response_Tx_Frames_OK == expect(0, 1001), qPrintable(where));
        QVERIFY2(v.UDP_Response_Rx_Frames_OK == expect(4, 1002), qPrintable(where));
        QVERIFY2(v.UDP_Response_Tx_Frames_Err == expect(8, 3), qPrintable(where));
        QVERIFY2(v.UDP_Response_Rx_Frames_Err == expect(12, 4), qPrintable(where));
        QVERIFY2(v.UDP_Response_PTP_Sync_OK == expect(16, 1005), qPrintable(where));
        QVERIFY2(v.UDP_Response_PTP_Sync_Err == expect(20, 6), qPrintable(where));
        QVERIFY2(v.UDP_Response_PTP_Sync_Value == expect(24, -7), qPrintable(where));
        QVERIFY2(v.UDP_Response_PTP_Sync_Latency == expect(28, 8000) + expect(52, 52000), qPrintable(where));
        QVERIFY2(v.UDP_Response_Rx_Audio_Frames_OK == expect(32, 1009), qPrintable(where));
        QVERIFY2(v.UDP_Response_Rx_Audio_Frames_Err == expect(36, 10), qPrintable(where));
        QVERIFY2(v.UDP_Response_Additional_Latency == expect(52, 52000), qPrintable(where));
    }
}

void tst_StatsRecord::labelsOfFullRecord()
{
    const StatsValues s = parseStatsResponse(encodeStatusRecord(distinctRecord()), QStringLiteral("1"), true);
    QVERIFY(!s.failed);
    const StatsLabels &l = s.labels;
    QCOMPARE(*l.lblMACTxOK, QStringLiteral("1001"));
    QCOMPARE(*l.lblMACTxErr, QStringLiteral("3 (0.3%)"));
    QCOMPARE(*l.lblMACRxOK, QStringLiteral("1002"));
    QCOMPARE(*l.lblMACRxErr, QStringLiteral("4 (0.4%)"));
    QCOMPARE(*l.lblPTPRxOK, QStringLiteral("1005"));
    QCOMPARE(*l.lblPTPRxErr, QStringLiteral("6"));
    QCOMPARE(*l.lblPTPClkAdj, QStringLiteral("-7 nS"));
    QCOMPARE(*l.lblPTPLatency, QStringLiteral("60000 nS"));
    QCOMPARE(*l.lblAudioRxFramesOK, QStringLiteral("1009"));
    QCOMPARE(*l.lblAudioRxFramesErr, QStringLiteral("10 (0.98%)"));
    QCOMPARE(s.variables.UDP_Response_Rx_Audio_Frames_Err_Ratio, 0.98f);
}

void tst_StatsRecord::ptpLabelsNeedSfnAndDecoder_data()
{
    QTest::addColumn<QString>("sfn");
    QTest::addColumn<bool>("decoder");
    QTest::addColumn<bool>("syncLabels");
    QTest::addColumn<bool>("delayLabels");
    QTest::newRow("decoder, sfn 1") << "1" << true << true << true;
    QTest::newRow("encoder, sfn 1") << "1" << false << true << false;
    QTest::newRow("decoder, sfn 0") << "0" << true << false << false;
    QTest::newRow("decoder, sfn 2") << "2" << true << false << false;
}

void tst_StatsRecord::ptpLabelsNeedSfnAndDecoder()
{
    QFETCH(QString, sfn);
    QFETCH(bool, decoder);
    QFETCH(bool, syncLabels);
    QFETCH(bool, delayLabels);
    const StatsValues s = parseStatsResponse(encodeStatusRecord(distinctRecord()), sfn, decoder);
    QVERIFY(!s.failed);
    QCOMPARE(s.labels.lblPTPRxOK.has_value(), syncLabels);
    QCOMPARE(s.labels.lblPTPRxErr.has_value(), syncLabels);
    QCOMPARE(s.labels.lblPTPClkAdj.has_value(), delayLabels);
    QCOMPARE(s.labels.lblPTPLatency.has_value(), delayLabels);
    QCOMPARE(s.variables.UDP_Response_PTP_Sync_Latency, delayLabels ? 60000 : 0);
    QVERIFY(s.labels.lblMACRxErr && s.labels.lblAudioRxFramesErr);
}

void tst_StatsRecord::failureKeepsEarlierSteps_data()
{
    QTest::addColumn<QString>("sfn");
    QTest::addColumn<int>("overflowAt");    // offset of the field set to INT32_MAX
    QTest::addColumn<int>("labelsSet");     // labels filled before the failure, in step order
    QTest::newRow("tx sum") << "1" << 8 << 2;
    QTest::newRow("rx sum") << "1" << 12 << 3;
    QTest::newRow("sfn not a number") << "x" << -1 << 4;
    QTest::newRow("measured delay sum") << "1" << 28 << 7;
    QTest::newRow("audio sum") << "1" << 36 << 9;
}

void tst_StatsRecord::failureKeepsEarlierSteps()
{
    QFETCH(QString, sfn);
    QFETCH(int, overflowAt);
    QFETCH(int, labelsSet);
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
    QCOMPARE(l.lblAudioRxFramesErr, overflowAt == 36 ? std::optional<QString>(QStringLiteral("-"))
                                                     : std::optional<QString>());
    QCOMPARE(s.variables.UDP_Response_Rx_Audio_Frames_Err_Ratio, 7.5f);
    QCOMPARE(s.variables.UDP_Response_Additional_Latency, 52000);
}

QTEST_APPLESS_MAIN(tst_StatsRecord)
#include "tst_statsrecord.moc"
