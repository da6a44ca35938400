#include "editor/ButtonColour.h"

#include <QPalette>
#include <QPushButton>
#include <QVariant>

namespace {
constexpr char kProperty[] = "backgroundRgb";
}

void setButtonBackground(QPushButton *button, const QColor &colour)
{
    if (!button)
        return;
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour);
    button->setPalette(palette);
    button->setAutoFillBackground(true);
    button->setProperty(kProperty, colour);
}

QColor buttonBackground(const QPushButton *button)
{
    if (!button)
        return QColor();
    const QVariant stored = button->property(kProperty);
    if (stored.canConvert<QColor>() && stored.value<QColor>().isValid())
        return stored.value<QColor>();
    return button->palette().color(QPalette::Button);
}
