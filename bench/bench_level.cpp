// The audio level monitor of the station's core at its fastest (1 ms) for a few seconds:
// how many requests are answered, how many answers it takes in, how often the display is
// updated, and what share of one core the station spends on it.
//
//   bench_level [SECONDS]      against an answering encoder on 127.0.0.2:2977, a child
//                              process of this program (the station's own ports 2976 and
//                              2978 stay free for it)
//   inside the test network (lab/run-in-lab.sh 1 bench_level) it uses the simulated
//   element named first in BRIVOLTE_LAB_ELEMENTS instead.
//
// Prints one line per figure; not a test, it asserts nothing.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "LevelSignal.h"
#include "station/Station.h"

namespace {

const char kAnswererAddress[] = "127.0.0.2";

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Child mode: answer every "VOL" on 127.0.0.2:2977 with a 1201-byte block of noise, so
// that consecutive answers differ and each one would move the bar.
int runAnswerer(int seconds)
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QString::fromLatin1(kAnswererAddress)), 2977)) {
        std::fprintf(stderr, "answerer: cannot bind %s:2977: %s\n", kAnswererAddress,
                     qPrintable(socket.errorString()));
        return 3;
    }
    sim::LevelSignal noise;
    noise.kind = sim::LevelSignal::Kind::Noise;
    noise.value = 4194304;
    long answered = 0;
    QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
        while (socket.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 port = 0;
            char request[16];
            const qint64 n = socket.readDatagram(request, sizeof request, &from, &port);
            if (n == 3 && QByteArray(request, 3) == "VOL") {
                socket.writeDatagram(sim::levelBlock(noise, 1201), from, port);
                ++answered;
            }
        }
    });
    // The parent closes our standard input when it is done; a bounded life all the same.
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&input] {
        char buffer[64];
        if (::read(0, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            qApp->quit();
        }
    });
    std::printf("ready\n");
    std::fflush(stdout);
    QTimer::singleShot((seconds + 30) * 1000, qApp, &QCoreApplication::quit);
    const int rc = qApp->exec();
    std::printf("%ld\n", answered);
    std::fflush(stdout);
    return rc;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args.at(1) == QLatin1String("--answer"))
        return runAnswerer(args.at(2).toInt());
    const int seconds = args.size() > 1 ? qBound(1, args.at(1).toInt(), 60) : 5;

    QTemporaryDir dir;
    qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(dir.path()));
    const QStringList lab =
        QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_ELEMENTS")).split(' ', Qt::SkipEmptyParts);
    const QString target = lab.isEmpty() ? QString::fromLatin1(kAnswererAddress) : lab.first();
    {
        QFile ini(dir.path() + QStringLiteral("/nms.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write(QStringLiteral("[0011223344AA]\r\nNAME=STUDIO\r\nIP=%1\r\nROLE=1\r\n").arg(target).toLatin1());
    }

    QProcess answerer;
    if (lab.isEmpty()) {
        answerer.start(app.applicationFilePath(), {QStringLiteral("--answer"), QString::number(seconds)});
        if (!answerer.waitForReadyRead(5000)) {
            std::fprintf(stderr, "the answering encoder did not start: %s\n",
                         answerer.readAllStandardError().constData());
            return 1;
        }
    }

    station::Station station;
    if (!station.open().ok()) {
        std::fprintf(stderr, "UDP 2976 is taken\n");
        return 1;
    }
    station::LevelMonitor &monitor = station.level();
    monitor.setInterval(1);
    long answers = 0;
    long displayed = 0;
    QString lastLevel;
    QObject::connect(&monitor, &station::LevelMonitor::answered, [&answers] { ++answers; });
    QObject::connect(&monitor, &station::LevelMonitor::shown, [&](const LevelDisplay &d) {
        ++displayed;
        lastLevel = d.text;
    });
    QObject::connect(&monitor, &station::LevelMonitor::stopped, [&app](const platform::MessageSpec &m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(QString(m.text).replace('\r', ' ')));
        app.quit();
    });

    QElapsedTimer wall;
    double cpuStart = 0;
    QTimer::singleShot(300, &app, [&] {
        monitor.start(QStringLiteral("0011223344AA"));
        wall.start();
        cpuStart = cpuSeconds();
    });
    QTimer::singleShot(300 + seconds * 1000, &app, [&] {
        const QString shown = lastLevel;
        monitor.stop();
        lastLevel = shown;
        app.quit();
    });
    app.exec();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;

    std::printf("target                 %s (%s)\n", qPrintable(target),
                lab.isEmpty() ? "loopback answerer" : "simulated element in the test network");
    std::printf("interval               %d ms\n", monitor.interval());
    std::printf("seconds                %.2f\n", elapsed);
    long answered = -1;
    if (answerer.state() != QProcess::NotRunning) {
        answerer.readAllStandardOutput();   // "ready"
        answerer.closeWriteChannel();
        if (answerer.waitForFinished(5000))
            answered = answerer.readAllStandardOutput().trimmed().toLong();
    }
    if (answered >= 0)
        std::printf("requests answered/s    %.0f (counted by the answering encoder)\n",
                    answered / elapsed);
    std::printf("answers handled/s      %.0f\n", answers / elapsed);
    std::printf("display updates/s      %.0f\n", displayed / elapsed);
    std::printf("station CPU            %.1f %% of one core\n", 100.0 * cpu / elapsed);
    std::printf("last level             %s\n", qPrintable(lastLevel));
    if (answerer.state() != QProcess::NotRunning) {
        answerer.kill();
        answerer.waitForFinished(3000);
    }
    return 0;
}
