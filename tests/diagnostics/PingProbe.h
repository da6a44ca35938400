#pragma once
// Shared by the ping tests: a main window with one selected element, and the ping
// button's state as the operator reads it.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "windows/frmMain.h"

struct PingButton {
    QString caption;
    QColor colour;
    bool operator==(const PingButton &o) const { return caption == o.caption && colour == o.colour; }
};

// The colour the operator sees: the commonest colour of the button as drawn, inside its
// frame. The caption covers far less of the face than the face itself.
inline QColor faceColour(QPushButton *button)
{
    const QImage image = button->grab().toImage();
    constexpr int kFrame = 3;
    QHash<QRgb, int> counts;
    for (int y = kFrame; y < image.height() - kFrame; ++y)
        for (int x = kFrame; x < image.width() - kFrame; ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    QRgb commonest = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            commonest = it.key();
        }
    return most ? QColor(commonest) : QColor();
}

inline PingButton pingButton(const frmMain &s)
{
    return {s.cmdPing->text(), faceColour(s.cmdPing)};
}

inline char *toString(const PingButton &b)
{
    return qstrdup(QStringLiteral("\"%1\" on %2").arg(b.caption, b.colour.name()).toUtf8().constData());
}

const QColor kTryingColour(255, 255, 192);
const QColor kSuccessColour(0, 255, 0);
const QColor kFailureColour(255, 128, 128);

// "12 ms": the round trip in whole milliseconds.
inline bool isRoundTrip(const QString &caption)
{
    static const QRegularExpression re(QStringLiteral("^[0-9]+ ms$"));
    return re.match(caption).hasMatch();
}

inline void selectElement(frmMain &s, const QString &mac, const QString &ip)
{
    s.lblElementMAC->setText(mac);
    s.txtElementIP->setText(ip);
    s.cmdPing->setText(QStringLiteral("<Click to test>"));
}
