#pragma once
// The event log window: the station's events (station/EventLog), newest last, filtered
// by element and severity, copied (Ctrl+C) or saved as text. It exists only while it is
// open: the record is read while the window lives and not at all once it is closed.

#include <QWidget>

#include "station/EventTable.h"

class QComboBox;
class QLabel;
class QTableView;

class frmEventLog : public QWidget {
    Q_OBJECT
public:
    explicit frmEventLog(const station::EventLog &log, QWidget *parent = nullptr);

    station::EventTable &table() { return m_table; }
    QTableView *view() const { return m_view; }
    QComboBox *elementFilter() const { return m_element; }
    QComboBox *severityFilter() const { return m_severity; }

    QString selectedLines() const;
    void copySelection() const;
    bool saveTo(const QString &path) const;

    static constexpr int kRefreshMs = 250;

private:
    void saveAs();
    void fillElements();

    const station::EventLog &m_log;
    station::EventTable m_table;
    QTableView *m_view = nullptr;
    QComboBox *m_element = nullptr;
    QComboBox *m_severity = nullptr;
    QLabel *m_file = nullptr;
};
