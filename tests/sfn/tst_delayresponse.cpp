// The SFN record decoder: compensation, latencies with/without servo correction, overflow steps.
#include "sfn/DelayResponse.h"
#include "sfn/StatusRecord.h"

#include <QtTest>

#include <limits>

namespace {

DelayResponse parse(const StatusRecord &r) { return parseDelayResponse(encodeStatusRecord(r), "1", true, 0, 25000); }

} // namespace

class tst_DelayResponse : public QObject {
    Q_OBJECT
private slots:
    void additionalDelayToSlider_data()
    {
        QTest::addColumn<qint32>("add"); QTest::addColumn<int>("slider");
        QTest::addColumn<double>("steps"); QTest::addColumn<QString>("text");
        QTest::newRow("12345 ns") << 12345 << 123 << 123.45 << "12 uS, 300 nS";
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

    // Measured 120 us (min 100, max 150) plus 1 us compensation; the correction of -150 ns
    // counts only when the flag is exactly 1.
    void servoCorrection_data()
    {
        QTest::addColumn<quint8>("flag"); QTest::addColumn<bool>("checked"); QTest::addColumn<QString>("caption");
        QTest::addColumn<QList<qint32>>("averageMinMax"); QTest::addColumn<QString>("sumAverage");
        const QList<qint32> off = {121000, 101000, 151000};
        QTest::newRow("servo on") << quint8(1) << true << "Auto servo (-150 nS)"
                                  << QList<qint32>{120850, 100850, 150850} << "516 uS, 948 nS";
        QTest::newRow("servo off") << quint8(0) << false << "Auto servo" << off << "517 uS, 98 nS";
        QTest::newRow("flag 2 is off") << quint8(2) << false << "Auto servo" << off << "517 uS, 98 nS";
    }
    void servoCorrection()
    {
        QFETCH(quint8, flag); QFETCH(QList<qint32>, averageMinMax); QFETCH(bool, checked);
        StatusRecord r;
        r.delayAvg = 120000, r.delayMin = 100000, r.delayMax = 150000;
        r.additionalDelay = 1000, r.servoCorrection = -150, r.autoServo = flag;
        const DelayResponse d = parse(r);
        QVERIFY(!d.failed);
        QCOMPARE(d.autoServoChecked, std::optional<bool>(checked));
        QTEST(d.autoServoCaption.value_or("<none>"), "caption");
        QCOMPARE(d.variables.UDP_Response_PTP_Auto_Servo, flag);
        const DelayVariables &v = d.variables;
        QCOMPARE((QList<qint32>{v.UDP_Response_PTP_Propagation_Delay_Average,
                                v.UDP_Response_PTP_Propagation_Delay_Minimum,
                                v.UDP_Response_PTP_Propagation_Delay_Maximum}),
                 averageMinMax);
        QCOMPARE(d.lblCurrentDelayAVG, std::optional<QString>(FormatNanoseconds(averageMinMax.at(0))));
        QTEST(d.lblDelaySumAVG.value_or("<none>"), "sumAverage");
    }

    void overflowStopsAtItsStep_data()
    {
        const qint32 max = std::numeric_limits<qint32>::max();
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
};

QTEST_APPLESS_MAIN(tst_DelayResponse)
#include "tst_delayresponse.moc"
