#include "platform/Settings.h"

#include <QSettings>

namespace platform {

namespace {
constexpr auto kOrganisation = "Quorvane";
constexpr auto kApplication = "brivolte-nms";
constexpr auto kGroup = "Brivolte";
} // namespace

QString readSetting(const QString &key, const QString &defaultValue)
{
    QSettings settings{QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication)};
    settings.beginGroup(QLatin1String(kGroup));
    return settings.value(key, defaultValue).toString();
}

void writeSetting(const QString &key, const QString &value)
{
    QSettings settings{QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication)};
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
