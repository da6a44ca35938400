#include "FrameWire.h"

#include "protocol/ConfigCommand.h"
#include "protocol/Ports.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

FrameWire::FrameWire(const WireOptions &options, const SimLog &log, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_log(log)
{
}

FrameWire::~FrameWire()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void FrameWire::add(SimElement *element, const frames::Mac &mac)
{
    const int index = int(m_members.size());
    m_members.append({element, mac, element->model().config().ip});
    m_byIp.insert(m_members.back().ip, index);
    element->sendThrough([this, index](PortRole role, const QHostAddress &to, quint16 port, const QByteArray &data) {
        send(index, role, to, port, data);
    });
}

bool FrameWire::start(QString *error)
{
    m_ifindex = int(if_nametoindex(qPrintable(m_options.interfaceName)));
    if (m_ifindex == 0) {
        *error = QStringLiteral("no interface %1").arg(m_options.interfaceName);
        return false;
    }
    m_fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (m_fd < 0) {
        *error = QStringLiteral("cannot open a packet socket (needs root): %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_ALL);
    at.sll_ifindex = m_ifindex;
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0) {
        *error = QStringLiteral("cannot bind to %1: %2").arg(m_options.interfaceName, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // A whole field's ARP requests can arrive in one burst while answers are being sent.
    const int buffer = 8 << 20;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FrameWire::readFrames);
    m_log.note(QStringLiteral("wire"), QStringLiteral("%1 element(s) on %2 (%3, paging answers over %4 ms)")
                                           .arg(m_members.size())
                                           .arg(m_options.interfaceName)
                                           .arg(m_options.askStation ? QStringLiteral("asking for the station first")
                                                                     : QStringLiteral("without asking"))
                                           .arg(m_options.answerSpreadMs));
    return true;
}

void FrameWire::readFrames()
{
    // Bounded per wake-up so that timed answers interleave with a flood.
    for (int i = 0; i < 4096; ++i) {
        char buffer[65536];
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0)
            return;
        // Frames this host sends itself (this process or a sibling on the same wire).
        if (from.sll_pkttype == PACKET_OUTGOING)
            continue;
        if (const std::optional<frames::Frame> frame = frames::parse(QByteArray(buffer, int(n))))
            handle(*frame);
    }
}

int FrameWire::memberAt(quint32 ip)
{
    const auto it = m_byIp.constFind(ip);
    return it == m_byIp.cend() ? -1 : *it;
}

PortRole FrameWire::roleOf(quint16 port) const
{
    switch (port - m_options.portOffset) {
    case kMainPort:
        return PortRole::Main;
    case kLevelPort:
        return PortRole::Level;
    case kStatusPort:
        return PortRole::Status;
    default:
        return PortRole::Paging;
    }
}

void FrameWire::handle(const frames::Frame &frame)
{
    if (frame.arp) {
        const frames::Arp &a = *frame.arp;
        if (a.senderIp != 0)
            m_peers.insert(a.senderIp, a.senderMac);
        const int member = memberAt(a.targetIp);
        if (a.op != 1 || member < 0)
            return;
        const Member &m = m_members.at(member);
        transmit(frames::arpFrame(a.senderMac, {2, m.mac, a.senderMac, m.ip, a.senderIp}));
        return;
    }
    if (frame.echoRequest) {
        const int member = memberAt(frame.echoRequest->dstIp);
        if (member >= 0)
            transmit(frames::echoReplyFrame(m_members.at(member).mac, frame.src, *frame.echoRequest));
        return;
    }
    if (!frame.udp)
        return;
    const frames::Udp &u = *frame.udp;
    m_peers.insert(u.srcIp, frame.src);
    const quint16 port = quint16(u.dstPort - m_options.portOffset);
    const int member = memberAt(u.dstIp);
    if (port == kPagingPort) {
        if (member >= 0)
            deliver(member, PortRole::Paging, u);
        else if (frame.dst == frames::broadcastMac())
            page(u);
    } else if (member >= 0 && (port == kMainPort || port == kLevelPort || port == kStatusPort)) {
        deliver(member, roleOf(u.dstPort), u);
    }
}

void FrameWire::deliver(int member, PortRole role, const frames::Udp &udp)
{
    QNetworkDatagram d(udp.payload, QHostAddress(udp.dstIp), udp.dstPort);
    d.setSender(QHostAddress(udp.srcIp), udp.srcPort);
    Member &m = m_members[member];
    m.element->receive(role, d);
    // A configuration command may have given the element another address.
    const quint32 now = m.element->model().config().ip;
    if (now != m.ip) {
        if (m_byIp.value(m.ip, -1) == member)
            m_byIp.remove(m.ip);
        m.ip = now;
        m_byIp.insert(now, member);
    }
}

void FrameWire::page(const frames::Udp &request)
{
    if (request.payload != pagingRequest())
        return;
    const int n = int(m_members.size());
    for (int i = 0; i < n; ++i) {
        const int at = n > 0 ? int(qint64(m_options.answerSpreadMs) * i / n) : 0;
        if (at == 0) {
            deliver(i, PortRole::Paging, request);
            continue;
        }
        QTimer::singleShot(at, this, [this, i, request] { deliver(i, PortRole::Paging, request); });
    }
}

void FrameWire::send(int member, PortRole role, const QHostAddress &to, quint16 port, const QByteArray &data)
{
    const Member &m = m_members.at(member);
    const quint32 peer = to.toIPv4Address();
    const auto known = m_peers.constFind(peer);
    if (known == m_peers.cend()) {
        m_log.problem(m.element->label(), QStringLiteral("no hardware address seen for %1: answer not sent").arg(to.toString()));
        return;
    }
    if (role == PortRole::Main && m_options.askStation)
        transmit(frames::arpFrame(frames::broadcastMac(), {1, m.mac, frames::Mac(), m.ip, peer}));
    const quint16 from = quint16((role == PortRole::Level ? kLevelPort
                                  : role == PortRole::Status ? kStatusPort
                                                             : kMainPort) + m_options.portOffset);
    transmit(frames::udpFrame(m.mac, *known, {m.ip, peer, from, port, data}));
}

void FrameWire::transmit(const QByteArray &frame)
{
    if (::send(m_fd, frame.constData(), size_t(frame.size()), 0) == frame.size())
        return;
    if (++m_sendFailures == 1 || m_sendFailures % 1000 == 0)
        m_log.problem(QStringLiteral("wire"), QStringLiteral("%1 frame(s) not sent: %2")
                                                  .arg(m_sendFailures)
                                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace sim
