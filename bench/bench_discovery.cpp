// What discovery and the element listing behind the tree cost with many elements.
//
//   bench_discovery load [N]    the listing Load_Config builds the tree from, over a
//                               generated N-element nms.ini (5000; the keys a discovery
//                               writes): median of 20 runs, once with the file parsed
//                               each time, once with the parse reused, as after the
//                               station's own writes. Runs anywhere.
//   bench_discovery discovery   the station's own discovery (a storing run on an empty
//                               database) against the simulated elements of the test
//                               network: lab/run-in-lab.sh 100 bench_discovery discovery.
//                               How many answers were stored within the 3 s window, when
//                               the last one was, and where any missing answer went
//                               (kernel receive-buffer drops, answers still queued when
//                               the run ended, messages), the station's processor
//                               time, fsyncs, peak memory and the longest gap between
//                               two ticks of a 10 ms timer on its event loop. Ends
//                               with one "figures:" line for bench/run.sh's table.
//   bench_discovery             discovery inside the test network, load elsewhere.
//
// The paging request is a broadcast: the discovery mode refuses to run unless it is in a
// network namespace of its own that the test network describes (BRIVOLTE_LAB_*).
// Prints one line per figure; not a test, it asserts nothing.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "platform/AppDir.h"
#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"
#include "protocol/ReplyRecord.h"
#include "station/DiscoveryRun.h"
#include "station/ElementStore.h"
#include "station/Station.h"
#include "store/IniStore.h"
#include "support/TestEnvironment.h"
#include "BenchDatabase.h"

// Every flush the station asks for, counted on the way to the kernel: the store calls
// these directly, so the executable's own definitions take the calls.
namespace {
int g_fsyncs = 0;
}
extern "C" int fsync(int fd)
{
    ++g_fsyncs;
    return int(::syscall(SYS_fsync, fd));
}
extern "C" int fdatasync(int fd)
{
    ++g_fsyncs;
    return int(::syscall(SYS_fdatasync, fd));
}

namespace {

constexpr int kLoadElements = 5000;
constexpr int kLoadRuns = 20;
constexpr double kLoadTargetMs = 30.0;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Wall-clock and processor time of repeated runs. On a busy machine the wall-clock
// figure includes waiting for a processor; the processor time does not.
struct Series {
    std::vector<double> wall, cpu;
    QElapsedTimer timer;
    double cpuStart = 0;
    void start()
    {
        cpuStart = threadCpuMs();
        timer.start();
    }
    void stop()
    {
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
};

void printSeries(const char *what, const Series &s)
{
    std::printf("%-50s median %7.3f ms wall (min %7.3f, max %7.3f), %7.3f ms cpu  [%zu runs]\n",
                what, median(s.wall), *std::min_element(s.wall.begin(), s.wall.end()),
                *std::max_element(s.wall.begin(), s.wall.end()), median(s.cpu), s.wall.size());
}

// ---- the element listing ---------------------------------------------------------------

int runLoad(int elements)
{
    const QString path = platform::databasePath();
    const QByteArray text = generatedDatabase(elements);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    ageFile(path, 0);
    std::printf("database: %d elements, %lld bytes, %s\n", elements, qlonglong(text.size()),
                qPrintable(path));

    Series parsed, reused;
    station::ElementListing listing;
    for (int run = 0; run < kLoadRuns; ++run) {
        ageFile(path, run + 1);
        parsed.start();
        listing = station::listElements(path);
        parsed.stop();
    }
    for (int run = 0; run < kLoadRuns; ++run) {
        reused.start();
        listing = station::listElements(path);
        reused.stop();
    }
    const auto encoders = std::count_if(listing.elements.begin(), listing.elements.end(),
                                        [](const station::StoredElement &e) { return e.role == 1; });
    if (listing.elements.size() != elements || encoders != elements / 2) {
        std::fprintf(stderr, "unexpected listing: %lld elements, %lld encoders\n", qlonglong(listing.elements.size()),
                     qlonglong(encoders));
        return 1;
    }
    printSeries(qPrintable(QStringLiteral("element listing, %1 elements, file parsed each time").arg(elements)), parsed);
    printSeries(qPrintable(QStringLiteral("element listing, %1 elements, parse reused").arg(elements)), reused);
    const double worstWall = std::max(median(parsed.wall), median(reused.wall));
    const double worstCpu = std::max(median(parsed.cpu), median(reused.cpu));
    std::printf("target: listing under %.0f ms: %s on wall-clock time (%.3f ms), %s on processor time (%.3f ms)\n",
                kLoadTargetMs, worstWall < kLoadTargetMs ? "met" : "MISSED", worstWall,
                worstCpu < kLoadTargetMs ? "met" : "MISSED", worstCpu);
    return 0;
}

// ---- discovery in the test network -----------------------------------------------

// "Udp:" figures of /proc/net/snmp (of this namespace, or of another one through ip).
struct UdpCounters {
    bool ok = false;
    qint64 inDatagrams = 0, inErrors = 0, rcvbufErrors = 0;
};

UdpCounters udpCounters(const QString &netns = QString())
{
    QByteArray text;
    if (netns.isEmpty()) {
        QFile f(QStringLiteral("/proc/net/snmp"));
        if (f.open(QIODevice::ReadOnly))
            text = f.readAll();
    } else {
        QProcess p;
        p.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), netns,
                                       QStringLiteral("cat"), QStringLiteral("/proc/net/snmp")});
        if (p.waitForFinished(10000))
            text = p.readAllStandardOutput();
        else
            p.kill();
    }
    const QList<QByteArray> lines = text.split('\n');
    UdpCounters c;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).startsWith("Udp: ") || !lines.at(i + 1).startsWith("Udp: "))
            continue;
        const QList<QByteArray> names = lines.at(i).simplified().split(' ');
        const QList<QByteArray> values = lines.at(i + 1).simplified().split(' ');
        for (int k = 1; k < names.size() && k < values.size(); ++k) {
            if (names.at(k) == "InDatagrams")
                c.inDatagrams = values.at(k).toLongLong();
            else if (names.at(k) == "InErrors")
                c.inErrors = values.at(k).toLongLong();
            else if (names.at(k) == "RcvbufErrors")
                c.rcvbufErrors = values.at(k).toLongLong();
        }
        c.ok = true;
        break;
    }
    return c;
}

// The main socket's line in /proc/net/udp: bytes still queued and datagrams it dropped.
struct SocketState {
    bool found = false;
    qint64 rxQueue = 0, drops = 0;
};

SocketState mainSocketState()
{
    QFile f(QStringLiteral("/proc/net/udp"));
    SocketState s;
    if (!f.open(QIODevice::ReadOnly))
        return s;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 13 || !fields.at(1).endsWith(":0BA0"))   // local port 2976
            continue;
        s.found = true;
        s.rxQueue = fields.at(4).split(':').value(1).toLongLong(nullptr, 16);
        s.drops = fields.at(12).toLongLong();
    }
    return s;
}

// The main socket's receive buffer as the kernel grants it (ss's "rb"), or -1.
qint64 mainSocketReceiveBuffer()
{
    QProcess p;
    p.start(QStringLiteral("ss"), {QStringLiteral("-uamnH"), QStringLiteral("sport = :2976")});
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype at = out.indexOf(",rb");
    if (at < 0)
        return -1;
    qsizetype end = at + 3;
    while (end < out.size() && std::isdigit(static_cast<unsigned char>(out.at(end))))
        ++end;
    return out.mid(at + 3, end - at - 3).toLongLong();
}

qint64 realtimeNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Listens for the station's own paging request (a broadcast is also delivered to the
// sending host) to learn, from the kernel's receive time stamp, when it left.
class PagingEcho {
public:
    PagingEcho()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_fd < 0)
            return;
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(kPagingPort);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~PagingEcho()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // Realtime nanoseconds at which the paging request was received, or 0.
    qint64 sentAt() const
    {
        if (m_fd < 0)
            return 0;
        const QByteArray request = pagingRequest();
        for (int i = 0; i < 16; ++i) {
            char data[256];
            char control[256];
            iovec io{data, sizeof data};
            msghdr msg{};
            msg.msg_iov = &io;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(m_fd, &msg, 0);
            if (n < 0)
                return 0;
            if (QByteArray(data, int(n)) != request)
                continue;
            for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts{};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
                }
            }
        }
        return 0;
    }

private:
    int m_fd = -1;
};

int runDiscovery(const TestEnvironment &workspace)
{
    const QStringList elements = QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_ELEMENTS")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString station = QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_STATION"));
    const QString prefix = QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_NETNS"));
    // A broadcast must never leave the host's own namespace: run only in the station
    // namespace the test network named, with the station's address on one of its links.
    bool stationAddressHere = false;
    for (const QNetworkInterface &link : QNetworkInterface::allInterfaces()) {
        if (link.flags() & QNetworkInterface::IsLoopBack)
            continue;
        for (const QNetworkAddressEntry &entry : link.addressEntries())
            stationAddressHere = stationAddressHere || entry.ip().toString() == station;
    }
    if (elements.isEmpty() || !stationAddressHere || !inLabStationNamespace()) {
        std::printf("SKIPPED: discovery runs only inside the test network "
                    "(lab/run-in-lab.sh 100 bench_discovery discovery)\n");
        return 77;
    }

    station::Station w;
    if (!w.open().ok()) {
        std::fprintf(stderr, "cannot bind UDP 2976 in the station namespace\n");
        return 1;
    }
    const qint64 receiveBuffer = mainSocketReceiveBuffer();
    QStringList messages;
    QObject::connect(&w, &station::Station::feedbackRejected,
                     [&messages](const platform::MessageSpec &m) { messages << m.text; });

    // The counters hang on an object of their own: they must outlive the run.
    QObject counters;
    int datagrams = 0, feedbackSized = 0, late = 0;
    bool runEnded = false;
    QObject::connect(&w.socket(), &platform::UdpPort::datagramReceived, &counters, [&](const QByteArray &d) {
        if (runEnded) {
            ++late;
            return;
        }
        ++datagrams;
        feedbackSized += routeDatagram(int(d.size())) == DatagramRoute::Feedback ? 1 : 0;
    });
    std::vector<qint64> storedAt;
    QObject::connect(&w, &station::Station::discoveryAnswerStored, &counters, [&] { storedAt.push_back(realtimeNs()); });

    PagingEcho echo;
    const QString pack = prefix + QStringLiteral("pack");
    const UdpCounters stationBefore = udpCounters();
    const UdpCounters packBefore = udpCounters(pack);
    const SocketState socketBefore = mainSocketState();

    // The event loop's pulse: a late tick is a stall of the station's thread.
    QElapsedTimer pulse;
    qint64 lastTick = 0, longestStallNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = pulse.nsecsElapsed();
        longestStallNs = std::max(longestStallNs, now - lastTick);
        lastTick = now;
    });
    const auto cpuMs = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3
               + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    };
    const double cpuBefore = cpuMs();
    const int fsyncsBefore = g_fsyncs;
    pulse.start();
    ticker.start(10);

    const qint64 triggeredAt = realtimeNs();
    station::DiscoveryRun run(w);
    QEventLoop loop;
    QObject::connect(&run, &station::DiscoveryRun::finished, &loop, &QEventLoop::quit);
    const station::Result started = run.start();
    if (!started.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(started.message.text));
        return 1;
    }
    loop.exec();
    const qint64 closedAt = realtimeNs();
    ticker.stop();
    const double cpuUsed = cpuMs() - cpuBefore;
    const int fsyncs = g_fsyncs - fsyncsBefore;
    const SocketState socketAfter = mainSocketState();

    // Answers still coming now would be taken for replies to a configuration command.
    // Counted for a second, not handled.
    runEnded = true;
    QObject::disconnect(&w.socket(), nullptr, &w, nullptr);
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();

    const UdpCounters stationAfter = udpCounters();
    const UdpCounters packAfter = udpCounters(pack);
    qint64 sentAt = echo.sentAt();
    const bool echoed = sentAt != 0;
    if (!echoed)
        sentAt = triggeredAt;

    QStringList sections;
    LoadIniSectionsLB(sections, platform::databasePath());
    const int n = int(elements.size());
    const auto ms = [&](qint64 ns) { return double(ns - sentAt) / 1e6; };

    std::printf("elements in the lab: %d (%s)\n", n, qgetenv("BRIVOLTE_LAB_MODE").constData());
    std::printf("main socket receive buffer: %lld bytes\n", qlonglong(receiveBuffer));
    std::printf("broadcast time taken from: %s\n",
                echoed ? "the kernel's stamp on the looped-back paging request"
                       : "the run's start (no looped-back request seen)");
    if (echoed)
        std::printf("start to broadcast: %.3f ms\n", double(sentAt - triggeredAt) / 1e6);
    std::printf("stored within the 3 s window (sections in nms.ini): %d/%d\n", int(sections.size()), n);
    std::printf("stored signals: %zu; elements found: %d\n", storedAt.size(), run.found());
    if (!storedAt.empty()) {
        const double first = ms(storedAt.front());
        const double last = ms(storedAt.back());
        std::printf("broadcast to first stored element: %.3f ms\n", first);
        std::printf("broadcast to last stored element:  %.3f ms\n", last);
        std::printf("per stored element (last / count): %.3f ms\n", last / double(storedAt.size()));
        if (storedAt.size() > 1)
            std::printf("per stored element (first to last): %.3f ms\n",
                        (last - first) / double(storedAt.size() - 1));
    }
    std::printf("run ended after: %.3f ms\n", ms(closedAt));
    std::printf("datagrams read by the main socket: %d (%d of feedback length)\n", datagrams, feedbackSized);
    std::printf("feedback messages dropped by the station's queue: %d\n", w.droppedFeedbackCount());
    if (socketAfter.found)
        std::printf("main socket: %lld datagram(s) dropped by the kernel during discovery, "
                    "%lld bytes (kernel accounting) still queued when the run ended\n",
                    qlonglong(socketAfter.drops - socketBefore.drops), qlonglong(socketAfter.rxQueue));
    std::printf("answers read after the run ended (not stored): %d\n", late);
    if (stationAfter.ok)
        std::printf("station namespace UDP: InDatagrams +%lld, InErrors +%lld, RcvbufErrors +%lld\n",
                    qlonglong(stationAfter.inDatagrams - stationBefore.inDatagrams),
                    qlonglong(stationAfter.inErrors - stationBefore.inErrors),
                    qlonglong(stationAfter.rcvbufErrors - stationBefore.rcvbufErrors));
    if (packAfter.ok && packBefore.ok)
        std::printf("elements' namespace UDP:  InDatagrams +%lld, InErrors +%lld, RcvbufErrors +%lld\n",
                    qlonglong(packAfter.inDatagrams - packBefore.inDatagrams),
                    qlonglong(packAfter.inErrors - packBefore.inErrors),
                    qlonglong(packAfter.rcvbufErrors - packBefore.rcvbufErrors));
    std::printf("messages during discovery: %lld\n", qlonglong(messages.size()));
    QStringList distinct = messages;
    distinct.removeDuplicates();
    for (const QString &text : std::as_const(distinct))
        std::printf("  %lldx \"%s\"\n", qlonglong(messages.count(text)),
                    qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1String("\\r"))));
    if (workspace.endProgramCalls() > 0)
        std::printf("the station would have ended the program (code %d)\n", workspace.lastExitCode());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("station processor time during the run: %.1f ms; fsyncs: %d; peak memory: %.1f MB; "
                "longest event-loop stall: %.1f ms\n",
                cpuUsed, fsyncs, double(usage.ru_maxrss) / 1024, double(longestStallNs) / 1e6);
    std::printf("figures: %d %d %.0f %.0f %d %.1f %.0f\n", n, int(sections.size()),
                storedAt.empty() ? -1.0 : ms(storedAt.back()), cpuUsed, fsyncs, double(usage.ru_maxrss) / 1024,
                double(longestStallNs) / 1e6);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestEnvironment workspace;   // the station's files in a temporary folder
    QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode.isEmpty())
        mode = qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS") ? QStringLiteral("load")
                                                                    : QStringLiteral("discovery");
    if (mode == QLatin1String("load"))
        return runLoad(argc > 2 ? std::max(2, std::atoi(argv[2])) : kLoadElements);
    if (mode == QLatin1String("discovery"))
        return runDiscovery(workspace);
    std::fprintf(stderr, "usage: bench_discovery [load|discovery]\n");
    return 2;
}
