#pragma once
// One element as the station reaches it: its record in the database and its stored
// address, read afresh for every datagram (the operator may have rediscovered it
// meanwhile), checked before anything is sent so that a damaged record is reported in
// plain words and a command for one element never reaches them all. The datagram goes
// through the interface the element was heard on (UdpPort::sendTo).
//
// StatusExchange is the element's port 2978 as the statistics and SFN windows use it:
// a socket of the station's own bound to 2978 for as long as the exchange lives.

#include <QByteArray>
#include <QObject>
#include <QString>

#include "diagnostics/StatsRecord.h"
#include "platform/BoxGate.h"
#include "platform/Log.h"
#include "platform/UdpPort.h"
#include "sfn/DelayResponse.h"
#include "station/Result.h"
#include "store/ElementAddress.h"

namespace station {

// How one datagram to an element went.
struct Delivery {
    Outcome outcome = Outcome::Done;   // Refused: nothing left; PortBusy: the socket is unusable
    QString stored;                    // the "ip" key as read
    ElementAddress target;             // that key checked
    QString error;                     // the system's words when the send itself failed
    bool ok() const { return outcome == Outcome::Done; }
    // The line that says what went wrong: the address's problem, or the failed send.
    QString problem() const;
};

class ElementLink {
public:
    ElementLink(const QString &section, const QString &databasePath);

    QString section() const { return m_section; }
    QString databasePath() const { return m_path; }
    QString mac() const;
    QString read(const QString &key, const QString &absent = QString()) const;
    // "NAME [MAC]", or "[MAC]" for an element without a name.
    QString label() const;
    // The element as a logged message names it (platform::tagged).
    platform::ElementTag tag() const;

    // Stored address, check, send: the one way a datagram reaches an element.
    Delivery send(platform::UdpPort &from, const QByteArray &datagram, quint16 port) const;

private:
    QString m_section;
    QString m_path;
};

class StatusExchange : public QObject {
    Q_OBJECT
public:
    enum class Kind { Statistics, Delay };   // the statistics window, the SFN window

    // `decoder`: the element is shown as a decoder (the PTP delay is a decoder's).
    StatusExchange(Kind kind, const ElementLink &element, bool decoder, QObject *parent = nullptr);

    // Binds 2978. PortBusy with the window's port message when another program holds it.
    Result open();
    bool isOpen() const { return m_socket.isBound(); }

    Result request();                                 // "GetStats" / "GetDel"
    Result reset();                                   // "RstStats"
    Result setDelay(qint32 additionalDelayNs, bool autoServo);
    // A datagram on 2978: records of the kind's length are read, anything else ignored.
    void take(const QByteArray &datagram);

    platform::UdpPort &socket() { return m_socket; }
    const ElementLink &element() const { return m_element; }
    const StatsVariables &statistics() const { return m_stats; }
    const DelayVariables &delay() const { return m_delay; }

signals:
    void statisticsRead(const StatsValues &values);
    void delayRead(const DelayResponse &response);
    // "Error 4" / "Error 5": the record could not be read; what came before the failing
    // step has been reported all the same. While it is being shown, more of them are
    // counted, and one summary follows (platform::BoxGate).
    void unreadable(const platform::MessageSpec &message);

private:
    Result sent(const QByteArray &datagram, const char *consequence);
    void reportUnreadable(const QString &text);

    Kind m_kind;
    ElementLink m_element;
    bool m_decoder;
    platform::UdpPort m_socket;
    StatsVariables m_stats;
    DelayVariables m_delay;
    platform::BoxGate m_gate;
};

} // namespace station
