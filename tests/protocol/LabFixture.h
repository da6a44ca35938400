#pragma once
// What the lab tests share: the simulated elements the test network describes
// (lab/lab.sh, lab_describe), running a command to its end, and driving the main window
// as an operator does.
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTreeWidget>
#include <QtTest>

#include "windows/frmMain.h"

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

// Replaces text in a field the way an operator does: select everything, type the new text.
inline void retype(QLineEdit *field, const QString &text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

inline QTreeWidgetItem *treeNode(const frmMain &w, const QString &mac)
{
    for (int i = 0; i < w.TreeView1->topLevelItemCount(); ++i)
        if (w.TreeView1->topLevelItem(i)->data(0, Qt::UserRole).toString() == mac)
            return w.TreeView1->topLevelItem(i);
    return nullptr;
}

// Clicks the element's node; true when the panel then shows it.
inline bool clickNode(frmMain &w, const QString &mac)
{
    QTreeWidgetItem *item = treeNode(w, mac);
    if (!item)
        return false;
    w.TreeView1->scrollToItem(item);
    QTest::mouseClick(w.TreeView1->viewport(), Qt::LeftButton, {}, w.TreeView1->visualItemRect(item).center());
    return w.lblElementMAC->text() == mac;
}
