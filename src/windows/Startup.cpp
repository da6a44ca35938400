#include "windows/Startup.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtDebug>

#include "windows/frmDisclaimer.h"
#include "windows/frmMain.h"
#include "platform/AppDir.h"
#include "platform/Log.h"
#include "windows/MessageBox.h"
#include "platform/Settings.h"
#include "store/CrashLeftovers.h"

StartupMode modeFromArguments(const QStringList &arguments)
{
    const QString whole = arguments.join(QLatin1Char(' ')).toUpper();
    StartupMode mode;
    if (whole == QLatin1String("GPS"))
        mode.gpsdoVersion = true;
    else if (whole == QLatin1String("LL"))
        mode.lowLatencyOption = true;
    return mode;
}

namespace {

// The database folder must take a new file beside nms.ini (every write replaces the file
// through one). Asked for real rather than from permission bits, which root ignores.
bool databaseFolderWritable()
{
    const QString folder = platform::applicationDirectory();
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.brivolte-nms-probe-XXXXXX"));
    return probe.open();
}

// A station that ended abruptly can leave a temporary file of the store, and a discovery
// that did not finish leaves a partial database with the complete one beside it.
// Only a station alone with the database puts that right: another one may be writing
// or discovering right now.
std::unique_ptr<platform::FolderUse> cleanStart()
{
    const QString database = platform::databasePath();
    auto folder = std::make_unique<platform::FolderUse>(platform::applicationDirectory());
    const bool mine = folder->alone();
    if (mine) {
        for (const QString &name : removeStoreLeftovers(database))
            qCInfo(lcStore, "removed %s, left by a station that ended while writing", qPrintable(name));
    }
    folder->share();   // before the question: a start elsewhere must not wait for the answer
    const QString mark = DiscoveryMark::path(database);
    if (!mine)
        return folder;
    if (!QFile::exists(mark)) {
        removeDiscoveryLeftovers(database);
        return folder;
    }

    const QString backup = previousDatabasePath(database);
    if (QFile::exists(backup)
        && platform::showMessage(nullptr,
                                 QStringLiteral("The last auto discovery did not finish: the local "
                                                "database may hold only some of the elements.\r"
                                                "The previous database is kept in %1. Do you want to "
                                                "put it back?")
                                     .arg(QDir::toNativeSeparators(backup)),
                                 platform::MsgIcon::Question, platform::MsgButtons::YesNo,
                                 QStringLiteral("Restore database"))
               == platform::MsgAnswer::Yes) {
        QString error;
        if (!putBackPreviousDatabase(database, &error))
            platform::showMessage(nullptr,
                                  QStringLiteral("The previous database could not be put back: %1.\r"
                                                 "The local database was left as it was.")
                                      .arg(error),
                                  platform::MsgIcon::Critical);
    }
    QFile::remove(mark);   // asked once: the answer stands
    removeDiscoveryLeftovers(database);
    return folder;
}

} // namespace

StartupResult startStation(const QStringList &arguments, bool show)
{
    StartupResult result;
    const StartupMode mode = modeFromArguments(arguments);

    result.lock = std::make_unique<platform::InstanceLock>();
    if (!result.lock->tryAcquire()) {
        platform::showMessage(nullptr,
                              QStringLiteral("Quorvane Brivolte NMS is already running (check the "
                                             "icon in system tray)!"),
                              platform::MsgIcon::Information, platform::MsgButtons::Ok,
                              QStringLiteral("Quorvane Brivolte NMS"));
        result.lock.reset();
        result.exitCode = 1;
        return result;
    }

    if (platform::settingAsNumber(platform::readSetting(QStringLiteral("EULA1"), QStringLiteral("0"))) == 0) {
        frmDisclaimer notice;
        notice.exec();
    }
    result.folder = cleanStart();

    auto window = std::make_unique<frmMain>(mode.gpsdoVersion, mode.lowLatencyOption);
    window->toolbarButton(6)->setEnabled(false);
    window->toolbarButton(7)->setEnabled(false);
    window->Load_Config();
    if (!databaseFolderWritable()) {
        platform::showMessage(nullptr,
                              QStringLiteral("The local database folder cannot be written:\r%1\r"
                                             "Discovered elements and confirmed configurations "
                                             "will not be saved.")
                                  .arg(QDir::toNativeSeparators(platform::applicationDirectory())),
                              platform::MsgIcon::Critical);
    }
    if (const station::Result bound = window->bindMainSocket(); !bound.ok()) {
        platform::showMessage(nullptr, bound.message);
        result.exitCode = 1;
        return result;
    }
    window->applyTitleAndBufferMaximum();
    if (show)
        window->show();
    result.window = std::move(window);
    return result;
}
