#pragma once
// The paging port shared by every element of the process. A request sent to the
// broadcast address only reaches a socket bound to 0.0.0.0, so one such socket listens
// for all elements and lets each answer from its own address.

#include "SimLog.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

namespace sim {

class SimElement;

class PagingListener : public QObject {
    Q_OBJECT
public:
    PagingListener(const QList<SimElement *> &elements, const SimLog &log,
                   QObject *parent = nullptr);

    // Binds 0.0.0.0:port shared (SO_REUSEADDR), so that another simulator in the same
    // network namespace can listen too.
    bool start(quint16 port, QString *error);

private:
    void drain();

    QList<SimElement *> m_elements;
    const SimLog &m_log;
    QUdpSocket m_socket;
};

} // namespace sim
