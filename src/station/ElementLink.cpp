#include "station/ElementLink.h"

#include "platform/Interfaces.h"
#include "protocol/MacResolution.h"
#include "protocol/Ports.h"
#include "sfn/StatusRecord.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"

namespace station {

namespace {

// The status record is at most this long; a statistics answer may be shorter.
constexpr int kLongestRecord = 61;

QString unreadableRecord(const QByteArray &datagram)
{
    return QStringLiteral("record unreadable (%1 bytes: %2)").arg(datagram.size()).arg(platform::hexHead(datagram));
}

} // namespace

QString Delivery::problem() const
{
    if (!target.usable())
        return target.problem;
    if (!error.isEmpty())
        return QStringLiteral("Sending to %1 failed: %2.").arg(target.address, error);
    return QString();
}

ElementLink::ElementLink(const QString &section, const QString &databasePath)
    : m_section(section)
    , m_path(databasePath)
{
}

QString ElementLink::mac() const
{
    return FormatMAC(m_section);
}

QString ElementLink::read(const QString &key, const QString &absent) const
{
    return ReadFromINI(m_section, key, m_path, absent);
}

QString ElementLink::label() const
{
    return elementLabel(read(QStringLiteral("name")), mac());
}

platform::ElementTag ElementLink::tag() const
{
    const QString ip = read(QStringLiteral("ip"));
    return {read(QStringLiteral("name")).trimmed(), mac(), ip,
            platform::interfaceName(platform::rememberedInterface(IPToAddress(ip)))};
}

Delivery ElementLink::send(platform::UdpPort &from, const QByteArray &datagram, quint16 port) const
{
    Delivery d;
    d.stored = read(QStringLiteral("ip"));
    d.target = elementAddress(d.stored);
    if (!d.target.usable()) {
        d.outcome = Outcome::Refused;
        qCWarning(lcNet).noquote() << platform::tagged(tag(), QStringLiteral("nothing sent to port %1: %2")
                                                                   .arg(port)
                                                                   .arg(d.target.problem));
        return d;
    }
    if (from.sendTo(datagram, d.target.address, port, &d.error))
        return d;
    d.outcome = from.lastSendBrokeSocket() ? Outcome::PortBusy : Outcome::Refused;
    qCWarning(lcNet).noquote() << platform::tagged(tag(), QStringLiteral("%1 bytes to port %2 not sent: %3")
                                                               .arg(datagram.size())
                                                               .arg(port)
                                                               .arg(d.error));
    return d;
}

StatusExchange::StatusExchange(Kind kind, const ElementLink &element, bool decoder, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_element(element)
    , m_decoder(decoder)
    , m_socket(this)
{
    connect(&m_socket, &platform::UdpPort::datagramReceived, this, &StatusExchange::take);
}

Result StatusExchange::open()
{
    if (!m_socket.bind(kStatusPort)) {
        qCCritical(lcNet, "UDP port %u cannot be used: %s", unsigned(kStatusPort), qPrintable(m_socket.errorString()));
        return Result::failed(Outcome::PortBusy,
                              critical(m_kind == Kind::Statistics
                                           ? QStringLiteral("Error 2: Unable to use UDP port 2978: occupied.")
                                           : QStringLiteral("Unable to use UDP port 2978: occupied.")));
    }
    return Result::done();
}

Result StatusExchange::sent(const QByteArray &datagram, const char *consequence)
{
    const Delivery d = m_element.send(m_socket, datagram, kStatusPort);
    const QLoggingCategory &category = m_kind == Kind::Statistics ? lcStats() : lcSfn();
    const QString what = datagram.startsWith("GetStats") ? QStringLiteral("statistics requested")
                         : datagram.startsWith("RstStats") ? QStringLiteral("statistics reset")
                         : datagram.startsWith("GetDel")   ? QStringLiteral("SFN delay requested")
                                                           : QStringLiteral("SFN delay set");
    if (d.ok()) {
        // The SFN window asks every second: only a debug line, not a flood of events.
        if (datagram.startsWith("GetDel"))
            qCDebug(category).noquote() << platform::tagged(m_element.tag(), what);
        else
            qCInfo(category).noquote() << platform::tagged(m_element.tag(), what);
        return Result::done();
    }
    qCWarning(category).noquote() << platform::tagged(m_element.tag(), what + QStringLiteral(": not sent"));
    return Result::failed(d.outcome, critical(d.problem() + QLatin1Char('\r') + QLatin1String(consequence)));
}

Result StatusExchange::request()
{
    return m_kind == Kind::Statistics ? sent("GetStats", "The counters were not requested.")
                                      : sent("GetDel", "The values were not requested.");
}

Result StatusExchange::reset()
{
    return sent("RstStats", "The counters were not reset.");
}

Result StatusExchange::setDelay(qint32 additionalDelayNs, bool autoServo)
{
    return sent(encodeSetDelay(additionalDelayNs, autoServo), "The delay was not set.");
}

void StatusExchange::take(const QByteArray &datagram)
{
    // "sfn" is read again for every record: the database is the only store.
    const QString sfn = m_element.read(QStringLiteral("sfn"), QStringLiteral("0"));
    if (m_kind == Kind::Statistics) {
        if (datagram.size() > kLongestRecord)
            return;
        const StatsValues parsed = parseStatsResponse(datagram, sfn, m_decoder, m_stats);
        m_stats = parsed.variables;
        emit statisticsRead(parsed);
        if (parsed.failed) {
            qCWarning(lcStats).noquote() << platform::tagged(m_element.tag(), unreadableRecord(datagram));
            reportUnreadable(QStringLiteral("Error 5 while retrieving values. Please reset the device and try again."));
        }
        return;
    }
    if (datagram.size() != kStatusRecordLength)
        return;
    const DelayResponse parsed = parseDelayResponse(datagram, sfn, m_decoder, 0, kDelayStepsMax, m_delay);
    m_delay = parsed.variables;
    emit delayRead(parsed);
    if (parsed.failed) {
        qCWarning(lcSfn).noquote() << platform::tagged(m_element.tag(), unreadableRecord(datagram));
        reportUnreadable(QStringLiteral("Error 4 while retrieving values. Please reset the device and try again."));
    }
}

// An element that keeps sending what cannot be read would stack one box on another.
void StatusExchange::reportUnreadable(const QString &text)
{
    m_gate.showOnce(QString(), text, [this](const QString &shown) { emit unreadable(critical(shown)); });
}

} // namespace station
