#include "windows/Startup.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include "windows/frmDisclaimer.h"
#include "windows/frmMain.h"
#include "platform/AppDir.h"
#include "windows/MessageBox.h"
#include "platform/Settings.h"

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
