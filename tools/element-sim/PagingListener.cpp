#include "PagingListener.h"

#include "SimElement.h"
#include "protocol/ConfigCommand.h"

#include <QNetworkDatagram>

namespace sim {

PagingListener::PagingListener(const QList<SimElement *> &elements, const SimLog &log,
                               QObject *parent)
    : QObject(parent)
    , m_elements(elements)
    , m_log(log)
    , m_socket(this)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &PagingListener::drain);
}

bool PagingListener::start(quint16 port, QString *error)
{
    if (!m_socket.bind(QHostAddress(QHostAddress::AnyIPv4), port,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        if (error)
            *error = QStringLiteral("cannot bind 0.0.0.0:%1: %2").arg(port).arg(m_socket.errorString());
        return false;
    }
    m_log.note(QStringLiteral("paging"), QStringLiteral("listening on 0.0.0.0:%1").arg(port));
    return true;
}

void PagingListener::drain()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram();
        if (!d.isValid())
            break;
        const QHostAddress to = d.destinationAddress();
        m_log.received(QStringLiteral("paging"), PortRole::Paging, d.senderAddress(),
                       quint16(d.senderPort()), to, m_socket.localPort(), d.data());
        if (d.data() != pagingRequest())
            continue;
        // A request sent to one element's own address is that element's alone; a
        // broadcast (or a destination the kernel did not tell) is everyone's.
        // Several interfaces in one namespace each deliver their own copy of a
        // broadcast; an element answers the copy from its own wire only.
        SimElement *addressed = nullptr;
        for (SimElement *e : std::as_const(m_elements)) {
            if (!to.isNull() && e->listenAddress() == to)
                addressed = e;
        }
        for (SimElement *e : std::as_const(m_elements)) {
            if ((!addressed || e == addressed) && e->hears(d))
                e->answerPaging(d.senderAddress(), quint16(d.senderPort()));
        }
    }
}

} // namespace sim
