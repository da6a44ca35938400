// Pure text helpers: dotted addresses, names, MAC texts, numbers read from the database
// and the decimal rounding used for every displayed figure.

#include "store/ElementRecord.h"
#include "store/TextHelpers.h"

#include <QLocale>
#include <QtTest>

#include <limits>

using namespace Qt::StringLiterals;

class TstTextHelpers : public QObject {
    Q_OBJECT
private slots:
    // Every text the same whatever the user's locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void isValidIP_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<bool>("valid");
        for (const char *text : {"192.168.1.20", "0.0.0.0", "255.255.255.255", " 10 . 0 .0. 1 ", "010.001.000.001"})
            QTest::addRow("'%s'", text) << QString::fromUtf8(text) << true;
        for (const char *text : {"192.168.1", "192.168.1.20.5", "10.0.0.1.", ".10.0.0.1", "192.168.1.256",
                                 "1.2.3.99999999999999999999", "192.168..20", "192.168. .20", "a.b.c.d",
                                 "0x10.0.0.1", "-1.0.0.1", "+1.0.0.1", "1 0.0.0.1", "1.5,0.0.1", "", "...",
                                 "\u0661.0.0.1"})   // Arabic-Indic digit one
            QTest::addRow("'%s'", text) << QString::fromUtf8(text) << false;
    }

    void isValidIP()
    {
        QFETCH(QString, text); QFETCH(bool, valid);
        QCOMPARE(IsValidIP(text), valid);
    }

    void padNameLog10AndSplitIP()
    {
        QCOMPARE(PadName16(u"studio a"_s), u"STUDIO A        "_s);
        QCOMPARE(PadName16(QString()), QString(16, u' '));
        QCOMPARE(PadName16(u"transmitter site 12"_s), u"TRANSMITTER SITE"_s);
        // Upper-casing "ß" as "SS" would make the name 17 characters long.
        QCOMPARE(PadName16(u"straße é"_s), u"STRAßE É        "_s);

        // Exactly, not merely close: level figures are rounded afterwards and a value a hair
        // below a whole number rounds the wrong way at a half.
        for (const auto &[x, log] : {std::pair(1000.0, 3.0), {1.0, 0.0}, {0.01, -2.0}, {1e15, 15.0}})
            QCOMPARE(Log10(x), log);
        QCOMPARE(SplitIP(u" 1 ..3."_s), (QStringList{" 1 ", "", "3", ""}));
    }

    // The decimal rounding behind every displayed figure, and its text.
    void roundAndFormat_data()
    {
        QTest::addColumn<double>("value"); QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("rounded");   // the nearest double to the decimal result
        QTest::addColumn<QString>("text");
        const struct { double value; int decimals; double rounded; const char *text; } rows[] = {
            {0.125, 2, 0.12, "0.12"}, {0.375, 2, 0.38, "0.38"},
            {2.675, 2, 2.68, "2.68"},   // binary 2.67499999…, decimal half, 8 even
            {1.005, 2, 1.0, "1"},       // decimal half, 0 even
            {1.5, 0, 2.0, "2"}, {2.5, 0, 2.0, "2"}, {-0.35, 1, -0.4, "-0.4"}, {-0.04, 1, -0.0, "0"}, {-0.0, 6, -0.0, "0"},
            {9.995, 2, 10.0, "10"}, {99.96, 1, 100.0, "100"},   // carries
            {0.0000004, 6, 0.0, "0"}, {0.000001, 6, 0.000001, "0.000001"}, {0.1 + 0.2, 6, 0.3, "0.3"},
            {123456789.125, 2, 123456789.12, "123456789.12"}, {1e20, 2, 1e20, "100000000000000000000"}};
        for (const auto &row : rows)
            QTest::addRow("%.17g to %d", row.value, row.decimals)
                << row.value << row.decimals << row.rounded << QString::fromLatin1(row.text);
    }

    void roundAndFormat()
    {
        QFETCH(double, value); QFETCH(int, decimals); QFETCH(double, rounded); QFETCH(QString, text);
        QCOMPARE(::roundHalfEven(value, decimals), rounded);
        QCOMPARE(::formatDecimal(value, decimals), text);
    }

    void macTexts_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("section");     // Encode_MAC of `mac`
        QTest::addColumn<QString>("formatted");   // FormatMAC of `mac`
        QTest::newRow("colons anywhere") << "::001a2b3c4d5e:::" << "001A2B3C4D5E" << "";
        QTest::newRow("12 digits, mixed case") << "001a2B3c4d5E" << "" << "00:1A:2B:3C:4D:5E";
        for (const char *mac : {"", "-", "00:1A:2B:3C:4D:5", "00:1A:2B:3C:4D:5E:"})   // empty, dash of empty panel, 16, 18
            QTest::newRow(mac) << mac << "" << "";
    }

    void macTexts()
    {
        QFETCH(QString, mac); QFETCH(QString, section); QFETCH(QString, formatted);
        QCOMPARE(Encode_MAC(mac), section);
        QCOMPARE(FormatMAC(mac), formatted);
        if (!formatted.isEmpty())   // and back to the section name
            QCOMPARE(Encode_MAC(formatted), mac.toUpper());
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<double>("value");
        const struct { const char *text; double value; } rows[] = {
            {"2.25", 2.25}, {"12abc", 12}, {"1.2.3", 1.2}, {"   42", 42}, {"-3.5x", -3.5}, {"+8", 8},
            {".5", 0.5}, {"", 0}, {"-", 0}, {".", 0}, {"1e5", 1}, {"1,5", 1}};
        for (const auto &row : rows)
            QTest::addRow("'%s'", row.text) << QString::fromLatin1(row.text) << row.value;
        QTest::newRow("beyond double saturates") << QString(400, u'9') << std::numeric_limits<double>::max();
    }

    void leadingNumber()
    {
        QFETCH(QString, text); QFETCH(double, value);
        QCOMPARE(::leadingNumber(text), value);
    }

    void wholeNumber16_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<bool>("ok"); QTest::addColumn<int>("value");
        const struct { const char *text; int value; } good[] = {
            {"  43 ", 43}, {"32767", 32767}, {"-32768", -32768}, {"00000000000000000001", 1}};
        for (const auto &row : good)
            QTest::addRow("'%s'", row.text) << QString::fromLatin1(row.text) << true << row.value;
        for (const char *text : {"32768", "-32769", "12345678901234567890", "-12345678901234567890", "", "   ",
                                 "-", "abc", "12abc", "1.0", "1 2"})
            QTest::addRow("'%s'", text) << QString::fromLatin1(text) << false << 0;
    }

    void wholeNumber16()
    {
        QFETCH(QString, text); QFETCH(bool, ok); QFETCH(int, value);
        bool converted = !ok;
        QCOMPARE(int(::wholeNumber16(text, &converted)), value);
        QCOMPARE(converted, ok);
    }
};

QTEST_GUILESS_MAIN(TstTextHelpers)
#include "tst_texthelpers.moc"
