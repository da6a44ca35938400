// brivolte-element-sim: one or more simulated network elements for the station to find,
// configure and query. See --help.

#include "FrameWire.h"
#include "PagingListener.h"
#include "SimElement.h"
#include "SimLog.h"
#include "SimOptions.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brivolte-element-sim"));

    sim::ParseResult parsed = sim::parseCommandLine(QCoreApplication::arguments());
    if (!parsed.setup) {
        std::fputs(qPrintable(parsed.output + QLatin1Char('\n')), parsed.exitCode ? stderr : stdout);
        return parsed.exitCode;
    }
    sim::SimSetup &setup = *parsed.setup;
    const sim::SimLog log(setup.log);

    std::vector<std::unique_ptr<sim::SimElement>> elements;
    QList<sim::SimElement *> all;
    const bool onWire = !setup.wire.interfaceName.isEmpty();
    sim::FrameWire wire(setup.wire, log);
    for (sim::ElementSetup &e : setup.elements) {
        if (!e.interfaceName.isEmpty() && !sim::InterfaceAddress::runningAsRoot()) {
            log.problem(e.label, QStringLiteral("not root: address changes on %1 will only be reported")
                                     .arg(e.interfaceName));
            e.interfaceName.clear();
        }
        elements.push_back(std::make_unique<sim::SimElement>(e, log));
        if (onWire)
            wire.add(elements.back().get(), e.mac);
        QString error;
        if (!elements.back()->start(&error)) {
            log.problem(e.label, error);
            return 3;
        }
        all.append(elements.back().get());
    }

    sim::PagingListener paging(all, log);
    if (onWire) {
        QString error;
        if (!wire.start(&error)) {
            log.problem(QStringLiteral("wire"), error);
            return 3;
        }
    } else if (setup.paging == sim::PagingMode::Shared) {
        QString error;
        if (!paging.start(quint16(kPagingPort + setup.portOffset), &error)) {
            log.problem(QStringLiteral("paging"), error);
            return 3;
        }
    }
    log.note(QStringLiteral("sim"), QStringLiteral("%1 element(s) ready").arg(all.size()));
    return app.exec();
}
