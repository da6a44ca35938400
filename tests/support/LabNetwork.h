#pragma once
// The test network as the lab tests see it: the simulated elements it describes
// (lab/lab.sh, lab_describe), running a command to its end, and the database's sections.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "store/IniStore.h"

struct LabElement {
    QString ip, mac, name;
    int role = 0;
    QString section() const { return QString(mac).remove(QLatin1Char(':')); }
};

inline QStringList envList(const char *name, QChar separator = QLatin1Char(' '))
{
    return QString::fromLocal8Bit(qgetenv(name)).split(separator, Qt::SkipEmptyParts);
}

// The elements of the test network, in order (element k is at index k - 1).
inline QList<LabElement> labElements()
{
    const QStringList ips = envList("BRIVOLTE_LAB_ELEMENTS"), macs = envList("BRIVOLTE_LAB_MACS"),
                      names = envList("BRIVOLTE_LAB_NAMES", QLatin1Char(',')), roles = envList("BRIVOLTE_LAB_ROLES");
    QList<LabElement> elements;
    for (int i = 0; i < ips.size() && i < macs.size() && i < names.size() && i < roles.size(); ++i)
        elements.append({ips.at(i), macs.at(i), names.at(i), roles.at(i).toInt()});
    return elements;
}

// The sections of a database file, and those the elements would have, both sorted.
inline QStringList sections(const QString &path)
{
    QStringList list;
    LoadIniSectionsLB(list, path);
    list.sort();
    return list;
}
inline QStringList sections(const QList<LabElement> &elements)
{
    QStringList list;
    for (const LabElement &e : elements)
        list << e.section();
    list.sort();
    return list;
}

// Runs a command to its end (bounded) and gives its standard output.
inline QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr,
                   QString *errors = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(2000);
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errors)
        *errors = QString::fromLocal8Bit(p.readAllStandardError());
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// `ip ARGS…`, true when it succeeded.
inline bool ip(const QStringList &arguments)
{
    int code = -1;
    run(QStringLiteral("ip"), arguments, &code);
    return code == 0;
}

inline QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}
