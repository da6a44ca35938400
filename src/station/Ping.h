#pragma once
// The ping of an element: one ICMP echo ("hello", 3000 ms) at a time, without holding
// the event loop, and its outcome as the ping button shows it. A result belongs to the
// element it was started for: the caller drops one that comes for an element no longer
// shown.

#include <QObject>
#include <QString>

#include "platform/IcmpEcho.h"

namespace station {

struct PingFace {
    enum class State { Trying, Success, Failure };
    State state = State::Trying;
    QString caption;     // "Trying...", "12 ms", "Failed!"
    QString reason;      // why no request could be sent, when that is known
    bool pending = false;   // a request is out; finished() follows
};

class Ping : public QObject {
    Q_OBJECT
public:
    explicit Ping(QObject *parent = nullptr);

    bool isBusy() const { return m_echo.isBusy(); }
    // Pings `address` for `element`. Text that is not an address sends nothing and stays
    // at "Trying..."; 0.0.0.0 and 255.255.255.255 fail at once.
    PingFace PingElement(const QString &address, const QString &element);
    // Drops a request still out: no finished() for it.
    void cancel();

    static constexpr int kTimeoutMs = 3000;

signals:
    void finished(const station::PingFace &face, const QString &element);
    // The address answered (before finished()).
    void heard(const QString &address);

private:
    platform::IcmpEcho m_echo;
    QString m_element;
    QString m_address;
};

} // namespace station
