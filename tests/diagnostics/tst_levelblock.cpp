#include "diagnostics/LevelBlock.h"
#include "diagnostics/PingStatus.h"

#include <QtTest>

namespace {

// A block of `length` bytes of silence with one sample written at byte `at`.
QByteArray blockWith(int length, int at, const char (&sample)[4])
{
    QByteArray block(length, '\0');
    if (at >= 0)
        block.replace(at, 3, QByteArray(sample, 3));
    return block;
}

} // namespace

class tst_LevelBlock : public QObject {
    Q_OBJECT
private slots:
    void peakOfBlock_data();
    void peakOfBlock();
    void allNegative();
    void display_data();
    void display();
    void requestBytes();
    void pingStatusTexts_data();
    void pingStatusTexts();
};

void tst_LevelBlock::peakOfBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<qint32>("peak");
    QTest::newRow("first sample 40 00 00") << blockWith(1201, 0, "\x40\x00\x00") << 4194304;
    QTest::newRow("last read sample, bytes 1197-1199") << blockWith(1201, 1197, "\x00\x01\x02") << 258;
    QTest::newRow("byte 1200 never read") << blockWith(1201, 1198, "\x00\x00\x7f") << 0;
    // The sample ending on the block's last byte is not read; one byte more and it is.
    QTest::newRow("sample on the last byte") << blockWith(1203, 1200, "\x12\x34\x56") << 0;
    QTest::newRow("sample before the last byte") << blockWith(1204, 1200, "\x12\x34\x56") << 0x123456;
    QTest::newRow("largest positive") << blockWith(1201, 300, "\x7f\xff\xff") << 8388607;
    QTest::newRow("silence") << blockWith(1201, -1, "\0\0\0") << 0;
}

void tst_LevelBlock::peakOfBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(qint32, peak);
    QCOMPARE(levelPeak(block), peak);
}

void tst_LevelBlock::allNegative()
{
    QByteArray block(1201, '\x80');
    block[3] = '\xff';
    QCOMPARE(levelPeak(block), 0);
    // A negative sample among positive ones does not count as large.
    block.replace(600, 3, QByteArray("\x00\x00\x05", 3));
    QCOMPARE(levelPeak(block), 5);
}

void tst_LevelBlock::display_data()
{
    QTest::addColumn<qint32>("peak");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("text");
    QTest::newRow("half scale") << 4194304 << 1050 << "-6dBFS";
    QTest::newRow("peak 1") << 1 << 0 << "-138.5dBFS";
    QTest::newRow("full scale") << kFullScale << 2100 << "0dBFS";
    QTest::newRow("largest sample") << 8388607 << 2100 << "0dBFS";
    QTest::newRow("quarter scale") << 2097152 << 525 << "-12dBFS";
    QTest::newRow("tenth") << 838861 << 210 << "-20dBFS";
    QTest::newRow("width 262.5 to even") << 1048576 << 262 << "-18.1dBFS";
    QTest::newRow("width 787.5 to even") << 3145728 << 788 << "-8.5dBFS";
    QTest::newRow("no positive sample") << 0 << 0 << "-oodBFS";
}

void tst_LevelBlock::display()
{
    QFETCH(qint32, peak);
    QFETCH(int, width);
    QFETCH(QString, text);
    const LevelDisplay d = levelDisplay(peak);
    QCOMPARE(d.widthTwips, width);
    QCOMPARE(d.text, text);
}

void tst_LevelBlock::requestBytes()
{
    QCOMPARE(levelRequest(), QByteArray("\x56\x4f\x4c", 3));
}

void tst_LevelBlock::pingStatusTexts_data()
{
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "Success!";
    QTest::newRow("11001") << qint64(11001) << "Buffer Too Small";
    QTest::newRow("11003") << qint64(11003) << "Destination Host Unreachable";
    QTest::newRow("11010") << qint64(11010) << "Request Timed Out";
    QTest::newRow("11013") << qint64(11013) << "TimeToLive Expired Transit";
    QTest::newRow("11018") << qint64(11018) << "Bad Destination";
    QTest::newRow("11032") << qint64(11032) << "Negotiating IPSEC";
    QTest::newRow("11050") << qint64(11050) << "General Failure";
    QTest::newRow("11019, a gap") << qint64(11019) << "Unknown Response";
    QTest::newRow("-1, no request") << qint64(-1) << "Unknown Response";
    QTest::newRow("beyond 32 bits") << qint64(0x100000000) << "Unknown Response";
}

void tst_LevelBlock::pingStatusTexts()
{
    QFETCH(qint64, code);
    QFETCH(QString, text);
    QCOMPARE(GetStatusText(code), text);
}

QTEST_APPLESS_MAIN(tst_LevelBlock)
#include "tst_levelblock.moc"
