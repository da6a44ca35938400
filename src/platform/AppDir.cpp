#include "platform/AppDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString applicationDirectory()
{
    const QString fromEnv = qEnvironmentVariable("BRIVOLTE_NMS_DIR");
    if (!fromEnv.isEmpty()) {
        QDir().mkpath(fromEnv);
        return QDir::cleanPath(QDir(fromEnv).absolutePath());
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && QFileInfo::exists(exeDir + QStringLiteral("/nms.ini")))
        return QDir::cleanPath(exeDir);
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share/brivolte-nms");
    QDir().mkpath(data);
    return QDir::cleanPath(data);
}

QString databasePath()
{
    return applicationDirectory() + QStringLiteral("/nms.ini");
}

QString describeDatabaseLocation()
{
    return QStringLiteral("Element database: %1\n"
                          "  ($BRIVOLTE_NMS_DIR when set; else an nms.ini beside the program;\n"
                          "   else the per-user data folder)")
        .arg(databasePath());
}

} // namespace platform
