#include "platform/IcmpEcho.h"

#include "platform/Interfaces.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr quint8 kEchoReply = 0;
constexpr quint8 kDestinationUnreachable = 3;
constexpr quint8 kSourceQuench = 4;
constexpr quint8 kEchoRequest = 8;
constexpr quint8 kTimeExceeded = 11;
constexpr quint8 kParameterProblem = 12;

// Sequence numbers are shared by every IcmpEcho of the process: raw sockets see each
// other's replies, and a late reply to a dropped request must not match the next one.
std::atomic<quint16> g_sequence{0};

quint16 checksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    const auto *p = reinterpret_cast<const quint8 *>(bytes.constData());
    int n = bytes.size();
    for (; n > 1; p += 2, n -= 2)
        sum += quint32(p[0]) << 8 | p[1];
    if (n)
        sum += quint32(p[0]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

quint16 readBigEndian16(const char *p)
{
    return quint16(quint8(p[0]) << 8 | quint8(p[1]));
}

// ICMP error (type, code) to the station's status table.
int statusForError(quint8 type, quint8 code)
{
    switch (type) {
    case kDestinationUnreachable:
        switch (code) {
        case 0: case 6: case 9: case 11: return 11002;   // network
        case 2: return 11004;                            // protocol
        case 3: return 11005;                            // port
        case 4: return 11009;                            // fragmentation needed
        case 5: return 11012;                            // source route failed
        default: return 11003;                           // host, and the rest
        }
    case kSourceQuench: return 11016;
    case kTimeExceeded: return code == 1 ? 11014 : 11013;
    case kParameterProblem: return 11015;
    default: return IcmpEcho::kGeneralFailure;
    }
}

const char *const kNotPermitted =
    "ICMP sockets not permitted: run as root, give the program CAP_NET_RAW "
    "(setcap cap_net_raw+ep) or allow the group in net.ipv4.ping_group_range";

bool notPermitted(int error)
{
    return error == EACCES || error == EPERM || error == EPROTONOSUPPORT
        || error == EAFNOSUPPORT || error == ESOCKTNOSUPPORT;
}

int openSocket(IcmpEcho::SocketKind kind)
{
    const int type = kind == IcmpEcho::SocketKind::Raw ? SOCK_RAW : SOCK_DGRAM;
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
}

} // namespace

struct IcmpEcho::Impl {
    int fd = -1;
    bool raw = false;
    quint32 target = 0;   // network order
    quint16 id = 0;
    quint16 sequence = 0;
    QElapsedTimer clock;
    QSocketNotifier *notifier = nullptr;   // child of the IcmpEcho, one per request
    QTimer timer;
};

IcmpEcho::IcmpEcho(QObject *parent) : QObject(parent), d(std::make_unique<Impl>())
{
    d->timer.setSingleShot(true);
    connect(&d->timer, &QTimer::timeout, this, [this] { finish(kTimedOut, 0); });
}

IcmpEcho::~IcmpEcho()
{
    release();
}

bool IcmpEcho::canOpen(SocketKind kind)
{
    if (kind == SocketKind::Automatic)
        return canOpen(SocketKind::Datagram) || canOpen(SocketKind::Raw);
    const int fd = openSocket(kind);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool IcmpEcho::start(const QString &address, const QByteArray &payload, int timeoutMs)
{
    cancel();
    m_failure.clear();

    in_addr target{};
    const QByteArray text = address.toLatin1();
    if (::inet_pton(AF_INET, text.constData(), &target) != 1) {
        m_failure = QStringLiteral("\"%1\" is not an IPv4 address").arg(address);
        return false;
    }
    if (target.s_addr == INADDR_ANY || target.s_addr == INADDR_BROADCAST) {
        m_failure = QStringLiteral("%1 cannot be pinged").arg(address);
        return false;
    }

    int fd = -1;
    SocketKind used = m_kind;
    int datagramError = 0;
    if (m_kind != SocketKind::Raw) {
        fd = openSocket(SocketKind::Datagram);
        datagramError = errno;
        used = SocketKind::Datagram;
    }
    if (fd < 0 && m_kind != SocketKind::Datagram) {
        fd = openSocket(SocketKind::Raw);
        used = SocketKind::Raw;
    }
    if (fd < 0) {
        const int error = errno;
        if (!notPermitted(error) || (m_kind == SocketKind::Automatic && !notPermitted(datagramError)))
            m_failure = QStringLiteral("Cannot open an ICMP socket: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(error)));
        else if (m_kind == SocketKind::Datagram)
            m_failure = QStringLiteral("ICMP datagram sockets not permitted: allow the group "
                                       "in net.ipv4.ping_group_range");
        else if (m_kind == SocketKind::Raw)
            m_failure = QStringLiteral("Raw ICMP sockets not permitted: run as root or give "
                                       "the program CAP_NET_RAW (setcap cap_net_raw+ep)");
        else
            m_failure = QString::fromLatin1(kNotPermitted);
        return false;
    }

    const bool raw = used == SocketKind::Raw;
    if (raw) {
        // Only the types that can answer an echo request reach this socket.
        icmp_filter filter{};
        filter.data = ~((1u << kEchoReply) | (1u << kDestinationUnreachable)
                        | (1u << kSourceQuench) | (1u << kTimeExceeded)
                        | (1u << kParameterProblem));
        ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    } else {
        // ICMP errors about our request arrive on the error queue.
        const int on = 1;
        ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
    }

    // A datagram socket puts its own identifier in; the raw one needs one that other
    // processes pinging at the same time are unlikely to share.
    const quint16 id = quint16(::getpid());
    const quint16 sequence = ++g_sequence;
    QByteArray packet(8, '\0');
    packet[0] = char(kEchoRequest);
    packet[4] = char(id >> 8);
    packet[5] = char(id);
    packet[6] = char(sequence >> 8);
    packet[7] = char(sequence);
    packet.append(payload);
    const quint16 sum = checksum(packet);
    packet[2] = char(sum >> 8);
    packet[3] = char(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = target;
    d->clock.start();
    // The element's own link, as every other exchange with it.
    if (const int error = sendToNeighbour(fd, packet, to)) {
        m_failure = QStringLiteral("Echo request to %1 not sent: %2")
                        .arg(address, QString::fromLocal8Bit(std::strerror(error)));
        ::close(fd);
        return false;
    }

    d->fd = fd;
    d->raw = raw;
    d->target = target.s_addr;
    d->id = id;
    d->sequence = sequence;
    d->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, &IcmpEcho::readReplies);
    d->timer.start(qMax(0, timeoutMs));
    m_kindUsed = used;
    return true;
}

void IcmpEcho::cancel()
{
    release();
}

bool IcmpEcho::isBusy() const
{
    return d->fd >= 0;
}

void IcmpEcho::release()
{
    d->timer.stop();
    if (d->notifier) {
        // The notifier may be the sender of the slot running now: delete it later.
        d->notifier->setEnabled(false);
        d->notifier->deleteLater();
        d->notifier = nullptr;
    }
    if (d->fd >= 0) {
        ::close(d->fd);
        d->fd = -1;
    }
}

void IcmpEcho::finish(int status, quint32 roundTripMs)
{
    release();
    // Last statement: a receiver may start the next request or delete this object.
    emit finished(status, roundTripMs);
}

void IcmpEcho::readReplies()
{
    char buffer[2048];
    int status = -1;
    // Drain what is queued; stray ICMP traffic is read and dropped. The bound keeps a
    // flood from holding the event loop.
    for (int i = 0; i < 64 && status < 0; ++i) {
        if (!d->raw) {
            // Errors first: reading data would report the error and clear it.
            char control[512];
            sockaddr_in offender{};
            iovec io{buffer, sizeof buffer};
            msghdr message{};
            message.msg_name = &offender;
            message.msg_namelen = sizeof offender;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(d->fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
            if (n >= 8 && readBigEndian16(buffer + 6) == d->sequence) {
                for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                    if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                        continue;
                    sock_extended_err error;
                    std::memcpy(&error, CMSG_DATA(c), sizeof error);
                    if (error.ee_origin == SO_EE_ORIGIN_ICMP)
                        status = statusForError(error.ee_type, error.ee_code);
                }
            }
            if (n >= 0)
                continue;
        }

        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(d->fd, buffer, sizeof buffer, MSG_TRUNC,
                                     reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;   // nothing more queued (or an error already consumed)
        }
        const int length = qMin<int>(int(n), int(sizeof buffer));

        if (!d->raw) {
            // The kernel has already matched the identifier.
            if (length >= 8 && quint8(buffer[0]) == kEchoReply
                && readBigEndian16(buffer + 6) == d->sequence && from.sin_addr.s_addr == d->target)
                status = kSuccess;
            continue;
        }

        // Raw: IPv4 header, then the ICMP message.
        if (length < 20 || (quint8(buffer[0]) >> 4) != 4)
            continue;
        const int headerLength = (buffer[0] & 0x0F) * 4;
        if (headerLength < 20 || length < headerLength + 8 || buffer[9] != IPPROTO_ICMP)
            continue;
        const char *icmp = buffer + headerLength;
        const int icmpLength = length - headerLength;
        const quint8 type = quint8(icmp[0]);
        if (type == kEchoReply) {
            quint32 source;
            std::memcpy(&source, buffer + 12, 4);
            const bool whole = n <= ssize_t(sizeof buffer);
            if (source == d->target && readBigEndian16(icmp + 4) == d->id
                && readBigEndian16(icmp + 6) == d->sequence
                && (!whole || checksum(QByteArray::fromRawData(icmp, icmpLength)) == 0))
                status = kSuccess;
            continue;
        }
        // An error quotes the IPv4 header and first 8 bytes of the datagram it is about.
        const char *quoted = icmp + 8;
        const int quotedLength = icmpLength - 8;
        if (quotedLength < 20 || (quint8(quoted[0]) >> 4) != 4)
            continue;
        const int quotedHeader = (quoted[0] & 0x0F) * 4;
        if (quotedHeader < 20 || quotedLength < quotedHeader + 8 || quoted[9] != IPPROTO_ICMP)
            continue;
        quint32 quotedDestination;
        std::memcpy(&quotedDestination, quoted + 16, 4);
        const char *request = quoted + quotedHeader;
        if (quotedDestination == d->target && quint8(request[0]) == kEchoRequest
            && readBigEndian16(request + 4) == d->id && readBigEndian16(request + 6) == d->sequence)
            status = statusForError(type, quint8(icmp[1]));
    }

    if (status < 0)
        return;
    // Round trip in whole milliseconds, rounded down.
    const quint32 roundTrip = status == kSuccess ? quint32(d->clock.elapsed()) : 0;
    finish(status, roundTrip);
}

} // namespace platform
