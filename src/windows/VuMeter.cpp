#include "windows/VuMeter.h"

#include <QLinearGradient>
#include <QPainter>

VuMeter::VuMeter(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(140, 16);
}

void VuMeter::setWidthTwips(int twips)
{
    twips = qBound(0, twips, 2100);
    if (twips == m_twips)
        return;
    m_twips = twips;
    update();
}

void VuMeter::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base).darker(110));
    const int shown = (m_twips * width() + 1050) / 2100;
    if (shown <= 0)
        return;
    QLinearGradient ramp(0, 0, width(), 0);
    ramp.setColorAt(0.0, QColor(0, 64, 255));
    ramp.setColorAt(0.45, QColor(0, 200, 0));
    ramp.setColorAt(0.75, QColor(255, 230, 0));
    ramp.setColorAt(1.0, QColor(255, 128, 0));
    p.fillRect(QRect(0, 0, shown, height()), isEnabled() ? QBrush(ramp) : QBrush(Qt::gray));
}
