#pragma once
// The station without its windows: the main socket on UDP 2976 and everything that
// arrives on it. Every datagram goes through takeDatagram, which dispatches on length:
// level answers to the level monitor, feedback messages to the reply handling; a checked
// feedback message is a discovery answer while a discovery runs (stored as the element's
// record, or only collected), and otherwise the answer to a configuration command
// (its MAC address waited for, then confirmed against the command sent).
//
// Results and events come out as signals carrying values and the exact messages to
// show; nothing here opens a window. Feedback messages are handled one at a time and in
// order of arrival: one that arrives while another is handled (a slot showing a modal
// box, the MAC wait) waits in a bounded queue with the discovery state it arrived in.
// A failed check is one kind of trouble (platform::BoxGate): while its report is being
// shown, further messages that fail theirs are only counted, and one summary follows.
// Single-threaded: owned by and used on the thread of the event loop.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <optional>

#include "platform/BoxGate.h"
#include "platform/UdpPort.h"
#include "protocol/Feedback.h"
#include "protocol/Ports.h"
#include "station/ConfigExchange.h"
#include "station/LevelMonitor.h"
#include "station/MacWait.h"
#include "station/Presence.h"
#include "station/Result.h"

namespace station {

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(QObject *parent = nullptr);

    // Binds the main socket, broadcast allowed. PortBusy with "Unable to use UDP port
    // 2976: occupied." when another program holds the port.
    Result open(quint16 port = kMainPort);
    void close();

    platform::UdpPort &socket() { return m_socket; }
    ConfigExchange &config() { return m_config; }
    LevelMonitor &level() { return m_level; }
    MacWait &macWait() { return m_macWait; }
    // Who was heard in this run (any datagram on the main socket, ping answers).
    Presence &presence() { return m_presence; }

    // A datagram as it arrived on the main socket (interfaceIndex 0: not known).
    void takeDatagram(const QByteArray &datagram, int interfaceIndex = 0);
    void takeFeedback(const QByteArray &message, int interfaceIndex = 0);

    // Whether an arriving feedback message is a discovery answer, and what becomes of it.
    enum class Answers { Confirm, Store, Collect };
    void setDiscovery(Answers answers);
    bool discoveryActive() const { return m_answers != Answers::Confirm; }   // AutoDiscoverAwaiting

    // The record of the last feedback message decoded.
    const ElementFeedback &feedback() const { return m_feedback; }
    static constexpr int kFeedbackQueueLimit = 64;
    int droppedFeedbackCount() const { return m_dropped; }

signals:
    // A message failed a check, its MAC address was not found, or a discovery answer
    // could not be stored: the message to show.
    void feedbackRejected(const platform::MessageSpec &message);
    void discoveryAnswerStored(const ElementFeedback &answer);
    void discoveryAnswerNotStored(const ElementFeedback &answer);
    void discoveryAnswerCollected(const ElementFeedback &answer);
    // The wait for a reply's MAC address (MacWait) begins and ends.
    void macWaitStarted(const QString &ip);
    void macWaitEnded();
    void confirmed(const station::Confirmation &confirmation);
    // The database was written outside a discovery: what shows it is to be rebuilt.
    void databaseChanged();

private:
    struct Pending {
        QByteArray message;
        Answers answers;      // what a checked message is, decided when it arrived
        int interfaceIndex;   // where it arrived (0: unknown)
        QString sender;       // the address it came from ("" when not known)
    };
    void pump();
    void handle(const Pending &pending);
    void storeAnswer(const ElementFeedback &answer);
    void macFound(const QString &mac);

    platform::UdpPort m_socket;
    ConfigExchange m_config;
    LevelMonitor m_level;
    MacWait m_macWait;
    Presence m_presence;
    QString m_sender;   // of the datagram being taken
    QElapsedTimer m_discoveryEnded;   // a discovery answer after it is a late one
    Answers m_answers = Answers::Confirm;
    ElementFeedback m_feedback;
    std::deque<Pending> m_queue;
    std::optional<ElementFeedback> m_waitingForMac;
    platform::BoxGate m_gate;
    bool m_pumping = false;
    int m_dropped = 0;
};

} // namespace station
