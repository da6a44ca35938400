// ARP and ICMP echo against a real neighbour. Runs inside the first of two network
// namespaces that tst_platform_lab.sh joins with a veth pair; run elsewhere, it skips.
//
// Environment set by the script: BNMS_LAB_NET (first three octets of the /24),
// BNMS_LAB_IFACE (our end of the pair), BNMS_LAB_OWN_MAC, BNMS_LAB_PEER_MAC.
// Hosts: .1 us, .2 the peer, .20 upwards nobody; 10.231.78.0/24 is routed via the peer.

#include "platform/Arp.h"
#include "platform/IcmpEcho.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <arpa/inet.h>

using platform::IcmpEcho;
using Kind = platform::IcmpEcho::SocketKind;

Q_DECLARE_METATYPE(platform::IcmpEcho::SocketKind)

namespace {

QByteArray macBytes(const QByteArray &text)
{
    return QByteArray::fromHex(QByteArray(text).replace(':', ""));
}

QString runIp(const QStringList &arguments)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), arguments);
    if (!ip.waitForFinished(5000))
        return QString();
    return QString::fromLocal8Bit(ip.readAllStandardOutput());
}

} // namespace

class tst_PlatformLab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void arpRefusesWithoutSending_data();
    void arpRefusesWithoutSending();
    void arpOwnAddress();
    void arpFindsPeer();
    void arpAbsentHost();
    void pingPeer_data();
    void pingPeer();
    void pingAbsentTimesOut_data();
    void pingAbsentTimesOut();
    void pingAbsentUnreachable_data();
    void pingAbsentUnreachable();

private:
    QString host(int n) const { return m_net + QLatin1Char('.') + QString::number(n); }
    quint64 sentPackets() const;

    QString m_net;
    QString m_iface;
    QByteArray m_ownMac;
    QByteArray m_peerMac;
};

void tst_PlatformLab::initTestCase()
{
    m_net = qEnvironmentVariable("BNMS_LAB_NET");
    m_iface = qEnvironmentVariable("BNMS_LAB_IFACE");
    m_ownMac = macBytes(qgetenv("BNMS_LAB_OWN_MAC"));
    m_peerMac = macBytes(qgetenv("BNMS_LAB_PEER_MAC"));
    if (m_net.isEmpty() || m_iface.isEmpty())
        QSKIP("not inside the namespaces of tst_platform_lab.sh");
    QCOMPARE(m_ownMac.size(), 6);
    QCOMPARE(m_peerMac.size(), 6);
    runIp({QStringLiteral("-4"), QStringLiteral("neigh"), QStringLiteral("flush"),
           QStringLiteral("dev"), m_iface});
}

quint64 tst_PlatformLab::sentPackets() const
{
    QFile f(QStringLiteral("/sys/class/net/%1/statistics/tx_packets").arg(m_iface));
    if (!f.open(QIODevice::ReadOnly))
        return ~quint64(0);
    return f.readAll().trimmed().toULongLong();
}

void tst_PlatformLab::arpRefusesWithoutSending_data()
{
    QTest::addColumn<QString>("address");
    // Routed via the peer: a datagram for it would leave at once.
    QTest::newRow("off subnet, routed") << "10.231.78.5";
    QTest::newRow("subnet broadcast") << host(255);
    QTest::newRow("subnet itself") << host(0);
    QTest::newRow("multicast") << "224.0.0.1";
}

void tst_PlatformLab::arpRefusesWithoutSending()
{
    QFETCH(QString, address);
    const quint64 before = sentPackets();
    QVERIFY(before != ~quint64(0));
    QByteArray hw("unchanged");
    QVERIFY(!platform::resolveHardwareAddress(::inet_addr(qPrintable(address)), &hw, 1000));
    QCOMPARE(hw, QByteArray("unchanged"));
    QCOMPARE(sentPackets(), before);
}

void tst_PlatformLab::arpOwnAddress()
{
    QByteArray hw;
    QVERIFY(platform::resolveHardwareAddress(::inet_addr(qPrintable(host(1))), &hw, 1000));
    QCOMPARE(hw, m_ownMac);
}

void tst_PlatformLab::arpFindsPeer()
{
    const QString peer = host(2);
    QVERIFY2(!runIp({QStringLiteral("-4"), QStringLiteral("neigh"), QStringLiteral("show"), peer})
                  .contains(QStringLiteral("lladdr")),
             "the neighbour table should start without the peer");
    QByteArray hw;
    QVERIFY(platform::resolveHardwareAddress(::inet_addr(qPrintable(peer)), &hw, 1000));
    QCOMPARE(hw, m_peerMac);
    // Now straight from the table.
    hw.clear();
    QVERIFY(platform::resolveHardwareAddress(::inet_addr(qPrintable(peer)), &hw, 0));
    QCOMPARE(hw, m_peerMac);
}

void tst_PlatformLab::arpAbsentHost()
{
    const QString absent = host(20);
    QByteArray hw("unchanged");
    QVERIFY(!platform::resolveHardwareAddress(::inet_addr(qPrintable(absent)), &hw, 1000));
    QCOMPARE(hw, QByteArray("unchanged"));
    // The kernel was asked: it holds an entry it is (or was) resolving.
    const QString entry = runIp({QStringLiteral("-4"), QStringLiteral("neigh"),
                                 QStringLiteral("show"), absent});
    QVERIFY2(entry.contains(QStringLiteral("INCOMPLETE")) || entry.contains(QStringLiteral("FAILED")),
             qPrintable(entry));
}

void tst_PlatformLab::pingPeer_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Kind>("used");
    // The script allows datagram sockets here, so they are the first choice.
    QTest::newRow("automatic") << Kind::Automatic << Kind::Datagram;
    QTest::newRow("datagram") << Kind::Datagram << Kind::Datagram;
    QTest::newRow("raw") << Kind::Raw << Kind::Raw;
}

void tst_PlatformLab::pingPeer()
{
    QFETCH(Kind, kind);
    QFETCH(Kind, used);
    IcmpEcho echo;
    echo.setSocketKind(kind);
    QSignalSpy spy(&echo, &IcmpEcho::finished);
    QVERIFY2(echo.start(host(2), "hello", 3000), qPrintable(echo.failureReason()));
    QCOMPARE(echo.socketKindUsed(), used);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
}

void tst_PlatformLab::pingAbsentTimesOut_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("hostNumber");
    // One absent host each: the kernel reports a failed resolution about three seconds
    // after the first datagram, and that must not land in the next row's wait.
    QTest::newRow("datagram") << Kind::Datagram << 21;
    QTest::newRow("raw") << Kind::Raw << 22;
}

void tst_PlatformLab::pingAbsentTimesOut()
{
    // The peer is pinged at the same time: a raw socket also sees that answer, and it
    // must not be taken for the absent host's.
    QFETCH(Kind, kind);
    QFETCH(int, hostNumber);
    IcmpEcho toAbsent;
    IcmpEcho toPeer;
    toAbsent.setSocketKind(kind);
    toPeer.setSocketKind(kind);
    QSignalSpy absentSpy(&toAbsent, &IcmpEcho::finished);
    QSignalSpy peerSpy(&toPeer, &IcmpEcho::finished);
    // The event loop keeps turning while the requests wait.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    QVERIFY2(toAbsent.start(host(hostNumber), "hello", 1000), qPrintable(toAbsent.failureReason()));
    QVERIFY2(toPeer.start(host(2), "hello", 1000), qPrintable(toPeer.failureReason()));
    QVERIFY(absentSpy.wait(5000));
    QVERIFY(ticks > 0);
    QCOMPARE(absentSpy.count(), 1);
    QCOMPARE(absentSpy.at(0).at(0).toInt(), IcmpEcho::kTimedOut);
    QCOMPARE(absentSpy.at(0).at(1).toUInt(), 0u);
    QCOMPARE(peerSpy.count(), 1);
    QCOMPARE(peerSpy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
}

void tst_PlatformLab::pingAbsentUnreachable_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("hostNumber");
    QTest::newRow("datagram") << Kind::Datagram << 23;
    QTest::newRow("raw") << Kind::Raw << 24;
}

void tst_PlatformLab::pingAbsentUnreachable()
{
    // Given time, the kernel gives up resolving and answers our own request with
    // "host unreachable"; that must be matched to the request, not waited out.
    QFETCH(Kind, kind);
    QFETCH(int, hostNumber);
    IcmpEcho echo;
    echo.setSocketKind(kind);
    QSignalSpy spy(&echo, &IcmpEcho::finished);
    QVERIFY2(echo.start(host(hostNumber), "hello", 20000), qPrintable(echo.failureReason()));
    QVERIFY(spy.wait(25000));
    QCOMPARE(spy.at(0).at(0).toInt(), 11003);
}

QTEST_GUILESS_MAIN(tst_PlatformLab)
#include "tst_platform_lab.moc"
