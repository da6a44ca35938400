#pragma once
// brivolte-nmsctl run as a script runs it (BRIVOLTE_NMSCTL, set by CTest), bounded in
// time: its exit status, standard output and error, and its --json object.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

struct Nmsctl {
    QString errors;   // standard error of the last run

    int run(const QStringList &arguments, QString *out = nullptr)
    {
        QProcess p;
        p.start(qEnvironmentVariable("BRIVOLTE_NMSCTL"), arguments);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished(2000);
        }
        errors = QString::fromLocal8Bit(p.readAllStandardError());
        if (out)
            *out = QString::fromLocal8Bit(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // The JSON object of a run that ends with `expected` (an empty one otherwise).
    QJsonObject json(const QStringList &arguments, int expected)
    {
        QString out;
        const int code = run(arguments + QStringList{"--json"}, &out);
        if (code != expected)
            qWarning("%s: exit %d, wanted %d; %s %s", qPrintable(arguments.join(' ')), code, expected, qPrintable(out),
                     qPrintable(errors));
        return code == expected ? QJsonDocument::fromJson(out.toUtf8()).object() : QJsonObject();
    }
    static QStringList messages(const QJsonObject &o)
    {
        QStringList out;
        for (const QJsonValue &m : o.value("messages").toArray())
            out << m.toString();
        return out;
    }
};
