#include "station/EventTable.h"

namespace station {

EventTable::EventTable(const EventRecord &record, QObject *parent)
    : QAbstractTableModel(parent)
    , m_record(record)
    , m_timer(this)
{
    connect(&m_timer, &QTimer::timeout, this, &EventTable::catchUp);
    catchUp();
}

int EventTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int EventTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Event EventTable::event(int row) const
{
    return row >= 0 && row < int(m_rows.size()) ? m_record.at(m_rows[size_t(row)]) : Event{};
}

QVariant EventTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Event e = event(index.row());
    if (role == kSeverityRole)
        return int(e.severity);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case Time:
        return e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    case Level:
        return severityName(e.severity);
    case Element:
        return e.element.label();
    case Category:
        return e.category;
    case What:
        return e.text;
    default:
        return {};
    }
}

QVariant EventTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const names[] = {"Time", "Severity", "Element", "Category", "Event"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

bool EventTable::accepts(const Event &e) const
{
    return e.severity >= m_lowest && (m_element.isEmpty() || e.element.label() == m_element);
}

void EventTable::catchUp()
{
    const quint64 first = m_record.first(), end = m_record.end();
    int dropped = 0;
    while (dropped < int(m_rows.size()) && m_rows[size_t(dropped)] < first)
        ++dropped;
    if (dropped > 0) {
        beginRemoveRows({}, 0, dropped - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + dropped);
        endRemoveRows();
    }
    std::vector<quint64> added;
    bool newElement = false;
    for (quint64 s = qMax(m_read, first); s < end; ++s) {
        const Event e = m_record.at(s);
        const QString label = e.element.label();
        if (!label.isEmpty() && !m_seen.contains(label)) {
            m_seen.insert(label);
            m_elements << label;
            newElement = true;
        }
        if (accepts(e))
            added.push_back(s);
    }
    m_read = end;
    if (!added.empty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + added.size()) - 1);
        m_rows.insert(m_rows.end(), added.begin(), added.end());
        endInsertRows();
    }
    if (newElement)
        emit elementsChanged();
}

void EventTable::setLive(int ms)
{
    if (ms > 0)
        m_timer.start(ms);
    else
        m_timer.stop();
}

void EventTable::rebuild()
{
    beginResetModel();
    m_rows.clear();
    const quint64 first = m_record.first();
    for (quint64 s = first; s < m_read; ++s)
        if (accepts(m_record.at(s)))
            m_rows.push_back(s);
    endResetModel();
    catchUp();
}

void EventTable::setElementFilter(const QString &label)
{
    m_element = label;
    rebuild();
}

void EventTable::setLowestSeverity(Severity lowest)
{
    m_lowest = lowest;
    rebuild();
}

QString EventTable::lines(const QList<int> &rows) const
{
    QString text;
    for (int row : rows)
        text += eventLine(event(row)) + QLatin1Char('\n');
    return text;
}

QString EventTable::allLines() const
{
    QString text;
    for (quint64 s : m_rows)
        text += eventLine(m_record.at(s)) + QLatin1Char('\n');
    return text;
}

} // namespace station
