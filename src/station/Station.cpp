#include "station/Station.h"

#include <QHostAddress>
#include <QScopeGuard>
#include <QtDebug>
#include <QtEndian>

#include <utility>

#include "platform/AppDir.h"
#include "platform/Arp.h"
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
    , m_macBatch(this)
    , m_storeTimer(this)
{
    connect(&m_socket, &platform::UdpPort::datagramReceived, this, [this](const QByteArray &datagram) {
        m_sender = m_socket.lastSenderAddress();
        m_presence.heard(m_sender, m_socket.lastInterfaceIndex());
        takeDatagram(datagram, m_socket.lastInterfaceIndex());
        m_sender = 0;
    });
    connect(&m_macWait, &MacWait::finished, this, &Station::macFound);
    connect(&m_macBatch, &MacBatch::resolved, this, &Station::batchResolved);
    m_storeTimer.setSingleShot(true);
    connect(&m_storeTimer, &QTimer::timeout, this, &Station::flushStore);
}

Station::~Station()
{
    flushStore();
}

Result Station::open(quint16 port)
{
    if (!m_socket.bind(port, /*allowBroadcast=*/true)) {
        qCCritical(lcNet, "UDP port %u cannot be used: %s", unsigned(port), qPrintable(m_socket.errorString()));
        return Result::failed(Outcome::PortBusy, critical(QStringLiteral("Unable to use UDP port 2976: occupied.")));
    }
    // Without CAP_NET_RAW there is no tap, and the neighbour table tells every MAC.
    m_tapReady.reset();
    if (m_tap.open(m_socket.localPort())) {
        m_tapReady = std::make_unique<QSocketNotifier>(m_tap.descriptor(), QSocketNotifier::Read);
        connect(m_tapReady.get(), &QSocketNotifier::activated, this, [this] { m_tap.drain(); });
    }
    return Result::done();
}

void Station::close()
{
    m_level.stop();
    m_config.stopWaiting();
    m_socket.close();
    m_tapReady.reset();
    m_tap.close();
    flushStore();
}

void Station::setDiscovery(Answers answers)
{
    const bool ending = discoveryActive() && answers == Answers::Confirm;
    if (ending)
        m_discoveryEnded.start();
    if (!discoveryActive() && answers != Answers::Confirm) {
        m_troubles.clear();
        m_droppedBefore = m_dropped;
    }
    m_answers = answers;
    if (ending) {
        flushStore();
        reportTroubles();
    }
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
        qCDebug(lcNet).noquote() << platform::tagged({{}, {}, dotted(m_sender), platform::interfaceName(interfaceIndex)},
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
            << platform::tagged({{}, {}, dotted(pending.sender), platform::interfaceName(pending.interfaceIndex)},
                                QStringLiteral("feedback refused: %1 (%2 bytes: %3)")
                                    .arg(feedbackCheckText(check))
                                    .arg(pending.message.size())
                                    .arg(platform::hexHead(pending.message)));
        // The reply time-out keeps running: a corrupted answer still ends in it. During
        // a discovery it is one element's trouble, reported when the discovery ends.
        trouble(kFeedbackCheck, feedbackCorruptedMessage(feedbackCheckText(check)));
        return;
    }
    const bool awaited = m_config.isWaiting();
    m_config.stopWaiting();
    // Made only when a line is written: the interface's name is a system call.
    const auto tag = [&f, &pending] { return tagOf(f, pending.interfaceIndex); };
    if (pending.answers == Answers::Confirm && !awaited) {
        if (m_discoveryEnded.isValid() && m_discoveryEnded.elapsed() < kLateAnswerMs)
            qCWarning(lcDiscovery).noquote()
                << platform::tagged(tag(), QStringLiteral("late answer to the discovery, %1 ms after its end")
                                             .arg(m_discoveryEnded.elapsed()));
        else
            qCWarning(lcFeedback).noquote() << platform::tagged(tag(), QStringLiteral("feedback that no request awaited"));
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
    // Many answers share a discovery's three seconds: none may wait for another's MAC.
    const quint32 reported = IPToAddress(f.UDP_Response_IP);
    const platform::NeighbourPlan plan =
        reported ? platform::planNeighbourLookup(reported) : platform::NeighbourPlan{};
    QByteArray hw;
    bool found = false;
    if (plan.kind == platform::NeighbourPlan::Own) {
        hw = plan.own, found = true;
    } else if (plan.kind != platform::NeighbourPlan::Fail) {
        // The frame's source is the element only when nothing routed it here.
        if (plan.onLink && pending.sender == reported && m_tap.isOpen()) {
            m_tap.drain();
            found = m_tap.senderMac(reported, pending.interfaceIndex, &hw);
        }
        if (!found)
            found = platform::lookupInTable(reported, plan.link, &hw, MacBatch::kTableAgeMs);
        found = found && hw.size() == 6 && hw.left(4) != QByteArray(4, '\0');
    }
    if (found) {
        answerWithMac(f, pending.answers, MACBytesToText(hw, QStringLiteral(":")));
    } else if (plan.kind == platform::NeighbourPlan::Resolve) {
        const quint64 id = ++m_nextId;
        m_resolving.insert(id, {f, pending.answers});
        m_macBatch.add(id, reported, plan.link);
    } else {
        qCWarning(lcMac).noquote() << platform::tagged(tag(), QStringLiteral("MAC address not found; answer not taken"));
        trouble(QStringLiteral("element MAC"), macMissing().text);
    }
}

void Station::batchResolved(quint64 id, const QString &mac)
{
    const auto it = m_resolving.find(id);
    if (it == m_resolving.end())
        return;
    const Resolving r = it.value();
    m_resolving.erase(it);
    const bool pumping = std::exchange(m_pumping, true);
    const auto resume = qScopeGuard([this, pumping] {
        m_pumping = pumping;
        pump();
    });
    if (mac.isEmpty()) {
        qCWarning(lcMac).noquote() << platform::tagged(tagOf(r.answer, 0), QStringLiteral("MAC address not found; answer not taken"));
        trouble(QStringLiteral("element MAC"), macMissing().text);
    } else {
        answerWithMac(r.answer, r.answers, mac);
    }
}

void Station::answerWithMac(ElementFeedback f, Answers answers, const QString &mac)
{
    f.UDP_Response_MAC = mac;
    m_feedback = f;
    if (answers == Answers::Collect) {
        qCInfo(lcDiscovery).noquote() << platform::tagged(tagOf(f, platform::rememberedInterface(IPToAddress(f.UDP_Response_IP))),
                                                          QStringLiteral("answer taken"));
        emit discoveryAnswerCollected(f);
    } else {
        storeAnswer(f);
    }
}

// The whole record in one write, and the records of answers that came together in one
// replacement of the file: rewriting it once per answer made a discovery of n elements
// write n times the file and wait for 2n flushes to the disk.
void Station::storeAnswer(const ElementFeedback &f)
{
    m_toStore.append(f);
    // One that waited past the discovery's end is stored, and shown, at once.
    if (!discoveryActive() || !m_sinceStore.isValid() || m_sinceStore.elapsed() >= kStoreBatchMs)
        flushStore();
    else if (!m_storeTimer.isActive())
        m_storeTimer.start(int(kStoreBatchMs - m_sinceStore.elapsed()));
}

void Station::flushStore()
{
    m_storeTimer.stop();
    if (m_toStore.isEmpty())
        return;
    const QList<ElementFeedback> batch = std::exchange(m_toStore, {});
    QList<IniRecord> records;
    records.reserve(batch.size());
    for (const ElementFeedback &f : batch)
        records.append({Encode_MAC(f.UDP_Response_MAC), discoveryRecord(f)});
    QList<bool> stored;
    WriteSectionsToINI(records, platform::databasePath(), &stored);
    ++m_storeWrites;
    m_sinceStore.start();
    bool any = false;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const ElementFeedback &f = batch.at(i);
        const auto tag = [&f] { return tagOf(f, platform::rememberedInterface(IPToAddress(f.UDP_Response_IP))); };
        if (stored.value(i)) {
            qCInfo(lcDiscovery).noquote() << platform::tagged(tag(), QStringLiteral("answer stored"));
            any = true;
            emit discoveryAnswerStored(f);
            continue;
        }
        qCCritical(lcDiscovery).noquote() << platform::tagged(tag(), QStringLiteral("answer could not be stored in the database"));
        emit discoveryAnswerNotStored(f);
        trouble(QStringLiteral("not stored"),
                elementLabel(PadName16(f.UDP_Response_Name).trimmed(), f.UDP_Response_MAC)
                    + QStringLiteral(" could not be stored in the local database."));
    }
    // Whoever shows the database shows what came after the discovery's end.
    if (any && !discoveryActive())
        emit databaseChanged();
}

void Station::trouble(const QString &kind, const QString &text)
{
    if (!discoveryActive()) {
        m_gate.showOnce(kind, text, [this](const QString &t) { emit feedbackRejected(critical(t)); });
        return;
    }
    for (Trouble &t : m_troubles) {
        if (t.kind == kind) {
            ++t.count;
            return;
        }
    }
    m_troubles.append({kind, text, 1});
}

void Station::reportTroubles()
{
    const QList<Trouble> troubles = std::exchange(m_troubles, {});
    if (const int dropped = m_dropped - m_droppedBefore; dropped > 0)
        emit feedbackRejected(critical(QStringLiteral("%1 answers were not handled: more than %2 were waiting.")
                                           .arg(dropped)
                                           .arg(kFeedbackQueueLimit)));
    for (const Trouble &t : troubles) {
        // A box of the same kind opened meanwhile (an answer after the end) counts these.
        if (!m_gate.open(t.kind)) {
            for (int i = 1; i < t.count; ++i)
                m_gate.countIfOpen(t.kind);
            continue;
        }
        emit feedbackRejected(critical(t.text));
        if (const int more = t.count - 1 + m_gate.take(t.kind); more > 0)
            emit feedbackRejected(critical(platform::BoxGate::summary(t.text, more)));
        m_gate.close(t.kind);
    }
}

void Station::macFound(const QString &mac)
{
    if (!m_waitingForMac)
        return;
    ElementFeedback f = *m_waitingForMac;
    m_waitingForMac.reset();
    // What arrives while its outcome is shown (a box) waits its turn, as during any other.
    const bool pumping = std::exchange(m_pumping, true);
    const auto resume = qScopeGuard([this, pumping] {
        m_pumping = pumping;
        pump();
    });
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
}

} // namespace station
