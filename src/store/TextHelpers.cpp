#include "store/TextHelpers.h"

#include <QByteArray>
#include <QLocale>

#include <cmath>

QStringList SplitIP(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
}

namespace {

// One part of a dotted address: plain decimal digits, blanks around them allowed,
// value 0..255. Signs, letters, inner blanks and empty parts are refused.
bool isOctet(const QString &part)
{
    const QString digits = part.trimmed();
    if (digits.isEmpty())
        return false;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
        if (value > 255)   // also stops long runs of digits before they overflow
            return false;
    }
    return true;
}

} // namespace

bool IsValidIP(const QString &text)
{
    const QStringList parts = SplitIP(text);
    int count = 0;
    for (const QString &part : parts) {
        ++count;
        if (!isOctet(part))
            return false;
    }
    return count == 4;
}

QString PadName16(const QString &text)
{
    QString name = text.left(16);
    while (name.size() < 16)
        name.append(QLatin1Char(' '));
    // Character by character: QString::toUpper would turn "ß" into "SS" and the name
    // would no longer be 16 characters long.
    for (QChar &c : name)
        c = c.toUpper();
    return name;
}

double Log10(double value)
{
    // std::log10 rather than ln(x)/ln(10): the quotient gives 2.9999999999999996 for
    // 1000. Zero gives -inf and negatives NaN; callers pass positive values.
    return std::log10(value);
}

double roundHalfEven(double value, int decimals)
{
    if (!std::isfinite(value) || decimals < 0 || decimals > 17)
        return value;

    // Work on the shortest decimal text that reads back as `value`: that text is the
    // decimal number the operator sees, so 0.125 is a true half even though the
    // binary double lies a hair away from it.
    const QByteArray text = QByteArray::number(value, 'e', QLocale::FloatingPointShortest);
    const qsizetype ePos = text.indexOf('e');
    if (ePos < 0)
        return value;
    const bool negative = text.startsWith('-');
    QByteArray digits;
    for (qsizetype i = negative ? 1 : 0; i < ePos; ++i) {
        if (text.at(i) >= '0' && text.at(i) <= '9')
            digits.append(text.at(i));
    }
    const int exponent = text.mid(ePos + 1).toInt();
    // value = 0.d1d2d3... * 10^(exponent + 1); keep the digits down to 10^-decimals.
    const qsizetype keep = qsizetype(exponent) + 1 + decimals;
    if (keep >= digits.size())
        return value;                       // already has no more decimals than asked
    if (keep < 0)
        return negative ? -0.0 : 0.0;       // below half of the last kept place

    QByteArray kept = digits.left(keep);
    const char next = digits.at(keep);
    const bool restNonZero = digits.mid(keep + 1).count('0') != digits.size() - keep - 1;
    const bool lastOdd = !kept.isEmpty() && ((kept.back() - '0') % 2 == 1);
    const bool up = next > '5' || (next == '5' && (restNonZero || lastOdd));
    if (kept.isEmpty())
        kept = "0";
    if (up) {
        qsizetype i = kept.size() - 1;
        while (i >= 0 && kept[i] == '9') {
            kept[i] = '0';
            --i;
        }
        if (i < 0)
            kept.prepend('1');
        else
            kept[i] = char(kept[i] + 1);
    }
    QByteArray result = negative ? QByteArray("-") : QByteArray();
    result += kept + 'e' + QByteArray::number(-decimals);
    return result.toDouble();
}

QString formatDecimal(double value, int maxDecimals)
{
    if (maxDecimals < 0)
        maxDecimals = 0;
    if (maxDecimals > 17)
        maxDecimals = 17;
    QString text = QString::number(roundHalfEven(value, maxDecimals), 'f', maxDecimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}
