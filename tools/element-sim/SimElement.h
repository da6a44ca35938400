#pragma once
// One simulated network element on the network: its main (configuration), level and
// status sockets bound to its own address, the element's behaviour (ElementModel) and,
// when it owns a real interface, the address change that a configuration command makes.

#include "ElementModel.h"
#include "InterfaceAddress.h"
#include "SimLog.h"
#include "protocol/ConfigCommand.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QObject>
#include <QUdpSocket>
#include <functional>

namespace sim {

struct ElementSetup {
    QString label;                 // names the element in log lines
    ElementConfig config;
    DelayConfig delays;
    ElementFaults faults;
    LevelSignal signal;
    // Where the sockets listen: null means the element's own address (config.ip), which
    // follows the address when a configuration command moves a real interface.
    QHostAddress bindAddress;
    quint16 portOffset = 0;        // every listening port shifted by this much
    QString interfaceName;         // real interface whose address the element owns
    bool ownPagingSocket = false;  // paging heard on its own address, not the shared socket
    qint64 uptimeMs = 0;           // counters start as if it had run this long
    int levelLength = 1201;        // size of a level answer
    QByteArray mac;                // its own hardware address, when it shares a wire
};

class SimElement : public QObject {
    Q_OBJECT
public:
    SimElement(const ElementSetup &setup, const SimLog &log, QObject *parent = nullptr);

    // Binds the sockets; false with the reason when a port cannot be had.
    bool start(QString *error);

    QString label() const { return m_setup.label; }
    // The address its sockets listen on (0.0.0.0 when bound to every address).
    QHostAddress listenAddress() const { return m_listen; }
    // Index of the interface it owns, 0 when none: it hears broadcasts on that wire only.
    uint interfaceIndex() const { return m_interfaceIndex; }
    const ElementModel &model() const { return m_model; }

    // Whether a broadcast that came in on the datagram's interface reaches this element:
    // several elements with an interface each may share one namespace (and one socket).
    bool hears(const QNetworkDatagram &d) const;

    // A paging request that the shared paging socket received: answer it (unless silent)
    // with the feedback message, from this element's main socket.
    void answerPaging(const QHostAddress &to, quint16 port);

    // Elements that share one wire have no sockets: what they would send goes through
    // `send` (set before start()), and what arrives for them comes in through receive().
    using Sender = std::function<void(PortRole from, const QHostAddress &to, quint16 port,
                                      const QByteArray &data)>;
    void sendThrough(Sender send) { m_sender = std::move(send); }
    void receive(PortRole role, const QNetworkDatagram &d);

private:
    struct PendingConfig {
        QByteArray datagram;
        QHostAddress from;
        quint16 port = 0;
    };

    bool bindAll(const QHostAddress &address, QString *error);
    void drain(QUdpSocket &socket, PortRole role);
    void onMain(const QNetworkDatagram &d);
    void onLevel(const QNetworkDatagram &d);
    void onStatus(const QNetworkDatagram &d);
    void applyConfig(const PendingConfig &pending);
    void finishConfig(const PendingConfig &pending);
    // Sends from the socket of `role` as it is bound when the (possibly delayed) moment
    // comes, so an answer after an address change leaves from the new address.
    void reply(PortRole role, const QHostAddress &to, quint16 port, const QByteArray &data,
               const QString &what);
    QUdpSocket *socketFor(PortRole role);
    qint64 uptimeMs() const;
    quint16 portOf(PortRole role) const;

    ElementSetup m_setup;
    const SimLog &m_log;
    ElementModel m_model;
    QHostAddress m_listen;
    uint m_interfaceIndex = 0;
    QUdpSocket m_main, m_level, m_status, m_paging;
    InterfaceAddress m_interface;
    QList<PendingConfig> m_queue;   // commands that came while the interface was moving
    QElapsedTimer m_sinceReset;
    qint64 m_uptimeAtReset = 0;
    Sender m_sender;
};

} // namespace sim
