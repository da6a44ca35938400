#pragma once
// Per-user settings of the station ("EULA1", "AutoClearCounters"): QSettings, organisation
// "Quorvane", group "Brivolte". Tests point XDG_CONFIG_HOME at a temporary folder.

#include <QString>

namespace platform {

QString readSetting(const QString &key, const QString &defaultValue);
void writeSetting(const QString &key, const QString &value);

// A stored text taken as a number the way the station reads its settings: the leading
// whole number, 0 when the text is not a number at all.
int settingAsNumber(const QString &text);

// The file the settings are kept in (~/.config/Quorvane/brivolte-nms.conf).
QString settingsFilePath();

} // namespace platform
