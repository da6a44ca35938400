// The neighbour-table lookup: which kernel entries count, which addresses are never
// asked for, and the seam other tests use to stand in for the network.

#include "platform/Arp.h"

#include <QtTest>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

using platform::neighbour::DumpScan;
using platform::neighbour::LocalAddress;
using platform::neighbour::Reach;

Q_DECLARE_METATYPE(platform::neighbour::Reach)

namespace {

quint32 ip(const char *text)
{
    return ::inet_addr(text);
}

const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");
const quint32 kSeq = 7;

QByteArray attribute(quint16 type, const QByteArray &payload)
{
    rtattr header{};
    header.rta_type = type;
    header.rta_len = quint16(RTA_LENGTH(payload.size()));
    QByteArray a(reinterpret_cast<const char *>(&header), sizeof header);
    a += payload;
    a.append(QByteArray(RTA_ALIGN(a.size()) - a.size(), '\0'));
    return a;
}

QByteArray message(quint16 type, quint32 seq, const QByteArray &body)
{
    nlmsghdr header{};
    header.nlmsg_type = type;
    header.nlmsg_seq = seq;
    header.nlmsg_len = quint32(NLMSG_LENGTH(body.size()));
    QByteArray m(reinterpret_cast<const char *>(&header), sizeof header);
    m += body;
    m.append(QByteArray(NLMSG_ALIGN(m.size()) - m.size(), '\0'));
    return m;
}

QByteArray entry(const char *address, quint16 state, const QByteArray &lladdr = kMac,
                 quint8 family = AF_INET, quint32 seq = kSeq)
{
    ndmsg n{};
    n.ndm_family = family;
    n.ndm_state = state;
    n.ndm_ifindex = 2;
    QByteArray body(reinterpret_cast<const char *>(&n), sizeof n);
    const quint32 dst = ip(address);
    body += attribute(NDA_DST, QByteArray(reinterpret_cast<const char *>(&dst), 4));
    if (!lladdr.isNull())
        body += attribute(NDA_LLADDR, lladdr);
    return message(RTM_NEWNEIGH, seq, body);
}

QByteArray done(quint32 seq = kSeq)
{
    return message(NLMSG_DONE, seq, QByteArray(4, '\0'));
}

const char *const kProcHeader =
    "IP address       HW type     Flags       HW address            Mask     Device\n";

LocalAddress local(const char *address, const char *mask, unsigned flags,
                   const QByteArray &hw = QByteArray())
{
    LocalAddress a;
    a.address = ip(address);
    a.netmask = ip(mask);
    a.flags = flags;
    a.hardwareAddress = hw;
    return a;
}

} // namespace

class tst_Arp : public QObject {
    Q_OBJECT
private slots:
    void neighbourDump_data();
    void neighbourDump();
    void neighbourDumpAcrossBuffers();
    void procNetArp_data();
    void procNetArp();
    void classify_data();
    void classify();
    void refusedWithoutAsking_data();
    void refusedWithoutAsking();
    void replaceableLookup();
};

void tst_Arp::neighbourDump_data()
{
    QTest::addColumn<QByteArray>("dump");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("failed");

    // Every state in which the kernel knows the link-layer address counts.
    QTest::newRow("reachable") << entry("10.0.0.5", NUD_REACHABLE) + done() << true << false;
    QTest::newRow("stale") << entry("10.0.0.5", NUD_STALE) + done() << true << false;
    QTest::newRow("delay") << entry("10.0.0.5", NUD_DELAY) + done() << true << false;
    QTest::newRow("probe") << entry("10.0.0.5", NUD_PROBE) + done() << true << false;
    QTest::newRow("permanent") << entry("10.0.0.5", NUD_PERMANENT) + done() << true << false;
    QTest::newRow("noarp") << entry("10.0.0.5", NUD_NOARP) + done() << true << false;
    // Resolution still running or given up: the address in the entry is not the host's.
    QTest::newRow("incomplete") << entry("10.0.0.5", NUD_INCOMPLETE, QByteArray(6, '\0')) + done()
                                << false << false;
    QTest::newRow("incomplete with stale lladdr") << entry("10.0.0.5", NUD_INCOMPLETE) + done()
                                                  << false << false;
    QTest::newRow("failed") << entry("10.0.0.5", NUD_FAILED) + done() << false << false;
    QTest::newRow("none") << entry("10.0.0.5", NUD_NONE) + done() << false << false;
    // Someone else's entry, or not an Ethernet address.
    QTest::newRow("other address") << entry("10.0.0.50", NUD_REACHABLE) + done() << false << false;
    QTest::newRow("other family") << entry("10.0.0.5", NUD_REACHABLE, kMac, AF_INET6) + done()
                                   << false << false;
    QTest::newRow("8-byte lladdr") << entry("10.0.0.5", NUD_REACHABLE, kMac + "\x01\x02") + done()
                                   << false << false;
    QTest::newRow("4-byte lladdr") << entry("10.0.0.5", NUD_NOARP, kMac.left(4)) + done()
                                   << false << false;
    QTest::newRow("all-zero lladdr") << entry("10.0.0.5", NUD_NOARP, QByteArray(6, '\0')) + done()
                                     << false << false;
    QTest::newRow("no lladdr") << entry("10.0.0.5", NUD_REACHABLE, QByteArray()) + done()
                               << false << false;
    QTest::newRow("answer to another request")
        << entry("10.0.0.5", NUD_REACHABLE, kMac, AF_INET, kSeq + 1) + done() << false << false;
    // The same address on two interfaces: the incomplete one must not hide the good one.
    QTest::newRow("incomplete then reachable")
        << entry("10.0.0.5", NUD_INCOMPLETE) + entry("10.0.0.5", NUD_STALE) + done() << true << false;
    QTest::newRow("among others")
        << entry("10.0.0.1", NUD_REACHABLE, QByteArray::fromHex("0a0b0c0d0e0f"))
               + entry("10.0.0.5", NUD_REACHABLE) + entry("10.0.0.9", NUD_FAILED) + done()
        << true << false;

    // Broken kernel output ends the scan as a failure (the caller then reads /proc).
    QByteArray truncated = entry("10.0.0.5", NUD_REACHABLE);
    truncated.chop(6);
    QTest::newRow("message longer than buffer") << truncated << false << true;
    QByteArray tooShort = entry("10.0.0.5", NUD_REACHABLE);
    reinterpret_cast<nlmsghdr *>(tooShort.data())->nlmsg_len = 4;
    QTest::newRow("length below header") << tooShort << false << true;
    QTest::newRow("error") << message(NLMSG_ERROR, kSeq, QByteArray(20, '\0')) << false << true;
    // A broken attribute spoils only its own entry.
    QByteArray badAttribute = entry("10.0.0.5", NUD_REACHABLE);
    reinterpret_cast<rtattr *>(badAttribute.data() + NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg)))
        ->rta_len = 200;
    QTest::newRow("attribute overruns entry") << badAttribute + done() << false << false;
    QByteArray shortBody = message(RTM_NEWNEIGH, kSeq, QByteArray(4, '\x02'));
    QTest::newRow("body shorter than ndmsg") << shortBody + done() << false << false;
}

void tst_Arp::neighbourDump()
{
    QFETCH(QByteArray, dump);
    QFETCH(bool, found);
    QFETCH(bool, failed);

    DumpScan scan;
    scan.sequence = kSeq;
    platform::neighbour::scanNeighbourDump(dump, ip("10.0.0.5"), &scan);
    QCOMPARE(scan.failed, failed);
    QCOMPARE(scan.done, !failed);
    QCOMPARE(scan.found, found);
    if (found)
        QCOMPARE(scan.hardwareAddress, kMac);
}

void tst_Arp::neighbourDumpAcrossBuffers()
{
    DumpScan scan;
    scan.sequence = kSeq;
    const quint32 wanted = ip("10.0.0.5");
    platform::neighbour::scanNeighbourDump(entry("10.0.0.1", NUD_STALE), wanted, &scan);
    QVERIFY(!scan.done && !scan.found && !scan.failed);
    platform::neighbour::scanNeighbourDump(entry("10.0.0.5", NUD_REACHABLE), wanted, &scan);
    QVERIFY(!scan.done && scan.found);
    // A later entry for the same address does not replace the first complete one.
    platform::neighbour::scanNeighbourDump(
        entry("10.0.0.5", NUD_STALE, QByteArray::fromHex("020000000001")) + done(), wanted, &scan);
    QVERIFY(scan.done && !scan.failed);
    QCOMPARE(scan.hardwareAddress, kMac);
}

void tst_Arp::procNetArp_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");   // null: not found

    const QByteArray header(kProcHeader);
    QTest::newRow("complete")
        << header + "10.0.0.5         0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
        << kMac;
    QTest::newRow("permanent, upper case, no final newline")
        << header + "10.0.0.5 0x1 0x6 00:1A:2B:3C:4D:5E * eth0" << kMac;
    QTest::newRow("incomplete")
        << header + "10.0.0.5         0x1         0x0         00:00:00:00:00:00     *        eth0\n"
        << QByteArray();
    QTest::newRow("complete but zero")
        << header + "10.0.0.5 0x1 0x2 00:00:00:00:00:00 * eth0\n" << QByteArray();
    QTest::newRow("longer address sharing the prefix")
        << header + "10.0.0.50        0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
        << QByteArray();
    QTest::newRow("short hardware address")
        << header + "10.0.0.5 0x1 0x2 00:1a:2b:3c * eth0\n" << QByteArray();
    QTest::newRow("three-digit octet")
        << header + "10.0.0.5 0x1 0x2 00:1a:2b:3c:4d:5e0 * eth0\n" << QByteArray();
    QTest::newRow("incomplete on one interface, complete on another")
        << header + "10.0.0.5 0x1 0x0 00:00:00:00:00:00 * eth1\n"
                    "10.0.0.5 0x1 0x2 00:1a:2b:3c:4d:5e * eth0\n"
        << kMac;
    QTest::newRow("header only") << header << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("garbage lines")
        << header + "x\n\n10.0.0.5\n10.0.0.5 0x1 zz 00:1a:2b:3c:4d:5e * eth0\n" << QByteArray();
}

void tst_Arp::procNetArp()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);

    QByteArray hw("unchanged");
    const bool found = platform::neighbour::findInProcNetArp(text, ip("10.0.0.5"), &hw);
    QCOMPARE(found, !expected.isNull());
    QCOMPARE(hw, found ? expected : QByteArray("unchanged"));
}

void tst_Arp::classify_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<Reach>("reach");

    QTest::newRow("zero") << "0.0.0.0" << Reach::Unreachable;
    QTest::newRow("limited broadcast") << "255.255.255.255" << Reach::Unreachable;
    QTest::newRow("multicast low") << "224.0.0.1" << Reach::Unreachable;
    QTest::newRow("multicast high") << "239.255.255.250" << Reach::Unreachable;
    QTest::newRow("reserved") << "240.0.0.1" << Reach::Unreachable;
    QTest::newRow("loopback") << "127.0.0.1" << Reach::Unreachable;
    QTest::newRow("loopback other") << "127.0.0.53" << Reach::Unreachable;
    QTest::newRow("neighbour") << "192.168.10.1" << Reach::OnLink;
    QTest::newRow("neighbour top") << "192.168.10.254" << Reach::OnLink;
    QTest::newRow("own address") << "192.168.10.20" << Reach::Own;
    QTest::newRow("subnet broadcast") << "192.168.10.255" << Reach::Unreachable;
    QTest::newRow("subnet itself") << "192.168.10.0" << Reach::Unreachable;
    QTest::newRow("next subnet") << "192.168.11.1" << Reach::Unreachable;
    QTest::newRow("interface down") << "172.16.0.9" << Reach::Unreachable;
    QTest::newRow("interface without ARP") << "10.8.0.1" << Reach::Unreachable;
    QTest::newRow("/31 peer") << "10.99.0.1" << Reach::OnLink;
    QTest::newRow("/32 other") << "10.50.0.2" << Reach::Unreachable;
    QTest::newRow("far away") << "8.8.8.8" << Reach::Unreachable;
}

void tst_Arp::classify()
{
    QFETCH(QString, address);
    QFETCH(Reach, reach);

    const QByteArray ownMac = QByteArray::fromHex("020000000001");
    const QList<LocalAddress> locals = {
        local("127.0.0.1", "255.0.0.0", IFF_UP | IFF_LOOPBACK, QByteArray(6, '\0')),
        local("192.168.10.20", "255.255.255.0", IFF_UP | IFF_BROADCAST, ownMac),
        local("172.16.0.1", "255.255.0.0", IFF_BROADCAST, ownMac),
        local("10.8.0.2", "255.255.255.0", IFF_UP | IFF_NOARP | IFF_POINTOPOINT),
        local("10.99.0.0", "255.255.255.254", IFF_UP, ownMac),
        local("10.50.0.1", "255.255.255.255", IFF_UP, ownMac),
    };
    QByteArray hw;
    QCOMPARE(platform::neighbour::classify(ip(qPrintable(address)), locals, &hw), reach);
    if (reach == Reach::Own)
        QCOMPARE(hw, ownMac);
}

void tst_Arp::refusedWithoutAsking_data()
{
    // The first candidate outside every local subnet is used (documentation ranges, one
    // of which may be this host's own network).
    QTest::addColumn<QStringList>("candidates");
    QTest::newRow("zero") << QStringList{"0.0.0.0"};
    QTest::newRow("limited broadcast") << QStringList{"255.255.255.255"};
    QTest::newRow("multicast") << QStringList{"224.0.0.1"};
    QTest::newRow("loopback") << QStringList{"127.0.0.1"};
    QTest::newRow("off every subnet") << QStringList{"192.0.2.77", "198.51.100.77", "203.0.113.77"};
}

void tst_Arp::refusedWithoutAsking()
{
    QFETCH(QStringList, candidates);
    // Interlock: resolve sends a datagram to an address it thinks is on a local subnet,
    // and this host's network is no place for test traffic.
    const QList<LocalAddress> locals = platform::neighbour::localAddresses();
    quint32 address = 0;
    bool chosen = false;
    for (const QString &candidate : candidates) {
        address = ip(qPrintable(candidate));
        chosen = platform::neighbour::classify(address, locals) == Reach::Unreachable;
        if (chosen)
            break;
    }
    if (!chosen)
        QSKIP("local subnets hold every candidate; not asking the network for one");

    QByteArray hw("unchanged");
    QVERIFY(!platform::resolveHardwareAddress(address, &hw, 1000));
    QCOMPARE(hw, QByteArray("unchanged"));
}

void tst_Arp::replaceableLookup()
{
    int calls = 0;
    quint32 seen = 0;
    platform::setHardwareAddressLookup([&](quint32 address, QByteArray *hw) {
        seen = address;
        if (++calls < 3)
            return false;
        *hw = kMac;
        return true;
    });
    QByteArray hw;
    QVERIFY(!platform::lookupHardwareAddress(ip("10.0.0.5"), &hw));
    QVERIFY(!platform::lookupHardwareAddress(ip("10.0.0.5"), &hw));
    QVERIFY(platform::lookupHardwareAddress(ip("10.0.0.5"), &hw));
    QCOMPARE(hw, kMac);
    QCOMPARE(seen, ip("10.0.0.5"));

    // Emptied, the real lookup is back: 0.0.0.0 is refused without reaching the double.
    platform::setHardwareAddressLookup({});
    QVERIFY(!platform::lookupHardwareAddress(0, &hw));
    QCOMPARE(calls, 3);
}

QTEST_GUILESS_MAIN(tst_Arp)
#include "tst_arp.moc"
