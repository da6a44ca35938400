// What discovery and the tree rebuild cost with many elements.
//
//   bench_discovery load        Load_Config over a generated 1000-element nms.ini (the
//                               keys a discovery writes): median of 20 rebuilds, once
//                               with the file parsed each time, once with the parse
//                               reused, as after the station's own writes. Runs anywhere.
//   bench_discovery discovery   the station's own discovery (toolbar button 1 on an empty
//                               database) against the simulated elements of the test
//                               network: lab/run-in-lab.sh 100 bench_discovery discovery.
//                               How many answers were stored within the 3 s window, when
//                               the last one was, and where any missing answer went
//                               (kernel receive-buffer drops, answers still queued when
//                               the window closed, message boxes).
//   bench_discovery             discovery inside the test network, load elsewhere.
//
// The paging request is a broadcast: the discovery mode refuses to run unless it is in a
// network namespace of its own that the test network describes (BRIVOLTE_LAB_*).
// Prints one line per figure; not a test, it asserts nothing.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "platform/ProgramExit.h"
#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"
#include "protocol/ReplyRecord.h"
#include "store/IniStore.h"

namespace {

constexpr int kLoadElements = 1000;
constexpr int kLoadRuns = 20;
constexpr double kLoadTargetMs = 20.0;

// Answers every box at once as an operator accepting it would (Yes, or OK) and keeps the
// texts for the report.
class SilentMessageBox final : public platform::MessageBoxService {
public:
    SilentMessageBox() { platform::setMessageBox(this); }
    ~SilentMessageBox() override { platform::setMessageBox(nullptr); }
    platform::MsgAnswer show(QWidget *, const platform::MessageSpec &box) override
    {
        texts.append(box.text);
        return box.buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::Yes
                                                           : platform::MsgAnswer::Ok;
    }
    QStringList texts;
};

// The station's files in a temporary folder; must exist before any window is built.
class Workspace {
public:
    Workspace()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("db"));
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_dir.path() + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(m_dir.path() + QStringLiteral("/db")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/config")));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path() + QStringLiteral("/runtime")));
        platform::setEndProgramHook([this](int code) { endCode = code; });
    }
    ~Workspace() { platform::setEndProgramHook({}); }
    bool ok() const { return m_dir.isValid(); }
    int endCode = -1;   // set when the station would have ended the program

private:
    QTemporaryDir m_dir;
};

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

// ---- Load_Config over 1000 elements ----------------------------------------------

ElementFeedback generatedElement(int i)
{
    ElementFeedback f;
    const bool decoder = i % 2 == 1;
    f.UDP_Response_IP = QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250 + 1);
    f.UDP_Response_Mask = QStringLiteral("255.255.0.0");
    f.UDP_Response_GW = QStringLiteral("10.1.0.254");
    f.UDP_Response_Remote_IP = decoder ? QStringLiteral("239.192.0.5") : QStringLiteral("10.1.200.1");
    f.UDP_Response_Audio_Input = 1;
    f.UDP_Response_Audio_Type = 1;
    f.UDP_Response_TX_Type = decoder ? 1 : 0;
    f.UDP_Response_Name = (decoder ? QStringLiteral("SITE %1") : QStringLiteral("STUDIO %1"))
                              .arg(i, 4, 10, QLatin1Char('0'))
                              .leftJustified(16);
    f.UDP_Response_Role = decoder ? 2 : 1;
    f.UDP_Response_Serial_Number = 100000 + i;
    f.UDP_Response_Version_Major = 3;
    f.UDP_Response_Version_Minor = 4;
    f.UDP_Response_SFN = decoder ? 1 : 0;
    f.UDP_Response_Buffer = 10;
    f.UDP_Response_Attenuation = decoder ? 20 : 0;
    f.UDP_Response_SilDet_Mode = 1;
    f.UDP_Response_SilDet_Level = 37;
    f.UDP_Response_SilDet_Time = 43;
    f.UDP_Response_Low_Latency = 0;
    return f;
}

// The file as the store writes it: upper-case keys, trimmed values, CR LF. Written in one
// go: a thousand store writes would rewrite (and flush) the whole file a thousand times.
QByteArray generatedDatabase(int elements)
{
    QByteArray text;
    for (int i = 0; i < elements; ++i) {
        const QString section = QStringLiteral("%1").arg(0x0211AA000000LL + i, 12, 16, QLatin1Char('0')).toUpper();
        text += '[' + section.toLatin1() + "]\r\n";
        for (const auto &pair : discoveryRecord(generatedElement(i)))
            text += pair.first.toUpper().toLatin1() + '=' + pair.second.trimmed().toLatin1() + "\r\n";
    }
    return text;
}

// Dates the file back (a different second each time), so that the store sees a changed
// file and parses it again on the next read, and does not hold it as just written.
void ageFile(const QString &path, int step)
{
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 600 + step;
    times[1] = times[0];
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

int runLoad()
{
    SilentMessageBox boxes;
    const QString path = frmMain::iniPath();
    const QByteArray text = generatedDatabase(kLoadElements);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    ageFile(path, 0);
    std::printf("database: %d elements, %lld bytes, %s\n", kLoadElements, qlonglong(text.size()),
                qPrintable(path));

    frmMain w(false, false);
    w.show();
    QCoreApplication::processEvents();

    Series parsed, reused, untilIdle;
    for (int run = 0; run < kLoadRuns; ++run) {
        ageFile(path, run + 1);
        parsed.start();
        w.Load_Config();
        parsed.stop();
        QCoreApplication::processEvents();
    }
    for (int run = 0; run < kLoadRuns; ++run) {
        reused.start();
        w.Load_Config();
        reused.stop();
        QCoreApplication::processEvents();
    }
    // As the operator sees it: the rebuild plus the layout and repaint it causes.
    for (int run = 0; run < kLoadRuns; ++run) {
        untilIdle.start();
        w.Load_Config();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        untilIdle.stop();
    }

    const int nodes = w.TreeView1->topLevelItemCount();
    const int encoders = w.cmbEncoders->count() - 1;
    if (nodes != kLoadElements || encoders != kLoadElements / 2 || !boxes.texts.isEmpty()) {
        std::fprintf(stderr, "unexpected tree: %d nodes, %d encoders, %lld message boxes\n", nodes,
                     encoders, qlonglong(boxes.texts.size()));
        return 1;
    }
    printSeries("Load_Config, 1000 elements, file parsed each time", parsed);
    printSeries("Load_Config, 1000 elements, parse reused", reused);
    printSeries("Load_Config + layout and repaint, parse reused", untilIdle);
    const double worstWall = std::max(median(parsed.wall), median(reused.wall));
    const double worstCpu = std::max(median(parsed.cpu), median(reused.cpu));
    std::printf("target: Load_Config under %.0f ms: %s on wall-clock time (%.3f ms), %s on processor time (%.3f ms)\n",
                kLoadTargetMs, worstWall < kLoadTargetMs ? "met" : "MISSED", worstWall,
                worstCpu < kLoadTargetMs ? "met" : "MISSED", worstCpu);
    return 0;
}

// ---- discovery in the test network -----------------------------------------------

// The name of the network namespace this process is in, as ip knows it ("" for the
// host's own namespace or when it cannot be told).
QString ownNamespaceName()
{
    QProcess p;
    p.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("identify"),
                                   QString::number(QCoreApplication::applicationPid())});
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(2000);
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

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

int runDiscovery(const Workspace &workspace)
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
    if (elements.isEmpty() || prefix.isEmpty() || !stationAddressHere
        || ownNamespaceName() != prefix + QStringLiteral("station")) {
        std::printf("SKIPPED: discovery runs only inside the test network "
                    "(lab/run-in-lab.sh 100 bench_discovery discovery)\n");
        return 77;
    }

    SilentMessageBox boxes;
    frmMain w(false, false);
    if (!w.bindMainSocket()) {
        std::fprintf(stderr, "cannot bind UDP 2976 in the station namespace\n");
        return 1;
    }
    w.applyTitleAndBufferMaximum();
    const qint64 receiveBuffer = mainSocketReceiveBuffer();
    w.Load_Config();   // no database yet: answers its "empty" box
    w.show();
    QCoreApplication::processEvents();
    boxes.texts.clear();

    // The counters hang on an object of their own: they must outlive the station's own
    // handler, which is cut off when the window closes.
    QObject counters;
    int datagrams = 0, feedbackSized = 0, late = 0;
    bool windowClosed = false;
    QObject::connect(&w.udpClient, &platform::UdpPort::datagramReceived, &counters,
                     [&](const QByteArray &d) {
                         if (windowClosed) {
                             ++late;
                             return;
                         }
                         ++datagrams;
                         feedbackSized += routeDatagram(int(d.size())) == DatagramRoute::Feedback ? 1 : 0;
                     });
    std::vector<qint64> storedAt;
    QObject::connect(&w, &frmMain::discoveryAnswerStored, &w,
                     [&] { storedAt.push_back(realtimeNs()); });

    PagingEcho echo;
    const QString pack = prefix + QStringLiteral("pack");
    const UdpCounters stationBefore = udpCounters();
    const UdpCounters packBefore = udpCounters(pack);
    const SocketState socketBefore = mainSocketState();

    const qint64 triggeredAt = realtimeNs();
    w.toolbarButton(1)->trigger();   // empty database: no question; returns after 3 s
    const qint64 closedAt = realtimeNs();
    const SocketState socketAfter = mainSocketState();

    // Answers still waiting now would be taken for replies to a configuration command
    // (the station waits for a MAC address, then complains). Counted, not handled.
    windowClosed = true;
    QObject::disconnect(&w.udpClient, nullptr, &w, nullptr);
    QElapsedTimer drainTime;
    drainTime.start();
    while (drainTime.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    const UdpCounters stationAfter = udpCounters();
    const UdpCounters packAfter = udpCounters(pack);
    qint64 sentAt = echo.sentAt();
    const bool echoed = sentAt != 0;
    if (!echoed)
        sentAt = triggeredAt;

    QStringList sections;
    LoadIniSectionsLB(sections, frmMain::iniPath());
    const int n = int(elements.size());
    const auto ms = [&](qint64 ns) { return double(ns - sentAt) / 1e6; };

    std::printf("elements in the lab: %d (%s)\n", n, qgetenv("BRIVOLTE_LAB_MODE").constData());
    std::printf("main socket receive buffer: %lld bytes\n", qlonglong(receiveBuffer));
    std::printf("broadcast time taken from: %s\n",
                echoed ? "the kernel's stamp on the looped-back paging request"
                       : "the button press (no looped-back request seen)");
    if (echoed)
        std::printf("button press to broadcast: %.3f ms\n", double(sentAt - triggeredAt) / 1e6);
    std::printf("stored within the 3 s window (sections in nms.ini): %d/%d\n", int(sections.size()), n);
    std::printf("stored signals: %zu; tree nodes after the window: %d\n", storedAt.size(),
                w.TreeView1->topLevelItemCount());
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
    std::printf("window closed after: %.3f ms\n", ms(closedAt));
    std::printf("datagrams read by the main socket: %d (%d of feedback length)\n", datagrams, feedbackSized);
    std::printf("feedback messages dropped by the station's queue: %d\n", w.droppedFeedbackCount());
    if (socketAfter.found)
        std::printf("main socket: %lld datagram(s) dropped by the kernel during discovery, "
                    "%lld bytes (kernel accounting) still queued when the window closed\n",
                    qlonglong(socketAfter.drops - socketBefore.drops), qlonglong(socketAfter.rxQueue));
    std::printf("answers read after the window closed (not stored): %d\n", late);
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
    std::printf("message boxes during discovery: %lld\n", qlonglong(boxes.texts.size()));
    QStringList distinct = boxes.texts;
    distinct.removeDuplicates();
    for (const QString &text : std::as_const(distinct))
        std::printf("  %lldx \"%s\"\n", qlonglong(boxes.texts.count(text)),
                    qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1String("\\r"))));
    if (workspace.endCode >= 0)
        std::printf("the station would have ended the program (code %d)\n", workspace.endCode);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Workspace workspace;   // before the application, which reads XDG_RUNTIME_DIR
    if (!workspace.ok()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    QApplication app(argc, argv);
    QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode.isEmpty())
        mode = qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS") ? QStringLiteral("load")
                                                                    : QStringLiteral("discovery");
    if (mode == QLatin1String("load"))
        return runLoad();
    if (mode == QLatin1String("discovery"))
        return runDiscovery(workspace);
    std::fprintf(stderr, "usage: bench_discovery [load|discovery]\n");
    return 2;
}
