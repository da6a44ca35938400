#pragma once
// The test network as the lab tests see it: the simulated elements it describes
// (lab/lab.sh, lab_describe), and running a command to its end.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

struct LabElement {
    QString ip, mac, name, serial;
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
    const QStringList ips = envList("BRIVOLTE_LAB_ELEMENTS");
    const QStringList macs = envList("BRIVOLTE_LAB_MACS");
    const QStringList names = envList("BRIVOLTE_LAB_NAMES", QLatin1Char(','));
    const QStringList roles = envList("BRIVOLTE_LAB_ROLES");
    const QStringList serials = envList("BRIVOLTE_LAB_SERIALS");
    QList<LabElement> elements;
    for (int i = 0; i < ips.size() && i < macs.size() && i < names.size() && i < roles.size() && i < serials.size(); ++i)
        elements.append({ips.at(i), macs.at(i), names.at(i), serials.at(i), roles.at(i).toInt()});
    return elements;
}

// Runs a command to its end (bounded) and gives its standard output.
inline QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(2000);
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
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
