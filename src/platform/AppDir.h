#pragma once
// Where the element database lives: $BRIVOLTE_NMS_DIR when set; else the executable's
// folder when it already holds an nms.ini (a portable copy brought along); else the
// per-user data folder, created when missing. A build folder is never chosen by default.

#include <QString>

namespace platform {

QString applicationDirectory();          // no trailing separator
QString databasePath();                  // applicationDirectory() + "/nms.ini"
QString describeDatabaseLocation();      // one line for --help

} // namespace platform
