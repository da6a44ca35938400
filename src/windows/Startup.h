#pragma once
// From launch to a shown main window: argument rule, single-instance rule, start-up
// notice, tree, main socket, title. Kept apart from main() so tests run it in-process.

#include <QStringList>
#include <memory>

#include "platform/FolderUse.h"
#include "platform/InstanceLock.h"

class frmMain;

struct StartupMode {
    bool gpsdoVersion = false;
    bool lowLatencyOption = false;
};

// The arguments (without the program name) as one text, upper case, compared as a whole:
// "GPS" or "LL".
StartupMode modeFromArguments(const QStringList &arguments);

struct StartupResult {
    std::unique_ptr<frmMain> window;               // null: the program ends
    int exitCode = 0;
    std::unique_ptr<platform::InstanceLock> lock;  // held while the window lives
    std::unique_ptr<platform::FolderUse> folder;   // the database folder, likewise
};

// Runs start-up steps 1 to 8. With show=false the window is built but not shown.
StartupResult startStation(const QStringList &arguments, bool show = true);
