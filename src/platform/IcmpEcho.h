#pragma once
// One ICMP echo request at a time, without blocking the event loop: an ICMP datagram
// socket where net.ipv4.ping_group_range allows it, a raw socket (CAP_NET_RAW) otherwise.
// Owned by the main window; finished() is emitted on its thread, once per start().

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

    explicit IcmpEcho(QObject *parent = nullptr);
    ~IcmpEcho() override;

    // Sends `payload` to the dotted IPv4 address and waits at most timeoutMs. Returns
    // false (and emits nothing) when no socket could be opened or the send failed; the
    // reason is in failureReason().
    bool start(const QString &address, const QByteArray &payload, int timeoutMs);
    // Drops a pending request: no finished() for it.
    void cancel();
    bool isBusy() const;
    QString failureReason() const { return m_failure; }

signals:
    void finished(int status, quint32 roundTripMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    QString m_failure;
};

} // namespace platform
