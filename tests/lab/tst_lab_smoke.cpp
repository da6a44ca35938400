// The test network itself, from its station namespace: a real broadcast finds every
// simulated element, each answers ARP with its own hardware address and ICMP echo, and a
// configuration command moves an element's address for real. Runs under
// lab/run-in-lab.sh, which describes the lab in BRIVOLTE_LAB_* variables.
#include <QFile>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kPaging("ZENTORAL QUORVANE PAGING REQUEST");

QStringList envList(const char *name, QChar separator)
{
    return QString::fromLocal8Bit(qgetenv(name)).split(separator, Qt::SkipEmptyParts);
}

quint16 checksum(const unsigned char *data, size_t length)
{
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += quint32(data[i] << 8 | data[i + 1]);
    if (length % 2)
        sum += quint32(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

// One ICMP echo to `address`, waiting at most a second for the reply from it. An ICMP
// datagram socket where allowed (the lab allows it), a raw one otherwise (root).
bool echo(const QString &address)
{
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    qToBigEndian(QHostAddress(address).toIPv4Address(), &to.sin_addr.s_addr);
    unsigned char request[16] = {ICMP_ECHO, 0, 0, 0, 0x4E, 0x4D, 0, 1, 'b', 'n', 'm', 's', 'l', 'a', 'b', '!'};
    const quint16 sum = checksum(request, sizeof request);
    request[2] = uchar(sum >> 8);
    request[3] = uchar(sum);
    bool answered = false;
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) == sizeof request) {
        for (int attempt = 0; attempt < 20 && !answered; ++attempt) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            unsigned char reply[1500];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
            const size_t header = raw && n > 0 ? size_t(reply[0] & 0x0F) * 4 : 0;
            answered = n > ssize_t(header) && reply[header] == ICMP_ECHOREPLY
                       && from.sin_addr.s_addr == to.sin_addr.s_addr;
        }
    }
    ::close(fd);
    return answered;
}

// The hardware address the kernel's neighbour table holds for `address` ("" if none).
QString arpEntry(const QString &address)
{
    QFile f(QStringLiteral("/proc/net/arp"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QStringList lines = QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList cols = line.simplified().split(QLatin1Char(' '));
        // IP address, HW type, Flags (0x2: complete), HW address, Mask, Device
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
        m_ips = envList("BRIVOLTE_LAB_ELEMENTS", QLatin1Char(' '));
        m_names = envList("BRIVOLTE_LAB_NAMES", QLatin1Char(','));
        m_roles = envList("BRIVOLTE_LAB_ROLES", QLatin1Char(' '));
        m_macs = envList("BRIVOLTE_LAB_MACS", QLatin1Char(' '));
        if (m_ips.size() < 2)
            QSKIP("needs the test network with two elements (lab/run-in-lab.sh 2)");
        QCOMPARE(m_names.size(), m_ips.size());
        QCOMPARE(m_roles.size(), m_ips.size());
        QCOMPARE(m_macs.size(), m_ips.size());
    }

    // One broadcast from the station's port, one answer from each element and no more:
    // its own address inside, its name, and the layout of its role.
    void broadcastFindsEveryElementOnce()
    {
        QUdpSocket s;
        QVERIFY2(s.bind(QHostAddress(QHostAddress::AnyIPv4), 2976), qPrintable(s.errorString()));
        const int on = 1;
        QCOMPARE(::setsockopt(int(s.socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on, sizeof on), 0);
        QCOMPARE(s.writeDatagram(kPaging, QHostAddress(QHostAddress::Broadcast), 1901), qint64(kPaging.size()));

        QList<QByteArray> answers;
        for (int waited = 0; waited < 5000 && answers.size() < m_ips.size(); waited += 20) {
            QTest::qWait(20);
            while (s.hasPendingDatagrams())
                answers.append(s.receiveDatagram().data());
        }
        QTest::qWait(300);   // room for a duplicate to show up
        while (s.hasPendingDatagrams())
            answers.append(s.receiveDatagram().data());

        QCOMPARE(answers.size(), m_ips.size());
        QSet<int> seen;
        for (const QByteArray &m : std::as_const(answers)) {
            QVERIFY(m.size() >= 40);
            const QString ip = QHostAddress(qFromBigEndian<quint32>(m.constData())).toString();
            const int i = int(m_ips.indexOf(ip));
            QVERIFY2(i >= 0, qPrintable(ip));
            QVERIFY(!seen.contains(i));
            seen.insert(i);
            QCOMPARE(m.mid(19, 16), m_names[i].toLatin1().leftJustified(16, ' '));
            QCOMPARE(QString::number(quint8(m[35])), m_roles[i]);
            QCOMPARE(m.size(), m_roles[i] == QLatin1String("2") ? 54 : 45);
        }
    }

    // Nothing mocked: the kernel in each element's namespace answers ARP (with the
    // element's own hardware address) and echo requests.
    void elementsAnswerArpAndEcho()
    {
        for (int i = 0; i < m_ips.size(); ++i) {
            QVERIFY2(echo(m_ips[i]), qPrintable(m_ips[i]));
            QCOMPARE(arpEntry(m_ips[i]), m_macs[i]);
        }
    }

    // A configuration command that gives the first element a new address moves its
    // interface: the feedback comes from and reports the new address, ARP and echo answer
    // there, and its other ports followed.
    void configurationMovesTheAddress()
    {
        const QString moved = QStringLiteral("10.77.0.250");
        QVERIFY(echo(m_ips[0]));
        QVERIFY(!m_ips.contains(moved));
        QByteArray command = QByteArray::fromHex("0A4D00FA FFFFFF00 0A4D0001 EFC04D01 01 01 01 00");
        command += QByteArray("MOVED").leftJustified(16, ' ');
        command += '\0';
        QCOMPARE(command.size(), 37);

        QUdpSocket s;
        QVERIFY2(s.bind(QHostAddress(QHostAddress::AnyIPv4), 2976), qPrintable(s.errorString()));
        QCOMPARE(s.writeDatagram(command, QHostAddress(m_ips[0]), 2976), qint64(command.size()));
        QTRY_VERIFY_WITH_TIMEOUT(s.hasPendingDatagrams(), 5000);
        const QNetworkDatagram d = s.receiveDatagram();
        QCOMPARE(d.senderAddress().toIPv4Address(), QHostAddress(moved).toIPv4Address());
        QCOMPARE(d.data().left(4), QByteArray::fromHex("0A4D00FA"));
        QCOMPARE(d.data().mid(19, 16), QByteArray("MOVED").leftJustified(16, ' '));

        QVERIFY(echo(moved));
        QCOMPARE(arpEntry(moved), m_macs[0]);
        QVERIFY(!echo(m_ips[0]));

        QUdpSocket status;
        QVERIFY(status.bind(QHostAddress(QHostAddress::AnyIPv4), 2978));
        status.writeDatagram(QByteArray("GetDel"), QHostAddress(moved), 2978);
        QTRY_VERIFY_WITH_TIMEOUT(status.hasPendingDatagrams(), 5000);
        QCOMPARE(status.receiveDatagram().data().size(), 61);
    }

private:
    QStringList m_ips, m_names, m_roles, m_macs;
};

QTEST_GUILESS_MAIN(TestLabSmoke)
#include "tst_lab_smoke.moc"
