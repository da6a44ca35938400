#include "sfn/StatusRecord.h"

#include <QtTest>

#include <limits>

class tst_StatusRecord : public QObject {
    Q_OBJECT
private slots:
    void formatNanoseconds_data();
    void formatNanoseconds();
    void bytesToLong_data();
    void bytesToLong();
    void fieldsOfShortRecord();
    void recordRoundTrip();
    void setDelayCommand_data();
    void setDelayCommand();
    void additionOverflow();
    void sfnKey_data();
    void sfnKey();
};

void tst_StatusRecord::formatNanoseconds_data()
{
    QTest::addColumn<qint32>("ns");
    QTest::addColumn<QString>("text");
    QTest::newRow("265") << 265 << "265 nS";
    QTest::newRow("395833") << 395833 << "395 uS, 833 nS";
    QTest::newRow("1000005") << 1000005 << "1 mS, 0 uS, 5 nS";
    QTest::newRow("0") << 0 << "0 nS";
    QTest::newRow("-1500") << -1500 << "-1 uS, 500 nS";
    QTest::newRow("-1") << -1 << "-1 nS";
    QTest::newRow("1000") << 1000 << "1 uS, 0 nS";
    QTest::newRow("2500000") << 2500000 << "2 mS, 500 uS, 0 nS";
    QTest::newRow("INT32_MAX") << std::numeric_limits<qint32>::max() << "2147 mS, 483 uS, 647 nS";
    QTest::newRow("INT32_MIN") << std::numeric_limits<qint32>::min() << "-2147 mS, 483 uS, 648 nS";
}

void tst_StatusRecord::formatNanoseconds()
{
    QFETCH(qint32, ns);
    QFETCH(QString, text);
    QCOMPARE(FormatNanoseconds(ns), text);
}

void tst_StatusRecord::bytesToLong_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("value");
    QTest::newRow("most significant first") << QByteArray("\x01\x02\x03\x04", 4) << 0x01020304;
    QTest::newRow("FF FF FF FF") << QByteArray("\xff\xff\xff\xff", 4) << -1;
    QTest::newRow("80 00 00 00") << QByteArray("\x80\x00\x00\x00", 4) << std::numeric_limits<qint32>::min();
    QTest::newRow("7F FF FF FF") << QByteArray("\x7f\xff\xff\xff", 4) << std::numeric_limits<qint32>::max();
    QTest::newRow("three bytes") << QByteArray("\x01\x02\x03", 3) << 0;
    QTest::newRow("five bytes") << QByteArray("\x01\x02\x03\x04\x05", 5) << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void tst_StatusRecord::bytesToLong()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, value);
    QCOMPARE(BytesToLong(bytes), value);
}

void tst_StatusRecord::fieldsOfShortRecord()
{
    const QByteArray record("\x00\x00\x00\x07\xff\xff\xff\xfe\x01", 9);
    QCOMPARE(recordField(record, 0), 7);
    QCOMPARE(recordField(record, 4), -2);
    QCOMPARE(recordField(record, 5), -511);   // ends on the last byte
    QCOMPARE(recordField(record, 6), 0);      // partly beyond the end
    QCOMPARE(recordField(record, 8), 0);
    QCOMPARE(recordField(record, 52), 0);   // wholly beyond
    QCOMPARE(recordField(record, -1), 0);
}

void tst_StatusRecord::recordRoundTrip()
{
    StatusRecord r;
    r.txFramesOk = 1;
    r.rxFramesErr = -2;
    r.audioFramesErr = 16777217;
    r.delayAvg = 120000;
    r.delayMax = std::numeric_limits<qint32>::max();
    r.additionalDelay = 12345;
    r.servoCorrection = -150;
    r.autoServo = 1;
    const QByteArray wire = encodeStatusRecord(r);
    QCOMPARE(wire.size(), kStatusRecordLength);
    QCOMPARE(recordField(wire, 0), 1);
    QCOMPARE(recordField(wire, 12), -2);
    QCOMPARE(recordField(wire, 36), 16777217);
    QCOMPARE(recordField(wire, 40), 120000);
    QCOMPARE(recordField(wire, 48), std::numeric_limits<qint32>::max());
    QCOMPARE(recordField(wire, 52), 12345);
    QCOMPARE(recordField(wire, 56), -150);
    QCOMPARE(wire.at(60), char(1));
}

void tst_StatusRecord::setDelayCommand_data()
{
    QTest::addColumn<qint32>("delay");
    QTest::addColumn<bool>("servo");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("slider 1000, servo on") << 100000 << true << QByteArray("\x53\x00\x01\x86\xa0\x01", 6);
    QTest::newRow("zero, servo off") << 0 << false << QByteArray("S\x00\x00\x00\x00\x00", 6);
    QTest::newRow("maximum") << 2500000 << false << QByteArray("S\x00\x26\x25\xa0\x00", 6);
}

void tst_StatusRecord::setDelayCommand()
{
    QFETCH(qint32, delay);
    QFETCH(bool, servo);
    QFETCH(QByteArray, wire);
    QCOMPARE(encodeSetDelay(delay, servo), wire);
}

void tst_StatusRecord::additionOverflow()
{
    const qint32 max = std::numeric_limits<qint32>::max();
    const qint32 min = std::numeric_limits<qint32>::min();
    QCOMPARE(checkedAdd(max - 1, 1), std::optional<qint32>(max));
    QCOMPARE(checkedAdd(min, max), std::optional<qint32>(-1));
    QVERIFY(!checkedAdd(max, 1));
    QVERIFY(!checkedAdd(min, -1));
}

void tst_StatusRecord::sfnKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");   // 1 on, 0 off, -1 not a number
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("blanks around 1") << " 1 " << 1;
    QTest::newRow("1.0") << "1.0" << 1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("2") << "2" << 0;
    QTest::newRow("letters") << "yes" << -1;
    QTest::newRow("empty") << "" << -1;
}

void tst_StatusRecord::sfnKey()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    const std::optional<bool> on = sfnIsOn(text);
    QCOMPARE(on.has_value(), state >= 0);
    if (on)
        QCOMPARE(*on, state == 1);
}

QTEST_APPLESS_MAIN(tst_StatusRecord)
#include "tst_statusrecord.moc"
