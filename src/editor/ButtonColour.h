#pragma once
// Background colour of a push button (the ping button shows its result as a colour).
// The colour is kept in the button's palette, which the styles paint, and in the dynamic
// property "backgroundRgb", so it reads back exactly whatever the style does with it.

#include <QColor>

class QPushButton;

void setButtonBackground(QPushButton *button, const QColor &colour);
QColor buttonBackground(const QPushButton *button);
