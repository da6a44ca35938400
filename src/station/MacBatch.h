#pragma once
// The MAC addresses of discovery answers that were in neither their frame nor the
// neighbour table when they were handled, resolved together: one read of the table per
// tick (25 ms) serves every address still waiting, the kernel is nudged for each every
// 500 ms, and an address not found within a second fails alone. Never blocks: the
// ticks run on the caller's event loop.

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace station {

class MacBatch : public QObject {
    Q_OBJECT
public:
    explicit MacBatch(QObject *parent = nullptr);

    // `link`: the interface the answer came in by (0: any).
    void add(quint64 id, quint32 addressNetworkOrder, int link);
    int pending() const { return int(m_pending.size()); }

    static constexpr int kTicksToGiveUp = 40;
    // An answer handled within this long of the last read of the table is looked up in
    // what that read gave.
    static constexpr int kTableAgeMs = 25;
    static constexpr int kTicksPerNudge = 20;
    // Tests shorten the tick; 0 restores 25 ms.
    static void setTickIntervalForTests(int milliseconds);

signals:
    // Once per id: the MAC text ("00:1A:2B:3C:4D:5E"), or empty when it was not found.
    void resolved(quint64 id, const QString &mac);

private:
    struct Entry {
        quint64 id;
        quint32 address;
        int link;
        int ticks;
    };
    void tick();

    QTimer m_timer;
    QList<Entry> m_pending;
};

} // namespace station
