#pragma once
// One ICMP echo request at a time, without blocking the event loop: an ICMP datagram
// socket where net.ipv4.ping_group_range allows it, a raw socket (CAP_NET_RAW) otherwise.
// Owned by the station's ping (station::Ping); finished() is emitted on its thread, once
// per start().

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>

namespace platform {

class IcmpEcho : public QObject {
    Q_OBJECT
public:
    // Status codes in the station's table: 0 echo reply, 11010 time-out, 11003 host
    // unreachable, 11050 general failure; -1 when no request could be sent.
    static constexpr int kSuccess = 0;
    static constexpr int kTimedOut = 11010;
    static constexpr int kGeneralFailure = 11050;

    // Which kind of socket carries the request. Automatic tries the datagram socket
    // first; tests force one kind to exercise both.
    enum class SocketKind { Automatic, Datagram, Raw };

    explicit IcmpEcho(QObject *parent = nullptr);
    ~IcmpEcho() override;

    // Sends `payload` to the dotted IPv4 address and waits at most timeoutMs. Returns
    // false (and emits nothing) for an address that is not dotted IPv4, 0.0.0.0 or
    // 255.255.255.255, when no socket could be opened or the send failed; the reason is
    // in failureReason(). A request still pending is dropped first, without finished().
    // finished() always comes later from the event loop, never from inside start().
    bool start(const QString &address, const QByteArray &payload, int timeoutMs);
    // Drops a pending request: no finished() for it.
    void cancel();
    bool isBusy() const;

    void setSocketKind(SocketKind kind) { m_kind = kind; }
    // The kind the last accepted request went out on.
    SocketKind socketKindUsed() const { return m_kindUsed; }
    // Whether this process may open that kind of ICMP socket at all.
    static bool canOpen(SocketKind kind);
    QString failureReason() const { return m_failure; }

signals:
    void finished(int status, quint32 roundTripMs);

private:
    struct Impl;
    void readReplies();
    void finish(int status, quint32 roundTripMs);
    void release();

    std::unique_ptr<Impl> d;
    QString m_failure;
    SocketKind m_kind = SocketKind::Automatic;
    SocketKind m_kindUsed = SocketKind::Automatic;
};

} // namespace platform
