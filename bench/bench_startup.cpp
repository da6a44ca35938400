// Start-up to a filled element tree over a generated 5000-element nms.ini, the way the
// station starts (argument rule, notices, tree, main socket; the window not shown): median
// of 5 runs with the file written long ago and with it written just before, as right after
// a discovery. It binds UDP 2976: bench/run.sh runs it in a network namespace of its own.
//
//   bench_startup [N]
//
// Not a test: it prints figures and asserts nothing.
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchDatabase.h"
#include "platform/AppDir.h"
#include "platform/Settings.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/Startup.h"
#include "windows/frmMain.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int elements = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    constexpr double kTargetMs = 300;
    TestEnvironment workspace;
    ScriptedMessageBox boxes;
    platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));   // the notice once accepted
    const QString path = platform::databasePath();
    const QByteArray text = generatedDatabase(elements);
    bool allMet = true;
    for (const bool fresh : {false, true}) {
        std::vector<double> ms;
        for (int run = 0; run < 5; ++run) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            file.close();
            if (!fresh)
                ageFile(path, run);
            QElapsedTimer t;
            t.start();
            StartupResult started = startStation({}, false);
            const double took = double(t.nsecsElapsed()) / 1e6;
            if (!started.window || started.window->TreeView1->topLevelItemCount() != elements) {
                std::fprintf(stderr, "start-up did not fill the tree (%s)\n", qPrintable(boxes.texts().join(" | ")));
                return 1;
            }
            ms.push_back(took);
        }
        std::sort(ms.begin(), ms.end());
        const double median = ms[ms.size() / 2];
        allMet = allMet && median < kTargetMs;
        std::printf("start-up to a filled tree, %d elements, file %s: median %.1f ms (min %.1f, max %.1f)\n",
                    elements, fresh ? "just written" : "written long ago", median, ms.front(), ms.back());
    }
    std::printf("target: start-up under %.0f ms whatever the file's age: %s\n", kTargetMs, allMet ? "met" : "MISSED");
    return 0;
}
