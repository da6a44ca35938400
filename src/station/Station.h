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
// box, the MAC wait) waits in a queue with the discovery state it arrived in. The queue
// holds up to kFeedbackQueueLimit messages (about 16 MB); what comes beyond is counted,
// and the count is shown once when the discovery ends.
// A failed check is one kind of trouble (platform::BoxGate): while its report is being
// shown, further messages that fail theirs are only counted, and one summary follows.
//
// A discovery answer takes its MAC from the frame it came in (FrameTap) or the
// neighbour table; one found in neither waits in a MacBatch while later answers are
// handled. Answers are stored in batches: one replacement of the database for all that
// came within kStoreBatchMs of the last one, and a last one when the discovery ends.
// What goes wrong for single elements during a discovery (no MAC, not stored) is
// reported once, with a count, when it ends: no box holds up the answers behind it.
// Single-threaded: owned by and used on the thread of the event loop.

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

#include "platform/BoxGate.h"
#include "platform/FrameTap.h"
#include "platform/UdpPort.h"
#include "protocol/Feedback.h"
#include "protocol/Ports.h"
#include "station/ConfigExchange.h"
#include "station/LevelMonitor.h"
#include "station/MacBatch.h"
#include "station/MacWait.h"
#include "station/Presence.h"
#include "station/Result.h"

namespace station {

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(QObject *parent = nullptr);
    ~Station() override;

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
    // Back to Confirm ends a discovery: what it still holds is stored, and what went
    // wrong for single elements is reported.
    void setDiscovery(Answers answers);
    bool discoveryActive() const { return m_answers != Answers::Confirm; }   // AutoDiscoverAwaiting
    // Writes the answers waiting for the next batch now.
    void flushStore();
    // Discovery answers whose MAC is still being resolved.
    int resolvingCount() const { return int(m_resolving.size()); }

    // The record of the last feedback message decoded.
    const ElementFeedback &feedback() const { return m_feedback; }
    static constexpr int kFeedbackQueueLimit = 100000;
    static constexpr int kStoreBatchMs = 100;
    int droppedFeedbackCount() const { return m_dropped; }
    int storeWrites() const { return m_storeWrites; }   // database replacements for answers

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
        quint32 sender;       // its source address, network byte order (0: unknown)
    };
    struct Resolving {
        ElementFeedback answer;
        Answers answers;
    };
    void pump();
    void handle(const Pending &pending);
    void answerWithMac(ElementFeedback f, Answers answers, const QString &mac);
    void storeAnswer(const ElementFeedback &answer);
    void macFound(const QString &mac);
    void batchResolved(quint64 id, const QString &mac);
    // One element's trouble: reported now, or counted until the discovery ends.
    void trouble(const QString &kind, const QString &text);
    void reportTroubles();

    platform::UdpPort m_socket;
    ConfigExchange m_config;
    LevelMonitor m_level;
    MacWait m_macWait;
    Presence m_presence;
    QElapsedTimer m_discoveryEnded;   // a discovery answer after it is a late one
    MacBatch m_macBatch;
    platform::FrameTap m_tap;
    std::unique_ptr<QSocketNotifier> m_tapReady;
    QHash<quint64, Resolving> m_resolving;
    quint64 m_nextId = 0;
    QList<ElementFeedback> m_toStore;   // the next batch
    QTimer m_storeTimer;
    QElapsedTimer m_sinceStore;
    int m_storeWrites = 0;
    struct Trouble {
        QString kind, text;
        int count;
    };
    QList<Trouble> m_troubles;          // this discovery's, in order of their first
    int m_droppedBefore = 0;            // m_dropped when the discovery began
    Answers m_answers = Answers::Confirm;
    ElementFeedback m_feedback;
    std::deque<Pending> m_queue;
    std::optional<ElementFeedback> m_waitingForMac;
    platform::BoxGate m_gate;
    bool m_pumping = false;
    int m_dropped = 0;
    quint32 m_sender = 0;   // of the datagram being taken from the socket
};

} // namespace station
