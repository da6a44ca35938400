// Prints how long the main window takes to fill its tree (Load_Config) from a database
// of 5000 elements, once with a file a minute old and once with one just written (as
// right after a discovery). Not a test: figures vary with the machine.
// Run: bench_tree (Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise).

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "windows/frmMain.h"

namespace {

constexpr int kElements = 5000;

void writeDatabase(const QString &path, bool aged)
{
    QByteArray text;
    for (int i = 0; i < kElements; ++i) {
        text += QStringLiteral("[%1]\r\n").arg(0x0011AA000000LL + i, 12, 16, QLatin1Char('0')).toUpper().toLatin1();
        text += QStringLiteral("NAME=ELEMENT %1\r\nIP=10.1.%2.%3\r\nMASK=255.255.0.0\r\nGW=10.1.0.254\r\n"
                               "ROLE=%4\r\nSN=%5\r\nVER=2.0\r\nSFN=0\r\nBUF=1\r\nLLO=0\r\n")
                    .arg(i).arg(i / 250).arg(i % 250 + 1).arg(i % 2 + 1).arg(100000 + i).toLatin1();
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    file.close();
    if (aged) {
        timespec times[2];
        clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= 60;
        times[1] = times[0];
        utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("BRIVOLTE_NMS_DIR", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    for (const bool aged : {true, false}) {
        writeDatabase(path, aged);
        frmMain window(false, false);
        QElapsedTimer wall;
        wall.start();
        window.Load_Config();
        const double ms = double(wall.nsecsElapsed()) / 1e6;
        const int nodes = window.findChild<QTreeWidget *>() ? window.findChild<QTreeWidget *>()->topLevelItemCount() : -1;
        std::printf("tree of %d elements, file %-14s %9.3f ms (%d nodes)\n", kElements,
                    aged ? "a minute old:" : "just written:", ms, nodes);
    }
    return 0;
}
