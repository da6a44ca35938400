#include "station/Station.h"

#include <QHostAddress>
#include <QtDebug>
#include <QtEndian>

#include "platform/AppDir.h"
#include "platform/Interfaces.h"
#include "platform/Log.h"
#include "protocol/MacResolution.h"
#include "protocol/ReplyRecord.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

namespace station {

namespace {

// The boxes of the nine checks are one kind of trouble: one at a time.
const QString kFeedbackCheck = QStringLiteral("feedback check");

// Later than this after a discovery's end an unasked answer is no longer called late.
constexpr qint64 kLateAnswerMs = 30000;

QString dotted(quint32 networkOrder)
{
    return networkOrder ? QHostAddress(qFromBigEndian(networkOrder)).toString() : QString();
}

platform::ElementTag tagOf(const ElementFeedback &f, int interfaceIndex)
{
    return {PadName16(f.UDP_Response_Name).trimmed(), f.UDP_Response_MAC, f.UDP_Response_IP,
            platform::interfaceName(interfaceIndex)};
}

MessageSpec macMissing()
{
    return critical(feedbackCorruptedMessage(QStringLiteral("An error occured while retrieving 'Element MAC':")));
}

} // namespace

Station::Station(QObject *parent)
    : QObject(parent)
    , m_socket(this)
    , m_config(m_socket, this)
    , m_level(m_socket, this)
    , m_macWait(this)
    , m_presence(this)
{
    connect(&m_socket, &platform::UdpPort::datagramReceived, this, [this](const QByteArray &datagram) {
        m_sender = dotted(m_socket.lastSenderAddress());
        m_presence.heard(m_sender, m_socket.lastInterfaceIndex());
        takeDatagram(datagram, m_socket.lastInterfaceIndex());
        m_sender.clear();
    });
    connect(&m_macWait, &MacWait::finished, this, &Station::macFound);
}

Result Station::open(quint16 port)
{
    if (!m_socket.bind(port, /*allowBroadcast=*/true)) {
        qCCritical(lcNet, "UDP port %u cannot be used: %s", unsigned(port), qPrintable(m_socket.errorString()));
        return Result::failed(Outcome::PortBusy, critical(QStringLiteral("Unable to use UDP port 2976: occupied.")));
    }
    return Result::done();
}

void Station::setDiscovery(Answers answers)
{
    if (answers == Answers::Confirm && m_answers != Answers::Confirm)
        m_discoveryEnded.start();
    m_answers = answers;
}

void Station::close()
{
    m_level.stop();
    m_config.stopWaiting();
    m_socket.close();
}

void Station::takeDatagram(const QByteArray &datagram, int interfaceIndex)
{
    switch (routeDatagram(datagram.size())) {
    case DatagramRoute::AudioLevel:
        m_level.take(datagram);
        break;
    case DatagramRoute::Feedback:
        takeFeedback(datagram, interfaceIndex);
        break;
    case DatagramRoute::Ignored:
        qCDebug(lcNet).noquote() << platform::tagged({{}, {}, m_sender, platform::interfaceName(interfaceIndex)},
                                                     QStringLiteral("%1-byte datagram ignored: %2")
                                                         .arg(datagram.size())
                                                         .arg(platform::hexHead(datagram)));
        break;
    }
}

void Station::takeFeedback(const QByteArray &message, int interfaceIndex)
{
    // One that fails its checks while such a report is being shown only adds to its count.
    ElementFeedback scratch;
    if (decodeFeedback(message, scratch) != FeedbackCheck::Ok && m_gate.countIfOpen(kFeedbackCheck))
        return;
    if (int(m_queue.size()) >= kFeedbackQueueLimit) {
        // Logged at 1, 2, 4, 8… drops: a flood must not turn into as many log lines.
        ++m_dropped;
        if ((m_dropped & (m_dropped - 1)) == 0)
            qCWarning(lcFeedback, "%d feedback messages waiting; one more dropped (%d dropped so far)",
                      kFeedbackQueueLimit, m_dropped);
        return;
    }
    m_queue.push_back({message, m_answers, interfaceIndex, m_sender});
    pump();
}

// A slot that shows a box runs an event loop in which further messages arrive: they
// only join the queue, and this loop handles them once the box is closed.
void Station::pump()
{
    if (m_pumping)
        return;
    m_pumping = true;
    while (!m_waitingForMac && !m_queue.empty()) {
        const Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        handle(next);
    }
    m_pumping = false;
}

void Station::handle(const Pending &pending)
{
    ElementFeedback f;
    const FeedbackCheck check = decodeFeedback(pending.message, f);
    m_feedback = f;
    if (check != FeedbackCheck::Ok) {
        qCCritical(lcFeedback).noquote()
            << platform::tagged({{}, {}, pending.sender, platform::interfaceName(pending.interfaceIndex)},
                                QStringLiteral("feedback refused: %1 (%2 bytes: %3)")
                                    .arg(feedbackCheckText(check))
                                    .arg(pending.message.size())
                                    .arg(platform::hexHead(pending.message)));
        // The reply time-out keeps running: a corrupted answer still ends in it.
        m_gate.showOnce(kFeedbackCheck, feedbackCorruptedMessage(feedbackCheckText(check)),
                        [this](const QString &text) { emit feedbackRejected(critical(text)); });
        return;
    }
    const bool awaited = m_config.isWaiting();
    m_config.stopWaiting();
    const platform::ElementTag tag = tagOf(f, pending.interfaceIndex);
    if (pending.answers == Answers::Confirm && !awaited) {
        if (m_discoveryEnded.isValid() && m_discoveryEnded.elapsed() < kLateAnswerMs)
            qCWarning(lcDiscovery).noquote()
                << platform::tagged(tag, QStringLiteral("late answer to the discovery, %1 ms after its end")
                                             .arg(m_discoveryEnded.elapsed()));
        else
            qCWarning(lcFeedback).noquote() << platform::tagged(tag, QStringLiteral("feedback that no request awaited"));
    }
    // The element is reached at the address it reports, on the link its report came in
    // by: an address outside every local subnet (factory default, or just re-addressed)
    // has no route, and its MAC is to be asked for on that link.
    platform::rememberInterface(IPToAddress(f.UDP_Response_IP), pending.interfaceIndex);

    if (pending.answers == Answers::Confirm) {
        m_waitingForMac = f;
        emit macWaitStarted(f.UDP_Response_IP);
        m_macWait.start(f.UDP_Response_IP);
        return;
    }
    // A discovery asks once: many answers share its three seconds.
    QString mac;
    if (!ResolveRemoteMAC(f.UDP_Response_IP, mac, QStringLiteral(":")) || mac.isEmpty()) {
        qCWarning(lcMac).noquote() << platform::tagged(tag, QStringLiteral("MAC address not found; answer not taken"));
        emit feedbackRejected(macMissing());
        return;
    }
    f.UDP_Response_MAC = mac;
    m_feedback = f;
    if (pending.answers == Answers::Collect) {
        qCInfo(lcDiscovery).noquote() << platform::tagged(tagOf(f, pending.interfaceIndex), QStringLiteral("answer taken"));
        emit discoveryAnswerCollected(f);
    } else {
        storeAnswer(f);
    }
}

// The whole record in one write: during a discovery many answers arrive within the same
// three seconds, and rewriting the file once per key would spend them on disk work.
void Station::storeAnswer(const ElementFeedback &f)
{
    const platform::ElementTag tag = tagOf(f, platform::rememberedInterface(IPToAddress(f.UDP_Response_IP)));
    if (!WriteManyToINI(Encode_MAC(f.UDP_Response_MAC), discoveryRecord(f), platform::databasePath())) {
        qCCritical(lcDiscovery).noquote() << platform::tagged(tag, QStringLiteral("answer could not be stored in the database"));
        emit discoveryAnswerNotStored(f);
        emit feedbackRejected(critical(elementLabel(PadName16(f.UDP_Response_Name).trimmed(), f.UDP_Response_MAC)
                                       + QStringLiteral(" could not be stored in the local database.")));
        return;
    }
    qCInfo(lcDiscovery).noquote() << platform::tagged(tag, QStringLiteral("answer stored"));
    emit discoveryAnswerStored(f);
    // One that waited past the discovery's end is shown by whoever shows the database.
    if (!discoveryActive())
        emit databaseChanged();
}

void Station::macFound(const QString &mac)
{
    if (!m_waitingForMac)
        return;
    ElementFeedback f = *m_waitingForMac;
    m_waitingForMac.reset();
    emit macWaitEnded();
    if (mac.isEmpty()) {
        qCWarning(lcMac).noquote() << platform::tagged(tagOf(f, 0), QStringLiteral("MAC address not found; reply not taken"));
        emit feedbackRejected(macMissing());
    } else {
        f.UDP_Response_MAC = mac;
        qCInfo(lcMac).noquote() << platform::tagged(tagOf(f, 0), QStringLiteral("MAC address found"));
        m_feedback = f;
        const Confirmation c = m_config.confirm(f);
        emit confirmed(c);
        if (c.outcome == Outcome::Done || c.outcome == Outcome::Differs)
            emit databaseChanged();
    }
    pump();
}

} // namespace station
