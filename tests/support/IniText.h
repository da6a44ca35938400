#pragma once
// Element records as tests write and read them: a section's text from its keys, and a
// section's keys (lower case) and values in file order as the store lists them.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "store/IniStore.h"

using Keys = QList<QPair<QString, QString>>;

inline QString iniSection(const QString &section, const Keys &keys)
{
    QString text = QLatin1Char('[') + section + QStringLiteral("]\n");
    for (const auto &key : keys)
        text += key.first.toUpper() + QLatin1Char('=') + key.second + QLatin1Char('\n');
    return text;
}

inline Keys sectionContents(const QString &section, const QString &path)
{
    QStringList names;
    LoadIniSectionKeysLB(section, names, path);
    Keys out;
    for (const QString &name : names)
        out.append({name.toLower(), ReadFromINI(section, name.toLower(), path)});
    return out;
}
