#include "windows/ButtonColour.h"

#include <QPushButton>

void setButtonBackground(QPushButton *button, const QColor &colour)
{
    if (!button)
        return;
    // Without a border in the rule the engine hands the face back to the style. A press
    // and the keyboard focus still show, through the border, so the face stays the result.
    const QString face = colour.name(QColor::HexRgb);
    const QString edge = colour.darker(170).name(QColor::HexRgb);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid %2;"
                                         " border-radius: 3px; padding: 3px 8px; }"
                                         "QPushButton:focus { border-color: palette(highlight); }"
                                         "QPushButton:pressed { border-style: inset; border-width: 2px;"
                                         " padding: 2px 7px; }")
                              .arg(face, edge));
}
