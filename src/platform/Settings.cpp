#include "platform/Settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace platform {

namespace {
constexpr auto kGroup = "Brivolte";
} // namespace

// The file QSettings("Quorvane", "brivolte-nms") uses on Linux, named explicitly: QSettings
// caches its default folders for the life of the process, while the per-user folder is
// looked up afresh here at each call.
QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Quorvane/brivolte-nms.conf");
}

QString readSetting(const QString &key, const QString &defaultValue)
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.beginGroup(QLatin1String(kGroup));
    return settings.value(key, defaultValue).toString();
}

void writeSetting(const QString &key, const QString &value)
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.beginGroup(QLatin1String(kGroup));
    settings.setValue(key, value);
    settings.sync();
}

int settingAsNumber(const QString &text)
{
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    const int digitsStart = i;
    while (i < t.size() && t[i].isDigit() && i - digitsStart < 9)
        ++i;
    if (i == digitsStart)
        return 0;
    return t.left(i).toInt();
}

} // namespace platform
