#include "store/ElementRecord.h"

#include <limits>

QString Encode_MAC(const QString &srcMAC)
{
    QString section;
    if (srcMAC.size() == 17) {
        section = srcMAC;
        section.remove(QLatin1Char(':'));
    }
    return section.toUpper();
}

QString FormatMAC(const QString &text)
{
    if (text.size() != 12)
        return QString();
    QString mac;
    for (int i = 0; i < 12; i += 2) {
        if (i > 0)
            mac.append(QLatin1Char(':'));
        mac.append(text.mid(i, 2).toUpper());
    }
    return mac;
}

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

double leadingNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text.at(i))) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < n && isDigit(text.at(j))) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0)
            i = j;
        digits += fraction;
    }
    if (digits == 0)
        return 0.0;
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    if (ok)
        return value;
    // Only a number too large for a double fails here (hundreds of digits).
    const double huge = std::numeric_limits<double>::max();
    return text.at(start) == QLatin1Char('-') ? -huge : huge;
}

qint16 wholeNumber16(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    bool good = false;
    qint16 result = 0;
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+'))) {
        negative = t.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i < t.size()) {
        qint32 value = 0;
        good = true;
        for (; i < t.size(); ++i) {
            if (!isDigit(t.at(i))) {
                good = false;
                break;
            }
            value = value * 10 + (t.at(i).unicode() - '0');
            if (value > 32768) {      // stops before overflow; 32768 only fits negated
                good = false;
                break;
            }
        }
        if (good) {
            if (negative)
                value = -value;
            if (value > std::numeric_limits<qint16>::max())
                good = false;
            else
                result = qint16(value);
        }
    }
    if (ok)
        *ok = good;
    return good ? result : qint16(0);
}

QString elementLabel(const QString &name, const QString &mac)
{
    const QString bracketed = QLatin1Char('[') + mac + QLatin1Char(']');
    return name.isEmpty() ? bracketed : name + QLatin1Char(' ') + bracketed;
}
