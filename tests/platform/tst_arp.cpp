// The neighbour-table lookup: which kernel entries count and which addresses are never
// asked for.

#include "platform/Arp.h"

#include <QtTest>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

using namespace platform::neighbour;

Q_DECLARE_METATYPE(platform::neighbour::Reach)

namespace {

quint32 ip(const char *text) { return ::inet_addr(text); }

const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");
const quint32 kSeq = 7;

template <typename Header>
QByteArray aligned(const Header &header, const QByteArray &payload, int alignedSize)
{
    QByteArray data = QByteArray(reinterpret_cast<const char *>(&header), sizeof header) + payload;
    return data + QByteArray(alignedSize - data.size(), '\0');
}

QByteArray message(quint16 type, quint32 seq, const QByteArray &body)
{
    nlmsghdr header{};
    header.nlmsg_type = type;
    header.nlmsg_seq = seq;
    header.nlmsg_len = quint32(NLMSG_LENGTH(body.size()));
    return aligned(header, body, NLMSG_ALIGN(header.nlmsg_len));
}

QByteArray attribute(quint16 type, const QByteArray &payload)
{
    const rtattr header{quint16(RTA_LENGTH(payload.size())), type};
    return aligned(header, payload, RTA_ALIGN(header.rta_len));
}

QByteArray entry(const char *address, quint16 state, const QByteArray &lladdr = kMac, quint8 family = AF_INET,
                 quint32 seq = kSeq)
{
    ndmsg n{};
    n.ndm_family = family;
    n.ndm_state = state;
    n.ndm_ifindex = 2;
    const quint32 dst = ip(address);
    QByteArray body = QByteArray(reinterpret_cast<const char *>(&n), sizeof n)
                      + attribute(NDA_DST, QByteArray(reinterpret_cast<const char *>(&dst), 4));
    if (!lladdr.isNull())
        body += attribute(NDA_LLADDR, lladdr);
    return message(RTM_NEWNEIGH, seq, body);
}

const QByteArray kDone = message(NLMSG_DONE, kSeq, QByteArray(4, '\0'));

} // namespace

class tst_Arp : public QObject {
    Q_OBJECT
private slots:
    void neighbourDump_data()
    {
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("failed");

        // Every state in which the kernel knows the link-layer address counts; resolution
        // still running or given up does not (the address in the entry is not the host's).
        const struct { const char *name; quint16 state; bool found; } states[] = {
            {"reachable", NUD_REACHABLE, true}, {"stale", NUD_STALE, true}, {"delay", NUD_DELAY, true},
            {"probe", NUD_PROBE, true}, {"permanent", NUD_PERMANENT, true}, {"noarp", NUD_NOARP, true},
            {"incomplete", NUD_INCOMPLETE, false}, {"failed", NUD_FAILED, false}, {"none", NUD_NONE, false}};
        for (const auto &row : states)
            QTest::newRow(row.name) << entry("10.0.0.5", row.state) + kDone << row.found << false;
        // Someone else's entry, or not an Ethernet address.
        QTest::newRow("other address") << entry("10.0.0.50", NUD_REACHABLE) + kDone << false << false;
        QTest::newRow("other family") << entry("10.0.0.5", NUD_REACHABLE, kMac, AF_INET6) + kDone << false << false;
        QTest::newRow("8-byte lladdr") << entry("10.0.0.5", NUD_REACHABLE, kMac + "\x01\x02") + kDone << false << false;
        QTest::newRow("4-byte lladdr") << entry("10.0.0.5", NUD_NOARP, kMac.left(4)) + kDone << false << false;
        QTest::newRow("all-zero lladdr") << entry("10.0.0.5", NUD_NOARP, QByteArray(6, '\0')) + kDone << false << false;
        QTest::newRow("no lladdr") << entry("10.0.0.5", NUD_REACHABLE, QByteArray()) + kDone << false << false;
        QTest::newRow("answer to another request")
            << entry("10.0.0.5", NUD_REACHABLE, kMac, AF_INET, kSeq + 1) + kDone << false << false;
        // The same address on two interfaces: the incomplete one must not hide the good one.
        QTest::newRow("incomplete then stale")
            << entry("10.0.0.5", NUD_INCOMPLETE) + entry("10.0.0.5", NUD_STALE) + kDone << true << false;
        QTest::newRow("among others") << entry("10.0.0.1", NUD_REACHABLE, QByteArray::fromHex("0a0b0c0d0e0f"))
                                             + entry("10.0.0.5", NUD_REACHABLE) + entry("10.0.0.9", NUD_FAILED) + kDone
                                      << true << false;

        // Broken kernel output ends the scan as a failure (the caller then reads /proc).
        const QByteArray good = entry("10.0.0.5", NUD_REACHABLE);
        QTest::newRow("message longer than buffer") << good.chopped(6) << false << true;
        QByteArray tooShort = good;
        reinterpret_cast<nlmsghdr *>(tooShort.data())->nlmsg_len = 4;
        QTest::newRow("length below header") << tooShort << false << true;
        QTest::newRow("error") << message(NLMSG_ERROR, kSeq, QByteArray(20, '\0')) << false << true;
        // A broken attribute spoils only its own entry.
        QByteArray badAttribute = good;
        reinterpret_cast<rtattr *>(badAttribute.data() + NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg)))->rta_len = 200;
        QTest::newRow("attribute overruns entry") << badAttribute + kDone << false << false;
        QTest::newRow("body shorter than ndmsg")
            << message(RTM_NEWNEIGH, kSeq, QByteArray(4, '\x02')) + kDone << false << false;
    }

    void neighbourDump()
    {
        QFETCH(QByteArray, dump);
        QFETCH(bool, found);
        QFETCH(bool, failed);
        DumpScan scan;
        scan.sequence = kSeq;
        scanNeighbourDump(dump, ip("10.0.0.5"), &scan);
        QCOMPARE(scan.failed, failed);
        QCOMPARE(scan.done, !failed);
        QCOMPARE(scan.found, found);
        if (found)
            QCOMPARE(scan.hardwareAddress, kMac);
    }

    void neighbourDumpAcrossBuffers()
    {
        DumpScan scan;
        scan.sequence = kSeq;
        const quint32 wanted = ip("10.0.0.5");
        scanNeighbourDump(entry("10.0.0.1", NUD_STALE), wanted, &scan);
        QVERIFY(!scan.done && !scan.found && !scan.failed);
        scanNeighbourDump(entry("10.0.0.5", NUD_REACHABLE), wanted, &scan);
        QVERIFY(!scan.done && scan.found);
        // A later entry for the same address does not replace the first complete one.
        scanNeighbourDump(entry("10.0.0.5", NUD_STALE, QByteArray::fromHex("020000000001")) + kDone, wanted, &scan);
        QVERIFY(scan.done && !scan.failed);
        QCOMPARE(scan.hardwareAddress, kMac);
    }

    void procNetArp_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");   // null: not found

        const QByteArray header("IP address       HW type     Flags       HW address            Mask     Device\n");
        const QByteArray zero("00:00:00:00:00:00");
        const auto line = [](const char *address, const char *flags, const QByteArray &hw) {
            return QByteArray(address) + "         0x1         " + flags + "         " + hw + "     *        eth0\n";
        };
        QTest::newRow("permanent, upper case, no final newline")
            << header + "10.0.0.5 0x1 0x6 00:1A:2B:3C:4D:5E * eth0" << kMac;
        QTest::newRow("incomplete, old address") << header + line("10.0.0.5", "0x0", "00:1a:2b:3c:4d:5e") << QByteArray();
        QTest::newRow("complete but zero") << header + line("10.0.0.5", "0x2", zero) << QByteArray();
        QTest::newRow("longer address sharing the prefix")
            << header + line("10.0.0.50", "0x2", "00:1a:2b:3c:4d:5e") << QByteArray();
        QTest::newRow("short hardware address") << header + line("10.0.0.5", "0x2", "00:1a:2b:3c") << QByteArray();
        QTest::newRow("three-digit octet") << header + line("10.0.0.5", "0x2", "00:1a:2b:3c:4d:5e0") << QByteArray();
        QTest::newRow("incomplete on one interface, complete on another")
            << header + line("10.0.0.5", "0x0", zero) + line("10.0.0.5", "0x2", "00:1a:2b:3c:4d:5e") << kMac;
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("garbage lines")
            << header + "x\n\n10.0.0.5\n10.0.0.5 0x1 zz 00:1a:2b:3c:4d:5e * eth0\n" << QByteArray();
    }

    void procNetArp()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QByteArray hw("unchanged");
        const bool found = findInProcNetArp(text, ip("10.0.0.5"), &hw);
        QCOMPARE(found, !expected.isNull());
        QCOMPARE(hw, found ? expected : QByteArray("unchanged"));
    }

    void classify_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<Reach>("reach");
        QTest::newRow("zero") << "0.0.0.0" << Reach::Unreachable;
        QTest::newRow("limited broadcast") << "255.255.255.255" << Reach::Unreachable;
        QTest::newRow("multicast") << "239.255.255.250" << Reach::Unreachable;
        QTest::newRow("loopback") << "127.0.0.53" << Reach::Unreachable;
        QTest::newRow("neighbour") << "192.168.10.1" << Reach::OnLink;
        QTest::newRow("own address") << "192.168.10.20" << Reach::Own;
        QTest::newRow("subnet broadcast") << "192.168.10.255" << Reach::Unreachable;
        QTest::newRow("subnet itself") << "192.168.10.0" << Reach::Unreachable;
        QTest::newRow("next subnet") << "192.168.11.1" << Reach::Unreachable;
        QTest::newRow("interface down") << "172.16.0.9" << Reach::Unreachable;
        QTest::newRow("interface without ARP") << "10.8.0.1" << Reach::Unreachable;
        QTest::newRow("/31 peer") << "10.99.0.1" << Reach::OnLink;
        QTest::newRow("/32 other") << "10.50.0.2" << Reach::Unreachable;
    }

    void classify()
    {
        QFETCH(QString, address);
        QFETCH(Reach, reach);
        const QByteArray ownMac = QByteArray::fromHex("020000000001");
        const QList<LocalAddress> locals = {
            {ip("127.0.0.1"), ip("255.0.0.0"), IFF_UP | IFF_LOOPBACK, QByteArray(6, '\0')},
            {ip("192.168.10.20"), ip("255.255.255.0"), IFF_UP | IFF_BROADCAST, ownMac},
            {ip("172.16.0.1"), ip("255.255.0.0"), IFF_BROADCAST, ownMac},   // interface down
            {ip("10.8.0.2"), ip("255.255.255.0"), IFF_UP | IFF_NOARP | IFF_POINTOPOINT, {}},
            {ip("10.99.0.0"), ip("255.255.255.254"), IFF_UP, ownMac},
            {ip("10.50.0.1"), ip("255.255.255.255"), IFF_UP, ownMac},
        };
        QByteArray hw;
        QCOMPARE(platform::neighbour::classify(ip(qPrintable(address)), locals, &hw), reach);
        if (reach == Reach::Own)
            QCOMPARE(hw, ownMac);
    }

    void refusedWithoutAsking()
    {
        // Interlock: resolve sends a datagram to an address it thinks is on a local subnet,
        // and this host's network is no place for test traffic. So an address is only tried
        // where this host's subnets do not hold it (the documentation ranges: any one of
        // them may be this host's own network).
        const QList<LocalAddress> locals = localAddresses();
        int tried = 0;
        for (const char *address : {"0.0.0.0", "255.255.255.255", "192.0.2.77", "198.51.100.77", "203.0.113.77"}) {
            if (platform::neighbour::classify(ip(address), locals) != Reach::Unreachable)
                continue;
            QByteArray hw("unchanged");
            QVERIFY2(!platform::resolveHardwareAddress(ip(address), &hw, 1000), address);
            QCOMPARE(hw, QByteArray("unchanged"));
            ++tried;
        }
        QVERIFY(tried >= 3);   // 0.0.0.0, 255.255.255.255 and one address off every subnet
    }
};

QTEST_GUILESS_MAIN(tst_Arp)
#include "tst_arp.moc"
