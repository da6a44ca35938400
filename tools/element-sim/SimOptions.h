#pragma once
// The simulator's command line: what each simulated element is and how the process
// listens. Parsing is separate from main() so that its errors are plain values.

#include "FrameWire.h"
#include "SimElement.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace sim {

enum class PagingMode { Shared, Own, Off };

struct SimSetup {
    QList<ElementSetup> elements;
    PagingMode paging = PagingMode::Shared;
    quint16 portOffset = 0;
    bool log = false;
    WireOptions wire;   // an interface name: every element lives on that wire
};

struct ParseResult {
    std::optional<SimSetup> setup;   // empty when the program should end at once
    QString output;                  // --help text, or the error
    int exitCode = 0;                // 0 after --help, 2 on a usage error
};

ParseResult parseCommandLine(const QStringList &arguments);

} // namespace sim
