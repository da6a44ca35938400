#include "windows/Images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace images {

namespace {

QPixmap canvas()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon draw(int index)
{
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 1: {   // discover: a magnifier over the network
        p.setPen(QPen(QColor(30, 60, 140), 2));
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
        break;
    }
    case 2: {   // refresh: a circular arrow
        p.setPen(QPen(QColor(20, 120, 40), 2));
        p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 300 * 16);
        p.setBrush(QColor(20, 120, 40));
        p.drawPolygon(QPolygonF({QPointF(12, 1), QPointF(15, 6), QPointF(10, 6)}));
        break;
    }
    case 3: {   // save: a diskette
        p.setPen(QColor(40, 40, 90));
        p.setBrush(QColor(70, 90, 170));
        p.drawRect(QRectF(2, 2, 12, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 2, 6, 4));
        break;
    }
    case 4: {   // start monitoring
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 150, 40));
        p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
        break;
    }
    case 5: {   // stop monitoring
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(190, 30, 30));
        p.drawRect(QRectF(3, 3, 10, 10));
        break;
    }
    case 6: {   // encoder: studio box with an outgoing arrow
        p.setPen(QColor(20, 60, 20));
        p.setBrush(QColor(90, 180, 90));
        p.drawRect(QRectF(1, 4, 9, 8));
        p.drawLine(QPointF(10, 8), QPointF(15, 8));
        p.drawLine(QPointF(12, 5), QPointF(15, 8));
        p.drawLine(QPointF(12, 11), QPointF(15, 8));
        break;
    }
    case 7: {   // decoder (or unknown): transmitter box with an incoming arrow
        p.setPen(QColor(60, 20, 20));
        p.setBrush(QColor(200, 120, 60));
        p.drawRect(QRectF(6, 4, 9, 8));
        p.drawLine(QPointF(0, 8), QPointF(6, 8));
        p.drawLine(QPointF(3, 5), QPointF(6, 8));
        p.drawLine(QPointF(3, 11), QPointF(6, 8));
        break;
    }
    default:
        return QIcon();
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace

QIcon imageList(int index)
{
    // Drawn once: a tree rebuild asks for an icon per element. Never destroyed, so no
    // pixmap outlives the application object at exit.
    static QIcon *const cache = new QIcon[8];
    if (index < 1 || index > 7)
        return QIcon();
    if (cache[index].isNull())
        cache[index] = draw(index);
    return cache[index];
}

QIcon applicationIcon()
{
    return draw(6);
}

} // namespace images
