// The platform adapters without a network: the kernel's neighbour table read from crafted rtnetlink
// dumps and /proc/net/arp, which addresses ARP can tell at all; the ICMP echo on loopback through
// either kind of socket, its cancel and refusals; one box per kind of trouble.
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <arpa/inet.h>
#include <functional>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include "platform/Arp.h"
#include "platform/BoxGate.h"
#include "platform/IcmpEcho.h"
#include "platform/Interfaces.h"

using namespace platform::neighbour;
using platform::IcmpEcho;
using Kind = platform::IcmpEcho::SocketKind;
Q_DECLARE_METATYPE(platform::IcmpEcho::SocketKind)

namespace {

quint32 ip(const char *text) { return ::inet_addr(text); }

const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");
const quint32 kSeq = 7;

template <typename Header> QByteArray aligned(const Header &header, const QByteArray &payload, int alignedSize)
{
    QByteArray data = QByteArray(reinterpret_cast<const char *>(&header), sizeof header) + payload;
    return data + QByteArray(alignedSize - data.size(), '\0');
}

QByteArray message(quint16 type, quint32 seq, const QByteArray &body)
{
    const nlmsghdr header{quint32(NLMSG_LENGTH(body.size())), type, 0, seq, 0};
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
    const ndmsg n{family, 0, 0, 2, state, 0, 0};
    const quint32 dst = ip(address);
    QByteArray body = QByteArray(reinterpret_cast<const char *>(&n), sizeof n)
                      + attribute(NDA_DST, QByteArray(reinterpret_cast<const char *>(&dst), 4));
    if (!lladdr.isNull())
        body += attribute(NDA_LLADDR, lladdr);
    return message(RTM_NEWNEIGH, seq, body);
}

const QByteArray kDone = message(NLMSG_DONE, kSeq, QByteArray(4, '\0'));
enum Outcome { Missing, Found, Failed };
const QString kLoopback = QStringLiteral("127.0.0.1");
const QByteArray kHello("hello");

#define REQUIRE_SOCKET(kind)                                                                                   \
    if (!IcmpEcho::canOpen(kind))                                                                              \
    QSKIP("NO ICMP SOCKET OF THIS KIND: datagram sockets need the group in net.ipv4.ping_group_range, raw ones " \
          "CAP_NET_RAW; not tested here")

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void neighbourDump_data()
    {
        QTest::addColumn<QByteArray>("dump"); QTest::addColumn<int>("outcome");
        // Every state in which the kernel knows the link-layer address counts; resolution
        // still running or given up does not (the address in the entry is not the host's).
        for (quint16 state : {NUD_REACHABLE, NUD_STALE, NUD_DELAY, NUD_PROBE, NUD_PERMANENT, NUD_NOARP})
            QTest::addRow("state %x", state) << entry("10.0.0.5", state) + kDone << int(Found);
        for (quint16 state : {NUD_INCOMPLETE, NUD_FAILED, NUD_NONE})
            QTest::addRow("state %x", state) << entry("10.0.0.5", state) + kDone << int(Missing);
        // Someone else's entry, or not an Ethernet address.
        QTest::newRow("other address") << entry("10.0.0.50", NUD_REACHABLE) + kDone << int(Missing);
        QTest::newRow("other family") << entry("10.0.0.5", NUD_REACHABLE, kMac, AF_INET6) + kDone << int(Missing);
        QTest::newRow("8-byte lladdr") << entry("10.0.0.5", NUD_REACHABLE, kMac + "\x01\x02") + kDone << int(Missing);
        QTest::newRow("all-zero lladdr") << entry("10.0.0.5", NUD_NOARP, QByteArray(6, '\0')) + kDone << int(Missing);
        QTest::newRow("no lladdr") << entry("10.0.0.5", NUD_REACHABLE, QByteArray()) + kDone << int(Missing);
        QTest::newRow("answer to another request")
            << entry("10.0.0.5", NUD_REACHABLE, kMac, AF_INET, kSeq + 1) + kDone << int(Missing);
        // The same address on two interfaces: the incomplete one must not hide the good one.
        QTest::newRow("incomplete then stale")
            << entry("10.0.0.5", NUD_INCOMPLETE) + entry("10.0.0.5", NUD_STALE) + kDone << int(Found);
        // Broken kernel output ends the scan as a failure (the caller then reads /proc).
        const QByteArray good = entry("10.0.0.5", NUD_REACHABLE);
        QTest::newRow("message longer than buffer") << good.chopped(6) << int(Failed);
        QByteArray tooShort = good;
        reinterpret_cast<nlmsghdr *>(tooShort.data())->nlmsg_len = 4;
        QTest::newRow("length below header") << tooShort << int(Failed);
        QTest::newRow("error") << message(NLMSG_ERROR, kSeq, QByteArray(20, '\0')) << int(Failed);
        // A broken attribute spoils only its own entry.
        QByteArray badAttribute = good;
        reinterpret_cast<rtattr *>(badAttribute.data() + NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg)))->rta_len = 200;
        QTest::newRow("attribute overruns entry") << badAttribute + kDone << int(Missing);
    }

    void neighbourDump()
    {
        QFETCH(QByteArray, dump); QFETCH(int, outcome);
        DumpScan scan;
        scan.sequence = kSeq;
        scanNeighbourDump(dump, ip("10.0.0.5"), &scan);
        QCOMPARE(scan.failed, outcome == Failed);
        QCOMPARE(scan.done, outcome != Failed);
        QCOMPARE(scan.found, outcome == Found);
        if (outcome == Found)
            QCOMPARE(scan.hardwareAddress, kMac);
    }

    void neighbourDumpAcrossBuffers()
    {
        DumpScan scan;
        scan.sequence = kSeq;
        scanNeighbourDump(entry("10.0.0.5", NUD_REACHABLE), ip("10.0.0.5"), &scan);
        QVERIFY(!scan.done && scan.found);
        // A later entry for the same address does not replace the first complete one.
        scanNeighbourDump(entry("10.0.0.5", NUD_STALE, QByteArray::fromHex("020000000001")) + kDone, ip("10.0.0.5"),
                          &scan);
        QVERIFY(scan.done && !scan.failed);
        QCOMPARE(scan.hardwareAddress, kMac);
    }

    void procNetArp()
    {
        const QByteArray header("IP address       HW type     Flags       HW address            Mask     Device\n");
        const auto line = [](const char *address, const char *flags, const QByteArray &hw) {
            return QByteArray(address) + "         0x1         " + flags + "         " + hw + "     *        eth0\n";
        };
        const QByteArray mac("00:1a:2b:3c:4d:5e");
        const QList<std::pair<QByteArray, QByteArray>> cases = {   // text, address found (null: none)
            {header + "10.0.0.5 0x1 0x6 00:1A:2B:3C:4D:5E * eth0", kMac},   // permanent, upper case, no final newline
            {header + line("10.0.0.5", "0x0", mac), {}},                    // incomplete, old address
            {header + line("10.0.0.50", "0x2", mac), {}},                   // longer address sharing the prefix
            {header + line("10.0.0.5", "0x0", "00:00:00:00:00:00") + line("10.0.0.5", "0x2", mac), kMac},
            {header + "x\n\n10.0.0.5\n10.0.0.5 0x1 zz " + mac + " * eth0\n" + line("10.0.0.5", "0x2", mac + "0"), {}}};
        for (const auto &[text, expected] : cases) {
            QByteArray hw("unchanged");
            QVERIFY2(findInProcNetArp(text, ip("10.0.0.5"), &hw) == !expected.isNull(), text.constData());
            QCOMPARE(hw, expected.isNull() ? QByteArray("unchanged") : expected);
        }
    }

    void classify()
    {
        const QByteArray ownMac = QByteArray::fromHex("020000000001");
        const QList<LocalAddress> locals = {{ip("127.0.0.1"), ip("255.0.0.0"), IFF_UP | IFF_LOOPBACK, QByteArray(6, '\0')},
            {ip("192.168.10.20"), ip("255.255.255.0"), IFF_UP | IFF_BROADCAST, ownMac},
            {ip("172.16.0.1"), ip("255.255.0.0"), IFF_BROADCAST, ownMac},   // interface down
            {ip("10.8.0.2"), ip("255.255.255.0"), IFF_UP | IFF_NOARP | IFF_POINTOPOINT, {}},
            {ip("10.99.0.0"), ip("255.255.255.254"), IFF_UP, ownMac}, {ip("10.50.0.1"), ip("255.255.255.255"), IFF_UP, ownMac}};
        QByteArray hw;
        QCOMPARE(platform::neighbour::classify(ip("192.168.10.20"), locals, &hw), Reach::Own);
        QCOMPARE(hw, ownMac);
        for (const char *a : {"192.168.10.1", "10.99.0.1"})   // neighbour, /31 peer
            QVERIFY2(platform::neighbour::classify(ip(a), locals) == Reach::OnLink, a);
        // zero, broadcast, multicast, loopback, subnet broadcast and itself
        for (const char *a : {"0.0.0.0", "255.255.255.255", "239.255.255.250", "127.0.0.53", "192.168.10.255",
                              "192.168.10.0"})
            QVERIFY2(platform::neighbour::classify(ip(a), locals) == Reach::Unreachable, a);
        // next subnet, interface down, interface without ARP, /32 other: only on a link the station names
        for (const char *a : {"192.168.11.1", "172.16.0.9", "10.8.0.1", "10.50.0.2"})
            QVERIFY2(platform::neighbour::classify(ip(a), locals) == Reach::OffSubnet, a);
    }

    void refusedAddresses()
    {
        for (const char *address : {"0.0.0.0", "255.255.255.255", "abc", "127.0.0.256", " 127.0.0.1", "localhost"}) {
            IcmpEcho echo;
            QSignalSpy spy(&echo, &IcmpEcho::finished);
            QVERIFY2(!echo.start(QString::fromLatin1(address), kHello, 3000), address);
            QVERIFY(!echo.failureReason().isEmpty() && !echo.isBusy());
            QTest::qWait(20);
            QCOMPARE(spy.count(), 0);
        }
    }

    void answersTheirOwnRequest_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("datagram") << Kind::Datagram;
        QTest::newRow("raw") << Kind::Raw;
    }
    void answersTheirOwnRequest()
    {
        // A cancelled or replaced request drops its reply; raw sockets see every reply on the
        // host, and each request must take only its own. The other's 3000 bytes exceed the
        // receive buffer: its reply arrives cut short and still counts.
        QFETCH(Kind, kind);
        REQUIRE_SOCKET(kind);
        IcmpEcho echo, other;
        echo.setSocketKind(kind);
        other.setSocketKind(kind);
        QSignalSpy spy(&echo, &IcmpEcho::finished), otherSpy(&other, &IcmpEcho::finished);
        QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
        echo.cancel();
        QVERIFY(!echo.isBusy());
        QVERIFY(echo.start(kLoopback, kHello, 3000) && echo.start(kLoopback, kHello, 3000));
        QVERIFY(other.start(kLoopback, QByteArray(3000, 'x'), 3000));
        // The answer comes through the event loop, never from inside start().
        QVERIFY(spy.isEmpty() && otherSpy.isEmpty() && echo.isBusy());
        QCOMPARE(echo.socketKindUsed(), kind);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1 && otherSpy.count() >= 1, 5000);
        QTest::qWait(300);   // loopback answers well within this; a reply that slipped through would show
        QCOMPARE(spy.count() + otherSpy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toInt() + otherSpy.at(0).at(0).toInt(), 2 * IcmpEcho::kSuccess);
        QVERIFY(!echo.isBusy() && !other.isBusy());
    }

    void drivenFromItsOwnSlot()
    {
        // As the main window does: the next ping starts from the slot of the previous one's
        // result, and the slot of the last result deletes the object.
        REQUIRE_SOCKET(Kind::Automatic);
        QPointer<IcmpEcho> echo = new IcmpEcho;
        QList<int> statuses;
        connect(echo.data(), &IcmpEcho::finished, this, [&](int status) {
            statuses.append(status);
            if (statuses.size() < 3)
                QVERIFY(echo->start(kLoopback, kHello, 3000));
            else
                delete echo.data();
        });
        QVERIFY2(echo->start(kLoopback, kHello, 3000), qPrintable(echo->failureReason()));
        QTRY_VERIFY_WITH_TIMEOUT(echo.isNull(), 10000);
        QCOMPARE(statuses, QList<int>({0, 0, 0}));
        // Deleted while a request is pending: no call ever comes.
        int calls = 0;
        {
            IcmpEcho pending;
            connect(&pending, &IcmpEcho::finished, this, [&] { ++calls; });
            QVERIFY(pending.start(kLoopback, kHello, 3000));
        }
        QTest::qWait(200);
        QCOMPARE(calls, 0);
    }

    void oneBoxPerKind_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QStringList>("whileOpen");      // calls while the first box is open
        QTest::addColumn<QStringList>("whileSummary");   // calls while its summary is open
        QTest::addColumn<QStringList>("expected");       // then the first call again: a box of its own
        // The same kind's one summary: tst_station::messagesDuringAReport.
        QTest::newRow("no kind: the text is the kind")
            << "|T1" << QStringList{"|U", "|T1"} << QStringList() << QStringList{"T1", "U", "T1\r… and 1 more like it.", "T1"};
        QTest::newRow("during the summary: no second one")
            << "check|T1" << QStringList{"check|T2"} << QStringList{"check|T2", "check|T2"}
            << QStringList{"T1", "T1\r… and 1 more like it.", "T1"};
    }
    void oneBoxPerKind()
    {
        QFETCH(QString, first); QFETCH(QStringList, whileOpen); QFETCH(QStringList, whileSummary);
        platform::BoxGate gate;
        QStringList shown;
        // "kind|text", as a row writes a call; a box runs the calls that come while it is open.
        std::function<void(const QString &)> show = [&](const QString &call) {
            gate.showOnce(call.section(QLatin1Char('|'), 0, 0), call.section(QLatin1Char('|'), 1), [&](const QString &text) {
                shown << text;
                QStringList &calls = text.contains(QStringLiteral("more like it")) ? whileSummary : whileOpen;
                for (const QString &next : std::exchange(calls, {}))
                    show(next);
            });
        };
        show(first);
        show(first);
        QTEST(shown, "expected");
        QVERIFY(!gate.countIfOpen(QStringLiteral("check")));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
