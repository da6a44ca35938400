#include "editor/StoredValues.h"

#include <QLocale>
#include <cmath>

#include "store/ElementRecord.h"

namespace stored {

int listIndex(const QString &text, int itemCount)
{
    bool ok = false;
    const qint16 index = wholeNumber16(text, &ok);
    if (!ok || index < 0 || index >= itemCount)
        return -1;
    return index;
}

int rangedValue(double number, int minimum, int maximum)
{
    if (std::isnan(number))
        return minimum;
    // Clamp before converting: a double beyond int's range must not reach the cast.
    if (number <= minimum)
        return minimum;
    if (number >= maximum)
        return maximum;
    return int(std::nearbyint(number));   // default rounding mode: halves to even
}

int rangedValue(const QString &text, int minimum, int maximum)
{
    bool ok = false;
    const qint16 whole = wholeNumber16(text, &ok);
    if (ok)
        return rangedValue(double(whole), minimum, maximum);
    // Not a 16-bit whole number: a number too long for 16 bits still tells its side.
    const double number = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok)
        return rangedValue(number, minimum, maximum);
    return minimum;
}

} // namespace stored
