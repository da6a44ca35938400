#include "platform/UdpPort.h"

#include <QElapsedTimer>
#include <QHostAddress>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/Interfaces.h"

namespace platform {

namespace {

// Every element answers a paging request at once, before the window has read any answer,
// and the kernel charges each small datagram a whole packet buffer (0.8 KB on a virtual
// link, several KB behind some network drivers). The usual default of 208 KB then
// holds as few as a hundred answers; what does not fit is dropped without a trace. Ask
// for room for a few thousand (beyond rmem_max where the process may, CAP_NET_ADMIN;
// otherwise the kernel grants at most twice rmem_max) and never end up with less.
void enlargeReceiveBuffer(int fd)
{
    constexpr int kWanted = 8 << 20;
    int current = 0;
    socklen_t length = sizeof current;
    if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &current, &length) != 0 || current >= kWanted)
        return;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kWanted, sizeof kWanted) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kWanted, sizeof kWanted);
    int granted = 0;
    length = sizeof granted;
    if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &length) == 0 && granted < current) {
        const int previous = current / 2;   // the kernel doubles what it is given
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &previous, sizeof previous);
    }
}

// A bounded share of the event loop per turn, so that a peer sending faster than the
// handlers keep up cannot starve timers and input; the rest waits for the next turn.
constexpr int kBatch = 64;
constexpr int kSliceMilliseconds = 20;
// Datagrams read ahead of their handlers; the rest stays in the kernel's buffer.
constexpr std::size_t kReadAhead = 64;

} // namespace

UdpPort::UdpPort(QObject *parent)
    : QObject(parent)
    , m_socket(this)
    , m_delivery(this)
{
    m_delivery.setSingleShot(true);
    m_delivery.setInterval(0);
    connect(&m_delivery, &QTimer::timeout, this, &UdpPort::deliver);
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpPort::readPending);
}

bool UdpPort::bind(quint16 localPort, bool allowBroadcast)
{
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.close();
    // No ShareAddress/ReuseAddress: a port held by another program must fail here.
    if (!m_socket.bind(QHostAddress(QHostAddress::AnyIPv4), localPort,
                       QAbstractSocket::DontShareAddress))
        return false;
    const int fd = int(m_socket.socketDescriptor());
    // The arrival interface of every datagram (QNetworkDatagram::interfaceIndex).
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    if (allowBroadcast) {
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    enlargeReceiveBuffer(fd);
    return true;
}

bool UdpPort::isBound() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

void UdpPort::close()
{
    m_socket.close();
    m_received.clear();
    m_delivery.stop();
}

quint16 UdpPort::localPort() const
{
    return m_socket.localPort();
}

void UdpPort::setRemote(const QString &host, quint16 port)
{
    m_remoteHost = host;
    m_remotePort = port;
}

bool UdpPort::send(const QByteArray &datagram, QString *error)
{
    return sendTo(datagram, m_remoteHost, m_remotePort, error);
}

bool UdpPort::sendTo(const QByteArray &datagram, const QString &host, quint16 port,
                     QString *error, int interfaceIndex)
{
    m_socketBroken = false;
    QHostAddress address;
    if (host.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("no address is stored");
        return false;
    }
    if (!address.setAddress(host.trimmed()) || address.protocol() != QAbstractSocket::IPv4Protocol) {
        if (error)
            *error = QStringLiteral("\"%1\" is not an IPv4 address").arg(host);
        return false;
    }
    if (!isBound()) {
        m_socketBroken = true;
        if (error)
            *error = QStringLiteral("the socket is not bound");
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address.toIPv4Address());
    const int fd = int(m_socket.socketDescriptor());
    const int failure = interfaceIndex > 0 ? sendOn(fd, datagram, to, interfaceIndex)
                                           : sendToNeighbour(fd, datagram, to);
    if (failure == 0)
        return true;
    m_socketBroken = isSocketBroken(failure);
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(failure));
    return false;
}

// Qt announces new data only to a read notification that is not still running: a
// handler that opened a message box from inside it would leave the socket unannounced,
// and once its notifier is switched off nothing reads the socket again. So the
// notification only reads, and the handlers run from a timer of their own.
void UdpPort::readPending()
{
    while (isBound() && m_received.size() < kReadAhead && m_socket.hasPendingDatagrams()) {
        QNetworkDatagram d = m_socket.receiveDatagram();
        if (!d.isValid())
            break;
        m_received.push_back(std::move(d));
    }
    if (!m_received.empty() && !m_delivery.isActive())
        m_delivery.start();
}

void UdpPort::deliver()
{
    QElapsedTimer slice;
    slice.start();
    for (int n = 0; n < kBatch && slice.elapsed() < kSliceMilliseconds; ++n) {
        // Every read re-arms the socket's notifier, whatever state a handler left it in.
        if (m_received.empty())
            readPending();
        if (m_received.empty())
            return;
        const QNetworkDatagram d = std::move(m_received.front());
        m_received.pop_front();
        // Armed before the handler runs: one that opens a modal window gets the rest
        // delivered on that window's event loop.
        m_delivery.start();
        m_lastInterface = int(d.interfaceIndex());
        m_lastSender = htonl(d.senderAddress().toIPv4Address());
        // Every exchange with this element goes back the way it came.
        rememberInterface(m_lastSender, m_lastInterface);
        emit datagramReceived(d.data());
    }
    m_delivery.start();
}

} // namespace platform
