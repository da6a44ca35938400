#pragma once
// What the lab tests of the windows share: the test network (support/LabNetwork.h) and
// driving the main window as an operator does.
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

#include "support/LabNetwork.h"
#include "windows/frmMain.h"

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
