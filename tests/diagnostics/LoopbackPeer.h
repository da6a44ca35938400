#pragma once
// A stand-in for an element on loopback, for the windows that listen on UDP 2978.
//
// Only one socket on this computer can hold 2978, and the window under test holds it. So
// the element's answers are sent from an ephemeral port to 127.0.0.1:2978, and what the
// window sends is read back from its own socket: with a stored address of 127.0.0.1 its
// commands come back to it, which the tests watch through the socket's signal.

#include <QHostAddress>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include "platform/UdpPort.h"

class LoopbackPeer {
public:
    LoopbackPeer() { m_socket.bind(QHostAddress::LocalHost, 0); }

    // Sends one datagram to the window's port as the element would answer.
    void answer(const QByteArray &datagram)
    {
        m_socket.writeDatagram(datagram, QHostAddress::LocalHost, 2978);
    }

private:
    QUdpSocket m_socket;
};

// Everything a window's socket receives, in order (its own commands included).
class Received {
public:
    explicit Received(platform::UdpPort *port)
        : m_spy(port, &platform::UdpPort::datagramReceived)
    {
    }
    // Waits (bounded) until at least `count` datagrams have arrived.
    bool waitFor(int count, int timeoutMs = 5000)
    {
        for (int waited = 0; m_spy.count() < count && waited < timeoutMs; waited += 20)
            QTest::qWait(20);
        return m_spy.count() >= count;
    }
    int count() const { return int(m_spy.count()); }
    QByteArray at(int i) const { return m_spy.at(i).at(0).toByteArray(); }
    QList<QByteArray> all() const
    {
        QList<QByteArray> out;
        for (int i = 0; i < m_spy.count(); ++i)
            out << at(i);
        return out;
    }

private:
    QSignalSpy m_spy;
};
