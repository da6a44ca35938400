#pragma once
// A bound UDP socket as the station uses it: one local port, a current remote host and
// port (as the element it talks to), whole datagrams in and out. Owned by the station's
// core object that uses it, signals on the thread that owns it.

#include <QByteArray>
#include <QNetworkDatagram>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>
#include <deque>

namespace platform {

class UdpPort : public QObject {
    Q_OBJECT
public:
    explicit UdpPort(QObject *parent = nullptr);

    // Binds to localPort on any address; with allowBroadcast the socket may send to
    // 255.255.255.255. False when the port cannot be used (see errorString()).
    bool bind(quint16 localPort, bool allowBroadcast = false);
    bool isBound() const;
    void close();
    quint16 localPort() const;

    void setRemote(const QString &host, quint16 port);
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    QString remoteHost() const { return m_remoteHost; }
    quint16 remotePort() const { return m_remotePort; }

    // Sends one datagram to the current remote. The host must be a dotted IPv4 address;
    // false (nothing sent) with a plain-words reason in *error otherwise (the system's
    // own words for a failed send, such as "Network is unreachable").
    bool send(const QByteArray &datagram, QString *error = nullptr);
    // To an element: through the interface it was last heard on, else as the routing
    // table says, else through every interface a paging request would go out on
    // (Interfaces.h). interfaceIndex > 0 names the outgoing interface instead.
    bool sendTo(const QByteArray &datagram, const QString &host, quint16 port,
                QString *error = nullptr, int interfaceIndex = 0);
    // After a failed send: whether the socket itself is unusable (not bound, closed
    // underneath), as opposed to one destination that cannot be reached.
    bool lastSendBrokeSocket() const { return m_socketBroken; }
    // While datagramReceived is being emitted: where that datagram came from.
    int lastInterfaceIndex() const { return m_lastInterface; }
    quint32 lastSenderAddress() const { return m_lastSender; }   // network byte order

    QString errorString() const { return m_socket.errorString(); }

signals:
    // One signal per datagram, in order of arrival, never from inside the socket's own
    // read notification: a handler may open a modal window, and datagrams keep coming to
    // it (re-entrantly) from that window's event loop.
    void datagramReceived(const QByteArray &datagram);

private:
    void readPending();
    void deliver();

    QUdpSocket m_socket;
    std::deque<QNetworkDatagram> m_received;   // read from the socket, not yet delivered
    QTimer m_delivery;                         // zero interval: the next turn of the loop
    QString m_remoteHost;
    quint16 m_remotePort = 0;
    bool m_socketBroken = false;
    int m_lastInterface = 0;
    quint32 m_lastSender = 0;
};

} // namespace platform
