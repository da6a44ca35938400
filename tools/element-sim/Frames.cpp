#include "Frames.h"

#include <QString>
#include <QStringList>

namespace sim::frames {

namespace {

constexpr int kEthernetHeader = 14;
constexpr int kIpHeader = 20;
constexpr quint8 kProtoIcmp = 1, kProtoUdp = 17;

quint16 get16(const QByteArray &b, int at)
{
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}
quint32 get32(const QByteArray &b, int at)
{
    return (quint32(get16(b, at)) << 16) | get16(b, at + 2);
}
void put16(QByteArray &b, quint16 v)
{
    b.append(char(v >> 8)).append(char(v & 0xFF));
}
void put32(QByteArray &b, quint32 v)
{
    put16(b, quint16(v >> 16));
    put16(b, quint16(v & 0xFFFF));
}
void set16(QByteArray &b, int at, quint16 v)
{
    b[at] = char(v >> 8);
    b[at + 1] = char(v & 0xFF);
}

QByteArray ethernet(const Mac &dst, const Mac &src, quint16 type)
{
    QByteArray f = dst + src;
    put16(f, type);
    return f;
}

// An IPv4 header without options; TTL 64, don't fragment.
QByteArray ipHeader(quint32 src, quint32 dst, quint8 protocol, int payloadLength)
{
    QByteArray h;
    h.append(char(0x45)).append(char(0));
    put16(h, quint16(kIpHeader + payloadLength));
    put16(h, 0);
    put16(h, 0x4000);
    h.append(char(64)).append(char(protocol));
    put16(h, 0);
    put32(h, src);
    put32(h, dst);
    set16(h, 10, checksum(h));
    return h;
}

} // namespace

Mac broadcastMac()
{
    return Mac(6, char(0xFF));
}

std::optional<Mac> parseMac(const QString &text)
{
    const QStringList parts = QString(text).replace(QLatin1Char('-'), QLatin1Char(':')).split(QLatin1Char(':'));
    if (parts.size() != 6)
        return std::nullopt;
    Mac mac;
    for (const QString &p : parts) {
        bool ok = false;
        const uint v = p.toUInt(&ok, 16);
        if (!ok || p.size() != 2 || v > 255)
            return std::nullopt;
        mac.append(char(v));
    }
    return mac;
}

Mac macPlus(const Mac &first, quint32 steps)
{
    Mac mac = first;
    quint64 carry = steps;
    for (int i = 5; i >= 0 && carry; --i) {
        const quint64 sum = quint8(mac[i]) + carry;
        mac[i] = char(sum & 0xFF);
        carry = sum >> 8;
    }
    return mac;
}

quint16 checksum(const QByteArray &data)
{
    quint32 sum = 0;
    for (int i = 0; i + 1 < data.size(); i += 2)
        sum += get16(data, i);
    if (data.size() % 2)
        sum += quint32(quint8(data.back())) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

std::optional<Frame> parse(const QByteArray &b)
{
    if (b.size() < kEthernetHeader)
        return std::nullopt;
    Frame f;
    f.dst = b.left(6);
    f.src = b.mid(6, 6);
    const quint16 type = get16(b, 12);
    if (type == kEtherArp) {
        // Ethernet/IPv4 ARP only: hardware type 1, protocol 0x0800, lengths 6 and 4.
        if (b.size() < kEthernetHeader + 28 || get16(b, 14) != 1 || get16(b, 16) != kEtherIpv4
            || b[18] != 6 || b[19] != 4)
            return std::nullopt;
        Arp a;
        a.op = get16(b, 20);
        a.senderMac = b.mid(22, 6);
        a.senderIp = get32(b, 28);
        a.targetMac = b.mid(32, 6);
        a.targetIp = get32(b, 38);
        f.arp = a;
        return f;
    }
    if (type != kEtherIpv4 || b.size() < kEthernetHeader + kIpHeader)
        return std::nullopt;
    const int ihl = (quint8(b[14]) & 0x0F) * 4;
    const int total = get16(b, 16);
    if ((quint8(b[14]) >> 4) != 4 || ihl < kIpHeader || total < ihl || kEthernetHeader + total > b.size()
        || checksum(b.mid(kEthernetHeader, ihl)) != 0)
        return std::nullopt;
    if (get16(b, 20) & 0x3FFF)   // a fragment (more fragments, or an offset)
        return std::nullopt;
    const quint8 protocol = quint8(b[23]);
    const quint32 src = get32(b, 26), dst = get32(b, 30);
    const QByteArray body = b.mid(kEthernetHeader + ihl, total - ihl);
    if (protocol == kProtoUdp && body.size() >= 8) {
        const int length = get16(body, 4);
        if (length < 8 || length > body.size())
            return std::nullopt;
        f.udp = Udp{src, dst, get16(body, 0), get16(body, 2), body.mid(8, length - 8)};
        return f;
    }
    if (protocol == kProtoIcmp && body.size() >= 8 && body[0] == 8 && body[1] == 0 && checksum(body) == 0) {
        f.echoRequest = IcmpEcho{src, dst, body.mid(4)};
        return f;
    }
    return std::nullopt;
}

QByteArray arpFrame(const Mac &dst, const Arp &a)
{
    QByteArray f = ethernet(dst, a.senderMac, kEtherArp);
    put16(f, 1);
    put16(f, kEtherIpv4);
    f.append(char(6)).append(char(4));
    put16(f, a.op);
    f += a.senderMac;
    put32(f, a.senderIp);
    f += a.targetMac.size() == 6 ? a.targetMac : Mac(6, '\0');
    put32(f, a.targetIp);
    return f;
}

QByteArray udpFrame(const Mac &src, const Mac &dst, const Udp &u)
{
    QByteArray body;
    put16(body, u.srcPort);
    put16(body, u.dstPort);
    put16(body, quint16(8 + u.payload.size()));
    put16(body, 0);   // no checksum: allowed over IPv4, and the wire here loses nothing
    body += u.payload;
    return ethernet(dst, src, kEtherIpv4) + ipHeader(u.srcIp, u.dstIp, kProtoUdp, int(body.size())) + body;
}

QByteArray echoReplyFrame(const Mac &src, const Mac &dst, const IcmpEcho &request)
{
    QByteArray body;
    body.append(char(0)).append(char(0));
    put16(body, 0);
    body += request.body;
    set16(body, 2, checksum(body));
    return ethernet(dst, src, kEtherIpv4) + ipHeader(request.dstIp, request.srcIp, kProtoIcmp, int(body.size()))
           + body;
}

} // namespace sim::frames
