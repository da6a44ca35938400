#pragma once
// Shared by the ping tests: a main window with one selected element, and the ping
// button's state as the operator reads it.

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "app/frmMain.h"
#include "editor/ButtonColour.h"

struct PingButton {
    QString caption;
    QColor colour;
    bool operator==(const PingButton &o) const { return caption == o.caption && colour == o.colour; }
};

inline PingButton pingButton(const frmMain &s)
{
    return {s.cmdPing->text(), buttonBackground(s.cmdPing)};
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
