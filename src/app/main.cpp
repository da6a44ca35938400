// brivolte-nms: the network management station of a Brivolte studio-to-transmitter link.
#include <QApplication>
#include <cstdio>

#include "app/Startup.h"
#include "app/frmMain.h"
#include "platform/AppDir.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("brivolte-nms"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(BRIVOLTE_VERSION_MAJOR)
                                                .arg(BRIVOLTE_VERSION_MINOR)
                                                .arg(BRIVOLTE_VERSION_REVISION));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::printf("Usage: brivolte-nms [GPS | LL]\n\n"
                    "Network management station for Brivolte encoders and decoders.\n\n"
                    "  GPS        start the GPSDO version (buffer up to 23 steps)\n"
                    "  LL         start with the low-latency option (buffer up to 44 steps)\n"
                    "  --help     show this help and exit\n"
                    "  --version  show the version and exit\n\n"
                    "The station listens on UDP 2976 (elements), 2978 (statistics, SFN).\n"
                    "%s\n",
                    qPrintable(platform::describeDatabaseLocation()));
        return 0;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        std::printf("brivolte-nms %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    StartupResult started = startStation(arguments);
    if (!started.window)
        return started.exitCode;
    return app.exec();
}
