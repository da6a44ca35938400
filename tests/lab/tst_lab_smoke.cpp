// The test network itself, from its station namespace: a real broadcast finds every
// simulated element once, and each answers a request sent to it alone, the kernel having
// learnt the element's own hardware address through ARP. Runs under lab/run-in-lab.sh,
// which describes the lab in BRIVOLTE_LAB_* variables.
#include <QFile>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <sys/socket.h>

namespace {

QStringList envList(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Every datagram that reaches `s` within the bounded wait, which ends early once `count`
// have come and after a short pause that leaves room for a duplicate to show up.
QList<QNetworkDatagram> gather(QUdpSocket &s, int count)
{
    QList<QNetworkDatagram> got;
    for (int waited = 0; waited < 5000 && got.size() < count; waited += 20) {
        QTest::qWait(20);
        while (s.hasPendingDatagrams())
            got.append(s.receiveDatagram());
    }
    QTest::qWait(300);
    while (s.hasPendingDatagrams())
        got.append(s.receiveDatagram());
    return got;
}

// The hardware address of a complete entry of the kernel's neighbour table ("" if none).
QString arpEntry(const QString &address)
{
    QFile f(QStringLiteral("/proc/net/arp"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    // IP address, HW type, Flags (0x2: complete), HW address, Mask, Device
    for (const QString &line : QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'))) {
        const QStringList cols = line.simplified().split(QLatin1Char(' '));
        if (cols.size() >= 4 && cols[0] == address && cols[2] == QLatin1String("0x2"))
            return cols[3].toUpper();
    }
    return QString();
}

} // namespace

class TestLabSmoke : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_ips = envList("BRIVOLTE_LAB_ELEMENTS");
        m_macs = envList("BRIVOLTE_LAB_MACS");
        if (m_ips.size() < 2)
            QSKIP("needs the test network with two elements (lab/run-in-lab.sh 2)");
        QCOMPARE(m_macs.size(), m_ips.size());
    }

    // One broadcast from the station's port, one answer from each element and no more,
    // with the element's own address inside.
    void broadcastFindsEveryElementOnce()
    {
        QUdpSocket s;
        QVERIFY2(s.bind(QHostAddress(QHostAddress::AnyIPv4), 2976), qPrintable(s.errorString()));
        const int on = 1;
        QCOMPARE(::setsockopt(int(s.socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on, sizeof on), 0);
        const QByteArray paging("ZENTORAL QUORVANE PAGING REQUEST");
        QCOMPARE(s.writeDatagram(paging, QHostAddress(QHostAddress::Broadcast), 1901), qint64(paging.size()));

        const QList<QNetworkDatagram> answers = gather(s, int(m_ips.size()));
        QCOMPARE(answers.size(), m_ips.size());
        QSet<int> seen;
        for (const QNetworkDatagram &d : answers) {
            const QByteArray m = d.data();
            QVERIFY(m.size() >= 40);
            const int i = int(m_ips.indexOf(QHostAddress(qFromBigEndian<quint32>(m.constData())).toString()));
            QVERIFY2(i >= 0 && !seen.contains(i), qPrintable(m.toHex(' ')));
            seen.insert(i);
        }
    }

    // Nothing mocked: each element answers a status request sent to it alone, and the
    // kernel holds the element's own hardware address for it.
    void elementsAnswerThroughArp()
    {
        QUdpSocket s;
        QVERIFY2(s.bind(QHostAddress(QHostAddress::AnyIPv4), 2978), qPrintable(s.errorString()));
        for (const QString &ip : std::as_const(m_ips))
            s.writeDatagram(QByteArray("GetDel"), QHostAddress(ip), 2978);
        QStringList senders;
        for (const QNetworkDatagram &d : gather(s, int(m_ips.size()))) {
            QCOMPARE(d.data().size(), 61);
            senders << d.senderAddress().toString();
        }
        senders.sort();
        QStringList expected = m_ips;
        expected.sort();
        QCOMPARE(senders, expected);
        for (int i = 0; i < m_ips.size(); ++i)
            QCOMPARE(arpEntry(m_ips[i]), m_macs[i]);
    }

private:
    QStringList m_ips, m_macs;
};

QTEST_GUILESS_MAIN(TestLabSmoke)
#include "tst_lab_smoke.moc"
