#pragma once
// The element record: one nms.ini section per element, named after its MAC address.

#include <QString>

// "00:1a:2b:3c:4d:5e" -> "001A2B3C4D5E"; any text that is not 17 characters -> "".
QString Encode_MAC(const QString &srcMAC);
// "001a2b3c4d5e" -> "00:1A:2B:3C:4D:5E"; any text that is not 12 characters -> "".
QString FormatMAC(const QString &text);

// How messages name an element: "NAME [00:1A:2B:3C:4D:5E]", or "[00:1A:2B:3C:4D:5E]"
// when it has no name.
QString elementLabel(const QString &name, const QString &mac);

// Leading number of a stored text: the numeric value of its longest numeric prefix
// ("1.0" -> 1, "12abc" -> 12, "", "x" -> 0). Saturates instead of overflowing.
double leadingNumber(const QString &text);

// A stored text read as a 16-bit whole number. nullopt-like: ok=false when empty, not a
// number or outside 16 bits, so callers can keep their control unchanged or clamp.
qint16 wholeNumber16(const QString &text, bool *ok);
