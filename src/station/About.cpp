#include "station/About.h"

#include <QStringList>

#include "platform/AppDir.h"
#include "platform/Settings.h"
#include "station/Licence.h"

namespace station {

QString programVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(BRIVOLTE_VERSION_MAJOR)
        .arg(BRIVOLTE_VERSION_MINOR)
        .arg(BRIVOLTE_VERSION_REVISION);
}

AboutFacts currentAboutFacts()
{
    return {programVersion(), QString::fromLatin1(qVersion()), platform::applicationDirectory(),
            platform::settingsFilePath()};
}

platform::MessageSpec aboutBox(const AboutFacts &facts)
{
    const QStringList lines{
        QStringLiteral("Brivolte NMS %1").arg(facts.version),
        QStringLiteral("Qt %1").arg(facts.qtVersion),
        QString(),
        QStringLiteral("Database folder: %1").arg(facts.databaseFolder),
        QStringLiteral("Settings file: %1").arg(facts.settingsFile),
        QString(),
        QString::fromUtf8(kCopyright),
        QStringLiteral("Licence: %1").arg(QString::fromUtf8(kLicence)),
    };
    return {lines.join(QLatin1Char('\r')), platform::MsgIcon::Information, platform::MsgButtons::Ok,
            QStringLiteral("About Brivolte NMS")};
}

QString versionText(const QString &program)
{
    return QStringLiteral("%1 %2\n%3\nLicence: %4\n")
        .arg(program, programVersion(), QString::fromUtf8(kCopyright), QString::fromUtf8(kLicence));
}

} // namespace station
