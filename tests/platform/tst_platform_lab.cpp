// ARP and ICMP echo against a real neighbour: the first simulated element of the test
// network, seen from its station namespace (lab/run-in-lab.sh, BRIVOLTE_LAB_* variables).
// Hosts .20 and up of the lab's /24 are nobody; every other subnet is off-link.

#include "platform/Arp.h"
#include "platform/IcmpEcho.h"

#include <QNetworkInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <arpa/inet.h>

using platform::IcmpEcho;
using Kind = platform::IcmpEcho::SocketKind;

Q_DECLARE_METATYPE(platform::IcmpEcho::SocketKind)

namespace {

// "ip -4 neigh <arguments>"
QString neigh(const QString &arguments)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), QStringList{QStringLiteral("-4"), QStringLiteral("neigh")} + arguments.split(QLatin1Char(' ')));
    return ip.waitForFinished(5000) ? QString::fromLocal8Bit(ip.readAllStandardOutput()) : QString();
}

QByteArray resolve(const QString &address, int timeoutMs = 1000)
{
    QByteArray hw("unchanged");
    return platform::resolveHardwareAddress(::inet_addr(qPrintable(address)), &hw, timeoutMs) ? hw : QByteArray();
}

} // namespace

class tst_PlatformLab : public QObject {
    Q_OBJECT
    QString host(int n) const { return m_net + QString::number(n); }
    QString m_net;   // "a.b.c."
    QString m_peer;
    QByteArray m_peerMac;
    QNetworkInterface m_iface;

private slots:
    void initTestCase()
    {
        const QString station = qEnvironmentVariable("BRIVOLTE_LAB_STATION");
        m_peer = qEnvironmentVariable("BRIVOLTE_LAB_ELEMENTS").section(QLatin1Char(' '), 0, 0);
        if (station.isEmpty() || m_peer.isEmpty())
            QSKIP("needs the test network: run through lab/run-in-lab.sh 1");
        m_net = station.section(QLatin1Char('.'), 0, 2) + QLatin1Char('.');
        m_peerMac = QByteArray::fromHex(qgetenv("BRIVOLTE_LAB_MACS").left(17).replace(':', ""));
        QCOMPARE(m_peerMac.size(), 6);
        for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
            for (const QNetworkAddressEntry &entry : iface.addressEntries())
                if (entry.ip().toString() == station)
                    m_iface = iface;
        }
        QVERIFY2(m_iface.isValid(), "no interface holds the station's address");
        neigh(QStringLiteral("flush all"));
    }

    // First, while no resolution of the others keeps the kernel sending ARP requests.
    void arpRefusesWithoutSending()
    {
        const QString sent = QStringLiteral("/sys/class/net/%1/statistics/tx_packets").arg(m_iface.name());
        const auto sentPackets = [&] {
            QFile f(sent);
            return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : -1;
        };
        // Off the subnet (routed out of the lab's link all the same) and the subnet's broadcast;
        // the other addresses ARP cannot tell are classified in tst_platform.
        for (const QString &address : {QStringLiteral("192.0.2.5"), host(255)}) {
            const qint64 before = sentPackets();
            QVERIFY(before >= 0);
            QCOMPARE(resolve(address), QByteArray());
            QCOMPARE(sentPackets(), before);
        }
    }

    void arpFindsPeerAndOwnAddress()
    {
        QVERIFY2(!neigh(QStringLiteral("show ") + m_peer).contains(QStringLiteral("lladdr")),
                 "the neighbour table should start without the peer");
        QCOMPARE(resolve(m_peer), m_peerMac);
        QCOMPARE(resolve(m_peer, 0), m_peerMac);   // now straight from the table
        QCOMPARE(resolve(host(1)), QByteArray::fromHex(m_iface.hardwareAddress().remove(QLatin1Char(':')).toLatin1()));
        QCOMPARE(resolve(host(20)), QByteArray());
    }

    void pingAbsentHost_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("hostNumber");   // one each: a late answer must not land in the next row
        QTest::addColumn<int>("timeoutMs"); QTest::addColumn<int>("status");
        QTest::newRow("raw, times out") << Kind::Raw << 22 << 1000 << IcmpEcho::kTimedOut;
        // Given time, the kernel gives up resolving and answers our own request with "host
        // unreachable"; that must be matched to the request, not waited out.
        QTest::newRow("datagram, unreachable") << Kind::Datagram << 23 << 20000 << 11003;
        QTest::newRow("raw, unreachable") << Kind::Raw << 24 << 20000 << 11003;
    }

    void pingAbsentHost()
    {
        QFETCH(Kind, kind); QFETCH(int, hostNumber); QFETCH(int, timeoutMs); QFETCH(int, status);
        // The peer is pinged at the same time and answers; a raw socket also sees that answer,
        // and it must not be taken for the absent host's.
        IcmpEcho toAbsent, toPeer;
        toAbsent.setSocketKind(kind);
        toPeer.setSocketKind(kind);
        QSignalSpy absentSpy(&toAbsent, &IcmpEcho::finished), peerSpy(&toPeer, &IcmpEcho::finished);
        // The event loop keeps turning while the requests wait.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(50);
        QVERIFY2(toAbsent.start(host(hostNumber), "hello", timeoutMs), qPrintable(toAbsent.failureReason()));
        QVERIFY2(toPeer.start(m_peer, "hello", 1000), qPrintable(toPeer.failureReason()));
        QVERIFY(absentSpy.wait(timeoutMs + 5000));
        QVERIFY(ticks > 0);
        QCOMPARE(absentSpy.count(), 1);
        QCOMPARE(absentSpy.at(0).at(0).toInt(), status);
        if (status == IcmpEcho::kTimedOut)
            QCOMPARE(absentSpy.at(0).at(1).toUInt(), 0u);
        QCOMPARE(peerSpy.count(), 1);
        QCOMPARE(peerSpy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
    }
};

QTEST_GUILESS_MAIN(tst_PlatformLab)
#include "tst_platform_lab.moc"
