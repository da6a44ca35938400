// brivolte-nms: the network management station of a Brivolte studio-to-transmitter link.
#include <QApplication>
#include <cstdio>

#include "windows/Startup.h"
#include "windows/frmMain.h"
#include "platform/AppDir.h"
#include "platform/Interfaces.h"
#include "station/About.h"
#include "station/EventLog.h"

namespace {

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("brivolte-nms"));
    QCoreApplication::setApplicationVersion(station::programVersion());
}

void printHelp()
{
    std::printf("Usage: brivolte-nms [--interface NAME]... [GPS | LL]\n\n"
                "Network management station for Brivolte encoders and decoders.\n\n"
                "  GPS               start the GPSDO version (buffer up to 23 steps)\n"
                "  LL                start with the low-latency option (buffer up to 44 steps)\n"
                "  --interface NAME  page only on this network interface (repeatable);\n"
                "                    without it every up IPv4 interface that can broadcast\n"
                "                    is paged, whatever the routing table says\n"
                "  --help            show this help and exit\n"
                "  --version         show the version and exit\n\n"
                "The station listens on UDP 2976 (elements), 2978 (statistics, SFN).\n"
                "Each element is reached through the interface it was last heard on.\n"
                "%s\n"
                "Events (Tools > Event log) are also written to %s/%s (rotated by size);\n"
                "QT_LOGGING_RULES selects them, e.g. \"brivolte.*.debug=true\".\n",
                qPrintable(platform::describeDatabaseLocation()),
                qPrintable(station::EventLog::defaultFolder()), station::EventLog::kFileName);
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and version are asked for where there may be no display (a terminal over ssh,
    // a package check): they need no window system, so they get no QApplication.
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--help" || a == "-h" || a == "--version") {
            QCoreApplication app(argc, argv);
            nameApplication();
            if (a == "--version")
                std::fputs(qPrintable(station::versionText(QStringLiteral("brivolte-nms"))), stdout);
            else
                printHelp();
            return 0;
        }
    }
    QApplication app(argc, argv);
    nameApplication();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    // --interface NAME (repeatable) limits paging; what is left is the mode argument.
    QStringList pagingNames;
    for (int i = 0; i < arguments.size();) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--interface")) {
            if (i + 1 >= arguments.size()) {
                std::fprintf(stderr, "brivolte-nms: --interface needs the name of a network interface\n");
                return 2;
            }
            pagingNames << arguments.at(i + 1);
            arguments.remove(i, 2);
        } else if (a.startsWith(QLatin1String("--interface="))) {
            pagingNames << a.mid(int(qstrlen("--interface=")));
            arguments.remove(i);
        } else {
            ++i;
        }
    }
    platform::setPagingInterfaceNames(pagingNames);
    // Before anything that may report: the event log window shows all of this run.
    station::EventLog events(station::EventLog::defaultFolder());
    StartupResult started = startStation(arguments);
    if (!started.window)
        return started.exitCode;
    return app.exec();
}
