#pragma once
// What the programs say about themselves: --version and the Help menu's About box. The
// facts are gathered apart from the wording, so the wording can be checked with any
// folders.

#include <QString>

#include "platform/MessageSpec.h"

namespace station {

QString programVersion();   // major.minor.revision, as the window title writes it

struct AboutFacts {
    QString version;
    QString qtVersion;        // of the Qt library loaded, not the one built against
    QString databaseFolder;
    QString settingsFile;
};
AboutFacts currentAboutFacts();
platform::MessageSpec aboutBox(const AboutFacts &facts);

// The --version text of a program: its name and version, then copyright and licence.
QString versionText(const QString &program);

} // namespace station
