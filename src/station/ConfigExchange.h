#pragma once
// A configuration sent to an element and confirmed by its answer. The confirmation
// compares the answer with the command that was sent (never with what a window shows
// by then), stores what matches and says what differs; the values the element reports
// for the panel come back as values, brought into the controls' ranges.

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"
#include "station/Result.h"

namespace platform {
class UdpPort;
}

namespace station {

struct ConfigRequest {
    QString mac;            // the element it is for; "-" when none is selected
    ConfigCommand command;  // as the panel (or the command line) holds it
};

struct Confirmation {
    QString mac;            // the element that answered
    // Done: every field matched and the record is stored. Differs: some field did not
    // (or the element type is unknown); the others are stored. NotFound: the answer is
    // not from the element the command went to. Refused: nothing or not all could be stored.
    Outcome outcome = Outcome::Done;
    QList<MessageSpec> messages;   // the boxes, in order
    struct Difference {
        QString key, sent, reported;
    };
    QList<Difference> differences;
    // What the panel shows of the element afterwards (when `shown` and it shows `mac`).
    bool shown = false;
    QString typeCaption, serial, version;
    int buffer = 0;
    std::optional<int> attenuation, silDetMode, silDetLevel, silDetTime;   // a decoder's
};

class ConfigExchange : public QObject {
    Q_OBJECT
public:
    ConfigExchange(platform::UdpPort &socket, QObject *parent = nullptr);

    // SaveChanges' checks, in order: Refused with "… \rCannot save." (title "Error!").
    static Result check(const ConfigRequest &request, const QString &databasePath);
    // The question before sending ("Send configuration", Yes/No).
    static MessageSpec question();

    // Sends the command to the stored address of the element and starts the 3000 ms
    // wait (again, when a wait runs). PortBusy when the main socket is unusable.
    Result send(const ConfigRequest &request);
    bool isWaiting() const { return timerRemoteSent.isActive(); }
    // A feedback message passed its checks: the wait is over, whatever it turns out to be.
    void stopWaiting() { timerRemoteSent.stop(); }
    int remainingWait() const { return timerRemoteSent.remainingTime(); }

    // The buffer bar's maximum (the station's mode) for the reported buffer.
    void setBufferMaximum(int maximum) { m_bufferMaximum = maximum; }

    // The handling of a checked answer whose MAC address is known (reply.UDP_Response_MAC).
    Confirmation confirm(ElementFeedback reply);

    static constexpr int kReplyTimeoutMilliseconds = 3000;

signals:
    void timedOut(const station::Result &result);

private:
    void timerRemoteSent_Timer();

    platform::UdpPort &m_socket;
    QTimer timerRemoteSent;
    std::optional<ConfigRequest> m_sent;   // the last command that left
    int m_bufferMaximum = 22;
};

} // namespace station
