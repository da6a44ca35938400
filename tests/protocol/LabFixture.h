#pragma once
// What the lab tests of the windows share: the test network (support/LabNetwork.h), the
// station window started as an operator starts it, and driving it as an operator does.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

#include "support/LabNetwork.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/frmMain.h"

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kQuestion = QStringLiteral(
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \rAre you sure?");

// The main window on its own database, with scripted message boxes.
struct LabStation {
    TestEnvironment env;
    ScriptedMessageBox boxes;
    frmMain w{false, false};

    bool start()
    {
        if (!w.bindMainSocket().ok())
            return false;
        w.applyTitleAndBufferMaximum();
        w.Load_Config();
        boxes.clear();
        w.show();
        w.activateWindow();
        return QTest::qWaitForWindowExposed(&w);
    }
    // Save from the toolbar, answering its question with Yes.
    void save()
    {
        boxes.answerNext(platform::MsgAnswer::Yes);
        w.toolbarButton(4)->trigger();
    }
    QTreeWidgetItem *node(const QString &mac) const
    {
        for (int i = 0; i < w.TreeView1->topLevelItemCount(); ++i)
            if (w.TreeView1->topLevelItem(i)->data(0, Qt::UserRole).toString() == mac)
                return w.TreeView1->topLevelItem(i);
        return nullptr;
    }
    // Clicks the element's node; true when the panel then shows it.
    bool click(const QString &mac)
    {
        QTreeWidgetItem *item = node(mac);
        if (!item)
            return false;
        w.TreeView1->scrollToItem(item);
        QTest::mouseClick(w.TreeView1->viewport(), Qt::LeftButton, {}, w.TreeView1->visualItemRect(item).center());
        return w.lblElementMAC->text() == mac;
    }
};

// Replaces text in a field the way an operator does: select everything, type the new text.
inline void retype(QLineEdit *field, const QString &text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}
