#include "SimElement.h"

#include <QNetworkInterface>
#include <QTimer>

namespace sim {

SimElement::SimElement(const ElementSetup &setup, const SimLog &log, QObject *parent)
    : QObject(parent)
    , m_setup(setup)
    , m_log(log)
    , m_model(setup.config, setup.delays, setup.faults, setup.signal)
    , m_main(this)
    , m_level(this)
    , m_status(this)
    , m_paging(this)
    , m_interface(this)
    , m_uptimeAtReset(setup.uptimeMs)
{
    connect(&m_main, &QUdpSocket::readyRead, this, [this] { drain(m_main, PortRole::Main); });
    connect(&m_level, &QUdpSocket::readyRead, this, [this] { drain(m_level, PortRole::Level); });
    connect(&m_status, &QUdpSocket::readyRead, this, [this] { drain(m_status, PortRole::Status); });
    connect(&m_paging, &QUdpSocket::readyRead, this, [this] { drain(m_paging, PortRole::Paging); });
    m_sinceReset.start();
}

bool SimElement::start(QString *error)
{
    const QHostAddress address = m_setup.bindAddress.isNull()
                                     ? QHostAddress(m_model.config().ip)
                                     : m_setup.bindAddress;
    if (m_sender) {
        m_listen = address;
        return true;
    }
    if (!bindAll(address, error))
        return false;
    if (!m_setup.interfaceName.isEmpty())
        m_interfaceIndex = uint(qMax(0, QNetworkInterface::interfaceIndexFromName(m_setup.interfaceName)));
    m_log.note(label(), QStringLiteral("listening on %1 (ports %2, %3, %4%5)")
                            .arg(m_listen.toString())
                            .arg(kMainPort + m_setup.portOffset)
                            .arg(kLevelPort + m_setup.portOffset)
                            .arg(kStatusPort + m_setup.portOffset)
                            .arg(m_setup.ownPagingSocket
                                     ? QStringLiteral(", paging %1").arg(kPagingPort + m_setup.portOffset)
                                     : QString()));
    return true;
}

bool SimElement::bindAll(const QHostAddress &address, QString *error)
{
    struct Binding {
        QUdpSocket *socket;
        quint16 port;
    };
    QList<Binding> bindings = {{&m_main, kMainPort}, {&m_level, kLevelPort}, {&m_status, kStatusPort}};
    if (m_setup.ownPagingSocket)
        bindings.append({&m_paging, kPagingPort});
    for (const Binding &b : bindings) {
        b.socket->close();
        const quint16 port = quint16(b.port + m_setup.portOffset);
        // A second element on the same address and port must fail, not share it.
        if (!b.socket->bind(address, port, QAbstractSocket::DontShareAddress)) {
            if (error)
                *error = QStringLiteral("cannot bind %1:%2: %3")
                             .arg(address.toString()).arg(port).arg(b.socket->errorString());
            return false;
        }
    }
    m_listen = address;
    return true;
}

void SimElement::drain(QUdpSocket &socket, PortRole role)
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket.receiveDatagram();
        if (!d.isValid())
            break;
        receive(role, d);
    }
}

void SimElement::receive(PortRole role, const QNetworkDatagram &d)
{
    m_log.received(label(), role, d.senderAddress(), quint16(d.senderPort()),
                   d.destinationAddress().isNull() ? m_listen : d.destinationAddress(),
                   portOf(role), d.data());
    switch (role) {
    case PortRole::Main:
        onMain(d);
        break;
    case PortRole::Level:
        onLevel(d);
        break;
    case PortRole::Status:
        onStatus(d);
        break;
    case PortRole::Paging:
        if (d.data() == pagingRequest() && hears(d))
            answerPaging(d.senderAddress(), quint16(d.senderPort()));
        break;
    }
}

quint16 SimElement::portOf(PortRole role) const
{
    const quint16 base = role == PortRole::Level ? kLevelPort
                         : role == PortRole::Status ? kStatusPort
                         : role == PortRole::Paging ? kPagingPort
                                                    : kMainPort;
    return quint16(base + m_setup.portOffset);
}

bool SimElement::hears(const QNetworkDatagram &d) const
{
    return m_interfaceIndex == 0 || d.interfaceIndex() == 0 || d.interfaceIndex() == m_interfaceIndex;
}

void SimElement::answerPaging(const QHostAddress &to, quint16 port)
{
    if (m_model.faults().silent) {
        m_log.note(label(), QStringLiteral("silent: paging request not answered"));
        return;
    }
    reply(PortRole::Main, to, port, m_model.feedback(), QStringLiteral("feedback (paging)"));
}

void SimElement::onMain(const QNetworkDatagram &d)
{
    if (d.data().size() != 37 && d.data().size() != 41)
        return;
    const PendingConfig pending{d.data(), d.senderAddress(), quint16(d.senderPort())};
    if (m_model.faults().silent) {
        m_log.note(label(), QStringLiteral("silent: configuration command neither applied nor answered"));
        return;
    }
    if (m_interface.isBusy()) {
        m_queue.append(pending);
        return;
    }
    applyConfig(pending);
}

void SimElement::applyConfig(const PendingConfig &pending)
{
    const std::optional<ConfigCommand> command = decodeConfigCommand(pending.datagram);
    if (!command) {
        m_log.note(label(), QStringLiteral("configuration command does not decode; ignored"));
        return;
    }
    m_model.applyConfigExceptAddress(*command);
    ElementConfig &c = m_model.config();
    const quint32 newIp = parseDotted(command->ip).value_or(c.ip);
    const quint32 newMask = parseDotted(command->mask).value_or(c.mask);
    const bool moves = newIp != c.ip || newMask != c.mask;
    if (!moves || m_setup.interfaceName.isEmpty()) {
        // Without an interface of its own the element can only report the new address.
        c.ip = newIp;
        c.mask = newMask;
        finishConfig(pending);
        return;
    }
    bool peerOk = false;
    const quint32 peer = pending.from.toIPv4Address(&peerOk);
    const quint32 oldIp = c.ip;
    const quint32 oldMask = c.mask;
    m_log.note(label(), QStringLiteral("moving %1 from %2/%3 to %4/%5")
                            .arg(m_setup.interfaceName, dotted(oldIp), dotted(oldMask),
                                 dotted(newIp), dotted(newMask)));
    m_interface.change(m_setup.interfaceName, oldIp, oldMask, newIp, newMask, c.gw,
                       peerOk ? peer : 0, [this, pending, newIp, newMask](bool ok, const QString &detail) {
        if (!ok) {
            // The address in force is still the old one, and the feedback says so.
            m_log.problem(label(), QStringLiteral("address not changed: %1").arg(detail));
        } else {
            if (!detail.isEmpty())
                m_log.note(label(), detail);
            m_model.config().ip = newIp;
            m_model.config().mask = newMask;
            if (m_setup.bindAddress.isNull()) {
                QString error;
                if (!bindAll(QHostAddress(newIp), &error))
                    m_log.problem(label(), error);
                else
                    m_log.note(label(), QStringLiteral("now listening on %1").arg(m_listen.toString()));
            }
        }
        finishConfig(pending);
        while (!m_queue.isEmpty() && !m_interface.isBusy())
            applyConfig(m_queue.takeFirst());
    });
}

void SimElement::finishConfig(const PendingConfig &pending)
{
    reply(PortRole::Main, pending.from, pending.port, m_model.feedback(),
          QStringLiteral("feedback (configuration)"));
}

void SimElement::onLevel(const QNetworkDatagram &d)
{
    if (d.data() == QByteArrayLiteral("VOL")) {
        reply(PortRole::Level, d.senderAddress(), quint16(d.senderPort()),
              m_model.levelAnswer(m_setup.levelLength), QStringLiteral("level answer"));
    } else if (m_model.applyAttenuation(d.data())) {
        m_log.note(label(), QStringLiteral("attenuation now %1").arg(m_model.config().attenuation));
    }
}

void SimElement::onStatus(const QNetworkDatagram &d)
{
    const QByteArray &data = d.data();
    if (data == QByteArrayLiteral("GetDel") || data == QByteArrayLiteral("GetStats")) {
        reply(PortRole::Status, d.senderAddress(), quint16(d.senderPort()),
              m_model.statusRecord(uptimeMs()), QStringLiteral("status record"));
    } else if (data == QByteArrayLiteral("RstStats")) {
        m_uptimeAtReset = 0;
        m_sinceReset.restart();
        m_log.note(label(), QStringLiteral("counters reset"));
    } else if (m_model.applySetDelay(data)) {
        m_log.note(label(), QStringLiteral("additional delay now %1 ns, auto-servo %2")
                                .arg(m_model.delays().additional)
                                .arg(m_model.delays().autoServo));
    }
}

void SimElement::reply(PortRole role, const QHostAddress &to, quint16 port,
                       const QByteArray &data, const QString &what)
{
    auto send = [this, role, to, port, data, what] {
        if (m_sender) {
            m_sender(role, to, port, data);
            m_log.sent(label(), to, port, what, data);
            return;
        }
        QUdpSocket *socket = socketFor(role);
        const qint64 sent = socket->writeDatagram(data, to, port);
        if (sent != data.size())
            m_log.problem(label(), QStringLiteral("%1 to %2:%3 not sent: %4")
                                       .arg(what, to.toString()).arg(port).arg(socket->errorString()));
        else
            m_log.sent(label(), to, port, what, data);
    };
    const int delay = m_model.faults().delayMs;
    if (delay > 0)
        QTimer::singleShot(delay, this, send);
    else
        send();
}

QUdpSocket *SimElement::socketFor(PortRole role)
{
    switch (role) {
    case PortRole::Level:
        return &m_level;
    case PortRole::Status:
        return &m_status;
    case PortRole::Main:
    case PortRole::Paging:
        break;
    }
    return &m_main;
}

qint64 SimElement::uptimeMs() const
{
    return m_uptimeAtReset + m_sinceReset.elapsed();
}

} // namespace sim
