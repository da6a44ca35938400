#pragma once
// A shown main window over a temporary nms.ini, and the operator's gestures on it.

#include <QApplication>
#include <QLineEdit>
#include <QPair>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "windows/frmMain.h"
#include "store/IniStore.h"
#include "support/IniText.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

struct Panel {
    explicit Panel(const QString &ini, bool gpsdo = false, bool lowLatency = false)
    {
        env.writeIni(ini);
        w = std::make_unique<frmMain>(gpsdo, lowLatency);
        w->applyTitleAndBufferMaximum();
        w->Load_Config();
        w->show();
        w->activateWindow();
        // Focus events reach the fields only in the active window.
        exposed = QTest::qWaitForWindowActive(w.get());
    }

    // Clicks the tree entry of the element as the operator does. False when it is not there.
    bool click(const QString &mac)
    {
        QTreeWidget *tree = w->TreeView1;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = tree->topLevelItem(i);
            if (item->data(0, Qt::UserRole).toString() != mac)
                continue;
            tree->scrollToItem(item);
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
            return true;
        }
        return false;
    }

    TestEnvironment env;
    ScriptedMessageBox boxes;
    std::unique_ptr<frmMain> w;
    bool exposed = false;
};

inline QColor fieldColour(const QLineEdit *field)
{
    return field->palette().color(QPalette::Base);
}

inline QColor standardFieldColour(const QLineEdit *field)
{
    return QApplication::palette(field).color(QPalette::Base);
}

const QColor kLightRed(255, 128, 128);
const QColor kPaleYellow(255, 255, 192);
