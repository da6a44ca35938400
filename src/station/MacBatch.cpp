#include "station/MacBatch.h"

#include "platform/Arp.h"
#include "protocol/MacResolution.h"

namespace station {

namespace {

constexpr int kTickMilliseconds = 25;
int g_testTickMilliseconds = 0;

int tickMs()
{
    return g_testTickMilliseconds > 0 ? g_testTickMilliseconds : kTickMilliseconds;
}

} // namespace

void MacBatch::setTickIntervalForTests(int milliseconds)
{
    g_testTickMilliseconds = milliseconds > 0 ? milliseconds : 0;
}

MacBatch::MacBatch(QObject *parent)
    : QObject(parent)
    , m_timer(this)
{
    connect(&m_timer, &QTimer::timeout, this, &MacBatch::tick);
}

void MacBatch::add(quint64 id, quint32 addressNetworkOrder, int link)
{
    platform::nudgeNeighbour(addressNetworkOrder, link);
    m_pending.append({id, addressNetworkOrder, link, 0});
    if (!m_timer.isActive())
        m_timer.start(tickMs());
}

void MacBatch::tick()
{
    // The outcome of this tick first, announced after: a handler may show a box whose
    // event loop adds to the batch.
    QList<QPair<quint64, QString>> done;
    QList<Entry> waiting;
    bool first = true;
    for (Entry e : std::as_const(m_pending)) {
        ++e.ticks;
        QByteArray hw;
        // The first look reads the table again; the others use what it read.
        const bool found = platform::lookupInTable(e.address, e.link, &hw, first ? 0 : tickMs())
            && hw.size() == 6 && hw.left(4) != QByteArray(4, '\0');
        first = false;
        if (found || e.ticks >= kTicksToGiveUp) {
            done.append({e.id, found ? MACBytesToText(hw, QStringLiteral(":")) : QString()});
            continue;
        }
        if (e.ticks % kTicksPerNudge == 0)
            platform::nudgeNeighbour(e.address, e.link);
        waiting.append(e);
    }
    m_pending = std::move(waiting);
    if (m_pending.isEmpty())
        m_timer.stop();
    for (const auto &d : done)
        emit resolved(d.first, d.second);
}

} // namespace station
