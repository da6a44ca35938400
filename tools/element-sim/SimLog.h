#pragma once
// The simulator's readable trace: one line per datagram received ("RX"), per answer sent
// ("TX") and per event ("--"), on standard output, flushed at once so that a log file
// read while the simulator runs is complete. Problems always go to standard error.

#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace sim {

// What a port of the element is for; it decides how a datagram is described.
enum class PortRole { Paging, Main, Level, Status };

// A short reading of a datagram as the element understands it on that port, e.g.
// "configuration command (encoder form) ip 10.0.0.5 ... name \"ABC\"" or
// "unknown (5 bytes)".
QString describeDatagram(PortRole port, const QByteArray &datagram);
// The first `count` bytes as upper-case hexadecimal pairs, "…" when there are more.
QString hexHead(const QByteArray &datagram, int count = 24);

class SimLog {
public:
    explicit SimLog(bool enabled) : m_enabled(enabled) {}
    bool enabled() const { return m_enabled; }

    void received(const QString &element, PortRole port, const QHostAddress &from,
                  quint16 fromPort, const QHostAddress &to, quint16 toPort,
                  const QByteArray &datagram) const;
    void sent(const QString &element, const QHostAddress &to, quint16 toPort,
              const QString &what, const QByteArray &datagram) const;
    void note(const QString &element, const QString &text) const;
    void problem(const QString &element, const QString &text) const;   // always shown

private:
    void line(const QString &text) const;
    bool m_enabled = false;
};

} // namespace sim
