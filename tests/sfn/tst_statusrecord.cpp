// The status record both windows read and the simulator writes, the set-delay command, the "sfn" key.
#include "sfn/StatusRecord.h"

#include <QtTest>

#include <limits>

static constexpr qint32 kMax = std::numeric_limits<qint32>::max(), kMin = std::numeric_limits<qint32>::min();

class tst_StatusRecord : public QObject {
    Q_OBJECT
private slots:
    void formatNanoseconds_data()
    {
        QTest::addColumn<qint32>("ns"); QTest::addColumn<QString>("text");
        QTest::newRow("265") << 265 << "265 nS";
        QTest::newRow("395833") << 395833 << "395 uS, 833 nS";
        QTest::newRow("1000005") << 1000005 << "1 mS, 0 uS, 5 nS";
        QTest::newRow("0") << 0 << "0 nS";
        QTest::newRow("-1500") << -1500 << "-1 uS, 500 nS";
        QTest::newRow("-1") << -1 << "-1 nS";
        QTest::newRow("2500000") << 2500000 << "2 mS, 500 uS, 0 nS";
        QTest::newRow("INT32_MAX") << kMax << "2147 mS, 483 uS, 647 nS";
        QTest::newRow("INT32_MIN") << kMin << "-2147 mS, 483 uS, 648 nS";
    }
    void formatNanoseconds() { QFETCH(qint32, ns); QTEST(FormatNanoseconds(ns), "text"); }

    void bytesToLong_data()
    {
        QTest::addColumn<QByteArray>("bytes"); QTest::addColumn<qint32>("value");
        QTest::newRow("most significant first") << QByteArray("\x01\x02\x03\x04", 4) << 0x01020304;
        QTest::newRow("FF FF FF FF") << QByteArray("\xff\xff\xff\xff", 4) << -1;
        QTest::newRow("80 00 00 00") << QByteArray("\x80\x00\x00\x00", 4) << kMin;
        QTest::newRow("7F FF FF FF") << QByteArray("\x7f\xff\xff\xff", 4) << kMax;
        QTest::newRow("three bytes") << QByteArray("\x01\x02\x03", 3) << 0;
        QTest::newRow("five bytes") << QByteArray("\x01\x02\x03\x04\x05", 5) << 0;
        QTest::newRow("empty") << QByteArray() << 0;
    }
    void bytesToLong() { QFETCH(QByteArray, bytes); QTEST(BytesToLong(bytes), "value"); }

    // A field partly or wholly beyond a short record reads as zero.
    void fieldsOfShortRecord()
    {
        const QByteArray record("\x00\x00\x00\x07\xff\xff\xff\xfe\x01", 9);
        QCOMPARE((QList<qint32>{recordField(record, 0), recordField(record, 4), recordField(record, 5),
                                recordField(record, 6), recordField(record, 8), recordField(record, 52),
                                recordField(record, -1)}),
                 (QList<qint32>{7, -2, -511, 0, 0, 0, 0}));
    }

    // The simulator's records are read back at the offsets the windows use.
    void recordRoundTrip()
    {
        StatusRecord r;
        r.txFramesOk = 1, r.rxFramesErr = -2, r.audioFramesErr = 16777217, r.delayAvg = 120000;
        r.delayMax = kMax, r.additionalDelay = 12345, r.servoCorrection = -150, r.autoServo = 1;
        const QByteArray wire = encodeStatusRecord(r);
        QCOMPARE(wire.size(), kStatusRecordLength);
        QCOMPARE((QList<qint32>{recordField(wire, 0), recordField(wire, 12), recordField(wire, 36),
                                recordField(wire, 40), recordField(wire, 48), recordField(wire, 52),
                                recordField(wire, 56), wire.at(60)}),
                 (QList<qint32>{1, -2, 16777217, 120000, kMax, 12345, -150, 1}));
    }

    void setDelayCommand_data()
    {
        QTest::addColumn<qint32>("delay"); QTest::addColumn<bool>("servo"); QTest::addColumn<QByteArray>("wire");
        QTest::newRow("slider 1000, servo on") << 100000 << true << QByteArray::fromHex("53000186a001");
        QTest::newRow("zero, servo off") << 0 << false << QByteArray::fromHex("530000000000");
        QTest::newRow("maximum") << 2500000 << false << QByteArray::fromHex("53002625a000");
    }
    void setDelayCommand() { QFETCH(qint32, delay); QFETCH(bool, servo); QTEST(encodeSetDelay(delay, servo), "wire"); }

    void additionOverflow()
    {
        QCOMPARE(checkedAdd(kMax - 1, 1), std::optional<qint32>(kMax));
        QCOMPARE(checkedAdd(kMin, kMax), std::optional<qint32>(-1));
        QVERIFY(!checkedAdd(kMax, 1) && !checkedAdd(kMin, -1));
    }

    void sfnKey_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<int>("state");   // 1 on, 0 off, -1 not a number
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("blanks around 1") << " 1 " << 1;
        QTest::newRow("1.0") << "1.0" << 1;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("2") << "2" << 0;
        QTest::newRow("letters") << "yes" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void sfnKey()
    {
        QFETCH(QString, text);
        const std::optional<bool> on = sfnIsOn(text);
        QTEST(on ? int(*on) : -1, "state");
    }
};

QTEST_APPLESS_MAIN(tst_StatusRecord)
#include "tst_statusrecord.moc"
