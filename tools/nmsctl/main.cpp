// brivolte-nmsctl: discovery and configuration of Brivolte elements from a script. See --help.
#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

#include "Cli.h"
#include "station/About.h"
#include "station/EventLog.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The station's names: the same database folder and per-user settings as the window.
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("brivolte-nms"));
    // The station's events go to standard error through the same categories; a script
    // sees its warnings and errors, the exchanges only on asking (QT_LOGGING_RULES,
    // which takes precedence, e.g. "brivolte.*.info=true"). It keeps no log file: the
    // station's file is the station's, and a script's output is the script's to keep.
    QLoggingCategory::setFilterRules(QStringLiteral("brivolte.*.info=false"));
    // Through the record's handler, an event's element reaches standard error as
    // "[NAME MAC IP IF]" instead of the raw tag; no file, and one event kept is enough.
    station::EventLog events(QString(), 1);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    nmsctl::Invocation invocation;
    invocation.json = arguments.removeAll(QStringLiteral("--json")) > 0;
    if (arguments.value(0) == QLatin1String("--version")) {
        std::fputs(qPrintable(station::versionText(QStringLiteral("brivolte-nmsctl"))), stdout);
        return nmsctl::kOk;
    }
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("help")) {
        std::fputs(qPrintable(nmsctl::help(arguments.value(1))), stdout);
        return arguments.isEmpty() ? nmsctl::kUsage : nmsctl::kOk;
    }
    invocation.command = arguments.takeFirst();
    invocation.arguments = arguments;
    return nmsctl::run(invocation);
}
