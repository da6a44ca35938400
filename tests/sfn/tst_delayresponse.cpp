#include "sfn/DelayResponse.h"
#include "sfn/StatusRecord.h"

#include <QtTest>

#include <limits>

namespace {

constexpr int kMin = 0;
constexpr int kMax = 25000;

DelayResponse parse(const StatusRecord &r, const QString &sfn = QStringLiteral("1"), bool decoder = true)
{
    return parseDelayResponse(encodeStatusRecord(r), sfn, decoder, kMin, kMax);
}

} // namespace

class tst_DelayResponse : public QObject {
    Q_OBJECT
private slots:
    void fixedLatenciesAlways_data();
    void fixedLatenciesAlways();
    void additionalDelayToSlider_data();
    void additionalDelayToSlider();
    void latenciesWithoutServo();
    void servoCorrection();
    void overflowStopsAtItsStep_data();
    void overflowStopsAtItsStep();
};

void tst_DelayResponse::fixedLatenciesAlways_data()
{
    QTest::addColumn<QString>("sfn");
    QTest::addColumn<bool>("decoder");
    QTest::addColumn<bool>("failed");
    QTest::newRow("sfn off") << "0" << true << false;
    QTest::newRow("encoder") << "1" << false << false;
    QTest::newRow("sfn not a number") << "on" << true << true;
}

void tst_DelayResponse::fixedLatenciesAlways()
{
    QFETCH(QString, sfn);
    QFETCH(bool, decoder);
    QFETCH(bool, failed);
    StatusRecord r;
    r.delayAvg = 5000;
    r.additionalDelay = 12345;
    DelayVariables previous;
    previous.UDP_Response_PTP_Propagation_Delay_Average = 42;
    const DelayResponse d = parseDelayResponse(encodeStatusRecord(r), sfn, decoder, kMin, kMax, previous);
    QCOMPARE(d.lblFixedLatencyMAC, QStringLiteral("265 nS"));
    QCOMPARE(d.lblFixedLatencyAUDIO, QStringLiteral("395 uS, 833 nS"));
    QCOMPARE(d.failed, failed);
    QVERIFY(!d.sliderValue);
    QVERIFY(!d.autoServoChecked);
    QVERIFY(!d.lblCurrentDelayAVG);
    QCOMPARE(d.variables.UDP_Response_PTP_Propagation_Delay_Average, 42);
}

void tst_DelayResponse::additionalDelayToSlider_data()
{
    QTest::addColumn<qint32>("add");
    QTest::addColumn<int>("slider");
    QTest::addColumn<double>("steps");
    QTest::addColumn<QString>("text");
    QTest::newRow("12345 ns") << 12345 << 123 << 123.45 << "12 uS, 300 nS";
    QTest::newRow("half to even down") << 12250 << 122 << 122.5 << "12 uS, 200 nS";
    QTest::newRow("half to even up") << 12350 << 124 << 123.5 << "12 uS, 400 nS";
    QTest::newRow("above the range") << 2500001 << 25000 << 25000.0 << "2 mS, 500 uS, 0 nS";
    QTest::newRow("far above") << 100000000 << 25000 << 25000.0 << "2 mS, 500 uS, 0 nS";
    QTest::newRow("negative") << -5000 << 0 << 0.0 << "0 nS";
}

void tst_DelayResponse::additionalDelayToSlider()
{
    QFETCH(qint32, add);
    QFETCH(int, slider);
    QFETCH(double, steps);
    QFETCH(QString, text);
    StatusRecord r;
    r.additionalDelay = add;
    const DelayResponse d = parse(r);
    QVERIFY(!d.failed);
    QCOMPARE(d.sliderValue, std::optional<int>(slider));
    QCOMPARE(d.additionalDelayNs, std::optional<qint32>(slider * 100));
    QCOMPARE(d.lblAdditionalDelay, std::optional<QString>(text));
    QCOMPARE(d.variables.UDP_Response_PTP_Additional_Delay, steps);
}

void tst_DelayResponse::latenciesWithoutServo()
{
    StatusRecord r;
    r.delayAvg = 120000;
    r.delayMin = 100000;
    r.delayMax = 150000;
    r.servoCorrection = -150;   // ignored while the flag is off
    r.autoServo = 2;
    const DelayResponse d = parse(r);
    QVERIFY(!d.failed);
    QCOMPARE(d.lblCurrentDelayAVG, std::optional<QString>(QStringLiteral("120 uS, 0 nS")));
    QCOMPARE(d.lblDelaySumAVG, std::optional<QString>(QStringLiteral("516 uS, 98 nS")));
    QCOMPARE(d.lblCurrentDelayMIN, std::optional<QString>(QStringLiteral("100 uS, 0 nS")));
    QCOMPARE(d.lblDelaySumMAX, std::optional<QString>(QStringLiteral("546 uS, 98 nS")));
    QCOMPARE(d.autoServoChecked, std::optional<bool>(false));
    QCOMPARE(d.autoServoCaption, std::optional<QString>(QStringLiteral("Auto servo")));
    QCOMPARE(d.variables.UDP_Response_PTP_Auto_Servo, quint8(2));
    QCOMPARE(d.variables.UDP_Response_PTP_Propagation_Delay_Maximum, 150000);
}

void tst_DelayResponse::servoCorrection()
{
    StatusRecord r;
    r.delayAvg = 120000;
    r.delayMin = 100000;
    r.delayMax = 150000;
    r.additionalDelay = 1000;
    r.servoCorrection = -150;
    r.autoServo = 1;
    const DelayResponse d = parse(r);
    QVERIFY(!d.failed);
    QCOMPARE(d.autoServoChecked, std::optional<bool>(true));
    QCOMPARE(d.autoServoCaption, std::optional<QString>(QStringLiteral("Auto servo (-150 nS)")));
    QCOMPARE(d.variables.UDP_Response_PTP_Propagation_Delay_Average, 120850);
    QCOMPARE(d.variables.UDP_Response_PTP_Propagation_Delay_Minimum, 100850);
    QCOMPARE(d.variables.UDP_Response_PTP_Propagation_Delay_Maximum, 150850);
    QCOMPARE(d.lblDelaySumAVG, std::optional<QString>(QStringLiteral("516 uS, 948 nS")));
}

void tst_DelayResponse::overflowStopsAtItsStep_data()
{
    const qint32 max = std::numeric_limits<qint32>::max();
    QTest::addColumn<qint32>("avg");
    QTest::addColumn<qint32>("min");
    QTest::addColumn<qint32>("maxField");
    QTest::addColumn<int>("labelsSet");   // latency label pairs filled before the failure
    QTest::newRow("avg + add") << max << 0 << 0 << 0;
    QTest::newRow("avg summary") << max - 2000 << 0 << 0 << 0;
    QTest::newRow("min + add") << 0 << max << 0 << 1;
    QTest::newRow("max summary") << 0 << 0 << max - 396097 - 1000 << 2;
}

void tst_DelayResponse::overflowStopsAtItsStep()
{
    QFETCH(qint32, avg);
    QFETCH(qint32, min);
    QFETCH(qint32, maxField);
    QFETCH(int, labelsSet);
    StatusRecord r;
    r.additionalDelay = 1000;
    r.delayAvg = avg;
    r.delayMin = min;
    r.delayMax = maxField;
    const DelayResponse d = parse(r);
    QVERIFY(d.failed);
    // Steps before the failing one keep their results.
    QCOMPARE(d.sliderValue, std::optional<int>(10));
    QCOMPARE(d.autoServoCaption, std::optional<QString>(QStringLiteral("Auto servo")));
    QCOMPARE(d.lblCurrentDelayAVG.has_value(), labelsSet >= 1);
    QCOMPARE(d.lblDelaySumAVG.has_value(), labelsSet >= 1);
    QCOMPARE(d.lblCurrentDelayMIN.has_value(), labelsSet >= 2);
    QVERIFY(!d.lblCurrentDelayMAX);
    QVERIFY(!d.lblDelaySumMAX);
}

QTEST_APPLESS_MAIN(tst_DelayResponse)
#include "tst_delayresponse.moc"
