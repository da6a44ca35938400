// Prints what the event log costs: a message through the installed handler into the ring
// and the log file (rotating at 1 MiB), the window's table catching up on a full ring,
// and the memory a full ring of 100 000 events holds. Not a test: figures vary with the
// machine and the file system.

#include "station/EventLog.h"
#include "station/EventTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int kEvents = 200000;
    QTemporaryDir folder;
    qInstallMessageHandler(quiet);   // standard error would measure the terminal
    const long before = residentKiB();
    station::EventLog log(folder.path(), 100000);
    const platform::ElementTag element{QStringLiteral("STUDIO 1"), QStringLiteral("02:77:00:00:00:01"),
                                       QStringLiteral("10.77.0.11"), QStringLiteral("lan0")};
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kEvents; ++i)
        qCInfo(lcDiscovery).noquote() << platform::tagged(element, QStringLiteral("answer stored (%1)").arg(i));
    const double perEvent = clock.nsecsElapsed() / 1000.0 / kEvents;
    const long after = residentKiB();
    clock.restart();
    station::EventTable table(log.record());
    const qint64 catchUp = clock.elapsed();
    clock.restart();
    table.setElementFilter(element.label());
    const qint64 filter = clock.elapsed();
    std::printf("handler, ring and file: %.1f us per event (%d events, file rotated at 1 MiB)\n", perEvent, kEvents);
    std::printf("full ring of %d events: %ld KiB resident\n", log.record().capacity(), after - before);
    std::printf("table catch-up on the full ring: %lld ms; element filter: %lld ms (%d rows)\n",
                static_cast<long long>(catchUp), static_cast<long long>(filter), table.rowCount());
    std::printf("log file failures: %d\n", log.fileFailures());
    return 0;
}
