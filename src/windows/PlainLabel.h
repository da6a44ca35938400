#pragma once
// Element names, addresses and values come from the network or the database: the station's
// labels never interpret them as markup.

#include <QLabel>

inline QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}
