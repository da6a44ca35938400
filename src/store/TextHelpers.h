#pragma once
// Small pure helpers shared by the panel, the protocol and the diagnostics.

#include <QString>
#include <QStringList>

QStringList SplitIP(const QString &text);   // "" -> empty list; "1.2.3" -> three parts
bool IsValidIP(const QString &text);         // four parts, each 0..255 (blanks around allowed)
QString PadName16(const QString &text);      // cut or blank-padded to 16, upper case
double Log10(double value);                  // ln(value) / ln(10); callers pass value > 0

// Rounds to `decimals` places, halves to the even neighbour (on the decimal value, so
// 0.125 -> 0.12 and 0.375 -> 0.38).
double roundHalfEven(double value, int decimals);
// Decimal text without trailing zeros, "." as separator, "-" sign, no exponent:
// 2.50 -> "2.5", 60 -> "60", -0.5 -> "-0.5", -0.0 -> "0".
QString formatDecimal(double value, int maxDecimals = 6);
