#pragma once
// The event record (EventLog) as a table for the event log window: newest last, filtered
// by element and by lowest severity. It reads the record only when asked to catch up (by
// its timer while the window lives), so a closed window costs nothing; rows are only ever
// appended at the end or dropped from the front, as the record's ring does.

#include <QAbstractTableModel>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <deque>

#include "station/EventLog.h"

namespace station {

class EventTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Level, Element, Category, What, ColumnCount };
    static constexpr int kSeverityRole = Qt::UserRole + 1;   // the Severity as int

    explicit EventTable(const EventRecord &record, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Reads what the record gained since the last call (and forgets what it dropped).
    void catchUp();
    // Catches up every `ms` while running; 0 stops.
    void setLive(int ms);

    // "" shows every element; otherwise the element's label (platform::ElementTag::label()).
    void setElementFilter(const QString &label);
    void setLowestSeverity(Severity lowest);
    QStringList elements() const { return m_elements; }   // every label seen, in order

    Event event(int row) const;
    QString lines(const QList<int> &rows) const;   // eventLine()s, one a line
    QString allLines() const;

signals:
    void elementsChanged();

private:
    bool accepts(const Event &e) const;
    void rebuild();

    const EventRecord &m_record;
    std::deque<quint64> m_rows;   // sequence numbers of the events shown
    quint64 m_read = 0;           // one past the last event looked at
    QString m_element;
    Severity m_lowest = Severity::Debug;
    QStringList m_elements;
    QSet<QString> m_seen;
    QTimer m_timer;
};

} // namespace station
