#pragma once
// Ethernet frames as a crowd of simulated elements on one wire sees them: ARP, ICMP echo
// and UDP over IPv4, read and built without sockets. Addresses in host order, hardware
// addresses as 6 bytes.

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace sim::frames {

constexpr quint16 kEtherArp = 0x0806;
constexpr quint16 kEtherIpv4 = 0x0800;

using Mac = QByteArray;   // 6 bytes
Mac broadcastMac();
// "02:77:01:00:00:2a" (or with dashes), nullopt when it is not 6 hexadecimal pairs.
std::optional<Mac> parseMac(const QString &text);
// The hardware address `steps` on from `first`, carried across the low bytes.
Mac macPlus(const Mac &first, quint32 steps);

struct Arp {
    quint16 op = 0;   // 1 request, 2 reply
    Mac senderMac, targetMac;
    quint32 senderIp = 0, targetIp = 0;
};

struct Udp {
    quint32 srcIp = 0, dstIp = 0;
    quint16 srcPort = 0, dstPort = 0;
    QByteArray payload;
};

struct IcmpEcho {
    quint32 srcIp = 0, dstIp = 0;
    QByteArray body;   // identifier, sequence and data, as they came
};

struct Frame {
    Mac dst, src;
    std::optional<Arp> arp;
    std::optional<Udp> udp;
    std::optional<IcmpEcho> echoRequest;
};

// What a frame carries, or nullopt when it is none of the above, damaged, a fragment, or
// has a header checksum that does not add up.
std::optional<Frame> parse(const QByteArray &frame);

QByteArray arpFrame(const Mac &dst, const Arp &arp);
QByteArray udpFrame(const Mac &src, const Mac &dst, const Udp &udp);
QByteArray echoReplyFrame(const Mac &src, const Mac &dst, const IcmpEcho &request);

// The Internet checksum (RFC 1071) over `data`, folded and complemented.
quint16 checksum(const QByteArray &data);

} // namespace sim::frames
