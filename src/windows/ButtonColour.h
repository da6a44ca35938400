#pragma once
// Background colour of a push button (the ping button shows its result as a colour).

#include <QColor>

class QPushButton;

// Paints the button's face in exactly `colour`, whatever the application's style. The
// palette's Button role is only a hint to a style: Fusion, for one, draws a light gradient
// from it, so a green or red result reads as grey-white. A style sheet that gives the
// button a border of its own makes the style sheet engine draw the whole face instead.
void setButtonBackground(QPushButton *button, const QColor &colour);
