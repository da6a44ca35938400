// Pure text helpers: dotted addresses, names, MAC texts, numbers read from the database
// and the decimal rounding used for every displayed figure.

#include "store/ElementRecord.h"
#include "store/TextHelpers.h"

#include <QLocale>
#include <QtTest>

#include <cmath>

class TstTextHelpers : public QObject {
    Q_OBJECT
private slots:
    void isValidIP_data();
    void isValidIP();
    void splitIP_data();
    void splitIP();
    void padName16_data();
    void padName16();
    void log10OfPowersOfTen();
    void roundHalfEven_data();
    void roundHalfEven();
    void formatDecimal_data();
    void formatDecimal();
    void formatDecimalIgnoresLocale();
    void macTexts_data();
    void macTexts();
    void macRoundTrip_data();
    void macRoundTrip();
    void leadingNumber_data();
    void leadingNumber();
    void wholeNumber16_data();
    void wholeNumber16();
};

void TstTextHelpers::isValidIP_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ordinary") << "192.168.1.20" << true;
    QTest::newRow("all zero") << "0.0.0.0" << true;
    QTest::newRow("all 255") << "255.255.255.255" << true;
    QTest::newRow("blanks around parts") << " 10 . 0 .0. 1 " << true;
    QTest::newRow("leading zeros") << "010.001.000.001" << true;
    QTest::newRow("three parts") << "192.168.1" << false;
    QTest::newRow("five parts") << "192.168.1.20.5" << false;
    QTest::newRow("trailing dot") << "10.0.0.1." << false;
    QTest::newRow("leading dot") << ".10.0.0.1" << false;
    QTest::newRow("256") << "192.168.1.256" << false;
    QTest::newRow("huge part") << "1.2.3.99999999999999999999" << false;
    QTest::newRow("empty part") << "192.168..20" << false;
    QTest::newRow("blank part") << "192.168. .20" << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("hex") << "0x10.0.0.1" << false;
    QTest::newRow("minus sign") << "-1.0.0.1" << false;
    QTest::newRow("plus sign") << "+1.0.0.1" << false;
    QTest::newRow("inner blank") << "1 0.0.0.1" << false;
    QTest::newRow("fraction") << "1.5,0.0.1" << false;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("only dots") << "..." << false;
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("\u0661.0.0.1") << false;
}

void TstTextHelpers::isValidIP()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidIP(text), valid);
}

void TstTextHelpers::splitIP_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("three") << "1.2.3" << QStringList{"1", "2", "3"};
    QTest::newRow("empty parts kept") << "1..3." << QStringList{"1", "", "3", ""};
    QTest::newRow("no dot") << "abc" << QStringList{"abc"};
    QTest::newRow("blanks kept") << " 1 .2" << QStringList{" 1 ", "2"};
}

void TstTextHelpers::splitIP()
{
    QFETCH(QString, text);
    QFETCH(QStringList, parts);
    QCOMPARE(SplitIP(text), parts);
}

void TstTextHelpers::padName16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("padded");
    QTest::newRow("short") << "studio a" << "STUDIO A        ";
    QTest::newRow("empty") << "" << QString(16, QLatin1Char(' '));
    QTest::newRow("exactly 16") << "abcdefghijklmnop" << "ABCDEFGHIJKLMNOP";
    QTest::newRow("20 cut to 16") << "transmitter site 12" << "TRANSMITTER SITE";
    // Upper-casing "ß" as "SS" would make the name 17 characters long.
    QTest::newRow("sharp s keeps length") << QString::fromUtf8("straße") << QString::fromUtf8("STRAßE          ");
    QTest::newRow("latin-1 letters") << QString::fromUtf8("é") << QString::fromUtf8("É               ");
}

void TstTextHelpers::padName16()
{
    QFETCH(QString, text);
    QFETCH(QString, padded);
    const QString result = PadName16(text);
    QCOMPARE(result, padded);
    QCOMPARE(result.size(), 16);
}

void TstTextHelpers::log10OfPowersOfTen()
{
    // Exactly, not merely close: level figures are rounded afterwards and a value a hair
    // below a whole number rounds the wrong way at a half.
    QCOMPARE(Log10(1000.0), 3.0);
    QCOMPARE(Log10(1.0), 0.0);
    QCOMPARE(Log10(0.01), -2.0);
    QCOMPARE(Log10(1e15), 15.0);
}

void TstTextHelpers::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("rounded");
    QTest::newRow("2.25 -> 2.2") << 2.25 << 1 << 2.2;
    QTest::newRow("2.35 -> 2.4") << 2.35 << 1 << 2.4;
    QTest::newRow("0.125 -> 0.12") << 0.125 << 2 << 0.12;
    QTest::newRow("0.375 -> 0.38") << 0.375 << 2 << 0.38;
    QTest::newRow("2.675 -> 2.68") << 2.675 << 2 << 2.68;   // binary 2.67499999…
    QTest::newRow("1.005 -> 1.0") << 1.005 << 2 << 1.0;     // decimal half, 0 even
    QTest::newRow("0.5 -> 0") << 0.5 << 0 << 0.0;
    QTest::newRow("1.5 -> 2") << 1.5 << 0 << 2.0;
    QTest::newRow("2.5 -> 2") << 2.5 << 0 << 2.0;
    QTest::newRow("above half") << 2.51 << 0 << 3.0;
    QTest::newRow("below half") << 2.49 << 0 << 2.0;
    QTest::newRow("-0.25 -> -0.2") << -0.25 << 1 << -0.2;
    QTest::newRow("-0.35 -> -0.4") << -0.35 << 1 << -0.4;
    QTest::newRow("-2.5 -> -2") << -2.5 << 0 << -2.0;
    QTest::newRow("carry over nines") << 9.995 << 2 << 10.0;
    QTest::newRow("carry into new digit") << 99.96 << 1 << 100.0;
    QTest::newRow("tiny to zero") << 0.0004 << 3 << 0.0;
    QTest::newRow("tiny up") << 0.0006 << 3 << 0.001;
    QTest::newRow("nothing to cut") << 1.5 << 3 << 1.5;
    QTest::newRow("large") << 123456789.125 << 2 << 123456789.12;
    QTest::newRow("whole") << 60.0 << 2 << 60.0;
    QTest::newRow("zero") << 0.0 << 2 << 0.0;
}

void TstTextHelpers::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(double, rounded);
    // The nearest double to the decimal result, bit for bit.
    QCOMPARE(::roundHalfEven(value, decimals), rounded);
}

void TstTextHelpers::formatDecimal_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("trailing zero") << 2.50 << 6 << "2.5";
    QTest::newRow("whole") << 60.0 << 6 << "60";
    QTest::newRow("negative") << -0.5 << 6 << "-0.5";
    QTest::newRow("minus zero") << -0.0 << 6 << "0";
    QTest::newRow("rounds to minus zero") << -0.04 << 1 << "0";
    QTest::newRow("half to even") << 0.125 << 2 << "0.12";
    QTest::newRow("half to even up") << 0.375 << 2 << "0.38";
    QTest::newRow("no exponent, large") << 1e20 << 2 << "100000000000000000000";
    QTest::newRow("no exponent, small") << 0.000001 << 6 << "0.000001";
    QTest::newRow("cut below decimals") << 0.0000004 << 6 << "0";
    QTest::newRow("one decimal") << 12.34 << 1 << "12.3";
    QTest::newRow("no decimals") << 12.5 << 0 << "12";
    QTest::newRow("binary noise hidden") << 0.1 + 0.2 << 6 << "0.3";
}

void TstTextHelpers::formatDecimal()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(::formatDecimal(value, decimals), text);
}

void TstTextHelpers::formatDecimalIgnoresLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = ::formatDecimal(1234.5, 2);
    QLocale::setDefault(saved);
    QCOMPARE(text, QStringLiteral("1234.5"));
}

void TstTextHelpers::macTexts_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("formatted");   // FormatMAC of the `mac` column
    QTest::newRow("lower case") << "00:1a:2b:3c:4d:5e" << "001A2B3C4D5E" << "";
    QTest::newRow("17 without colons") << "abcdefghijklmnopq" << "ABCDEFGHIJKLMNOPQ" << "";
    QTest::newRow("colons anywhere") << "::001a2b3c4d5e:::" << "001A2B3C4D5E" << "";
    QTest::newRow("12 digits") << "001a2b3c4d5e" << "" << "00:1A:2B:3C:4D:5E";
    QTest::newRow("12 not hex") << "zz-yy-xx-ww" << "" << "";
    QTest::newRow("12 any text") << "ghijklmnopqr" << "" << "GH:IJ:KL:MN:OP:QR";
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("dash of empty panel") << "-" << "" << "";
    QTest::newRow("16 characters") << "00:1A:2B:3C:4D:5" << "" << "";
    QTest::newRow("18 characters") << "00:1A:2B:3C:4D:5E:" << "" << "";
}

void TstTextHelpers::macTexts()
{
    QFETCH(QString, mac);
    QFETCH(QString, section);
    QFETCH(QString, formatted);
    const QString before = mac;
    QCOMPARE(Encode_MAC(mac), section);
    QCOMPARE(mac, before);
    QCOMPARE(FormatMAC(mac), formatted);
}

void TstTextHelpers::macRoundTrip_data()
{
    QTest::addColumn<QString>("section");
    QTest::newRow("upper") << "0011223344AA";
    QTest::newRow("lower") << "0011223344bb";
    QTest::newRow("mixed") << "aBcDeF012345";
}

void TstTextHelpers::macRoundTrip()
{
    QFETCH(QString, section);
    const QString mac = FormatMAC(section);
    QCOMPARE(mac.size(), 17);
    QCOMPARE(Encode_MAC(mac), section.toUpper());
}

void TstTextHelpers::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("whole") << "12" << 12.0;
    QTest::newRow("version") << "1.0" << 1.0;
    QTest::newRow("fraction kept") << "2.25" << 2.25;
    QTest::newRow("letters after") << "12abc" << 12.0;
    QTest::newRow("dot without fraction") << "7." << 7.0;
    QTest::newRow("two dots") << "1.2.3" << 1.2;
    QTest::newRow("leading blanks") << "   42" << 42.0;
    QTest::newRow("negative") << "-3.5x" << -3.5;
    QTest::newRow("plus") << "+8" << 8.0;
    QTest::newRow("only fraction") << ".5" << 0.5;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "x" << 0.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("dot alone") << "." << 0.0;
    QTest::newRow("exponent not read") << "1e5" << 1.0;
    QTest::newRow("comma not a separator") << "1,5" << 1.0;
    QTest::newRow("20 digits") << "12345678901234567890" << 12345678901234567890.0;
    QTest::newRow("beyond double saturates") << QString(400, QLatin1Char('9'))
                                             << std::numeric_limits<double>::max();
}

void TstTextHelpers::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(::leadingNumber(text), value);
}

void TstTextHelpers::wholeNumber16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "37" << true << 37;
    QTest::newRow("blanks") << "  43 " << true << 43;
    QTest::newRow("negative") << "-5" << true << -5;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("max") << "32767" << true << 32767;
    QTest::newRow("min") << "-32768" << true << -32768;
    QTest::newRow("above max") << "32768" << false << 0;
    QTest::newRow("below min") << "-32769" << false << 0;
    QTest::newRow("20 digits") << "12345678901234567890" << false << 0;
    QTest::newRow("20 digits negative") << "-12345678901234567890" << false << 0;
    QTest::newRow("many leading zeros") << "00000000000000000001" << true << 1;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank") << "   " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("trailing letters") << "12abc" << false << 0;
    QTest::newRow("fraction") << "1.0" << false << 0;
    QTest::newRow("inner blank") << "1 2" << false << 0;
}

void TstTextHelpers::wholeNumber16()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    bool converted = !ok;
    QCOMPARE(int(::wholeNumber16(text, &converted)), value);
    QCOMPARE(converted, ok);
}

QTEST_GUILESS_MAIN(TstTextHelpers)
#include "tst_texthelpers.moc"
