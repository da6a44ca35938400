#pragma once
// The station's event record: every message of the logging categories (platform/Log.h)
// as an event with its time, severity and element, kept in a bounded ring for the event
// log window and written, one line each, to a log file rotated by size. Fed by one
// installed message handler that then hands the message on to the handler that was
// there before (standard error, QT_LOGGING_RULES as usual).
//
// The log file never stops the station: a failed write is counted, reported once (as an
// event of its own, and on standard error) and the events keep going to the ring.

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

#include "platform/Log.h"

namespace station {

enum class Severity { Debug, Info, Warning, Error };
QString severityName(Severity severity);   // "debug", "info", "warning", "error"

struct Event {
    QDateTime time;   // UTC
    Severity severity = Severity::Info;
    QString category;   // "brivolte.discovery"
    platform::ElementTag element;
    QString text;   // what happened and how it went, on one line
};

// A message as the handler receives it, made an event.
Event eventFrom(QtMsgType type, const char *category, const QString &message, const QDateTime &time);
// One line of the log file (and of a copy or a saved list): time, severity, category,
// element, text, separated by blanks; the element in brackets, "-" when there is none.
QString eventLine(const Event &event);

// The last `capacity` events. Sequence numbers count every event ever appended, so a
// reader that remembers where it was knows what is new and what has dropped off.
class EventRecord {
public:
    explicit EventRecord(int capacity = 100000);
    void append(Event event);
    quint64 first() const;   // the oldest still held
    quint64 end() const;     // one past the newest
    Event at(quint64 sequence) const;   // first() <= sequence < end()
    int capacity() const { return int(m_ring.size()); }

private:
    mutable QMutex m_mutex;   // a message may come from another thread of Qt's own
    std::vector<Event> m_ring;
    quint64 m_end = 0;
};

// Lines appended to `path`; before a line would take it past maxBytes the file becomes
// path.1 (path.1 becomes path.2 …, the oldest of `keep` files goes).
class RotatingFile {
public:
    RotatingFile(const QString &path, qint64 maxBytes = 1024 * 1024, int keep = 5);
    // False when the line could not be written; the first failure's reason is kept.
    bool write(const QString &line);
    int failures() const { return m_failures; }
    QString firstFailure() const { return m_firstFailure; }
    QString path() const { return m_path; }

private:
    bool open();
    void rotate();
    QString m_path;
    qint64 m_maxBytes;
    int m_keep;
    QFile m_file;
    int m_failures = 0;
    QString m_firstFailure;
};

class EventLog {
public:
    // The record, and the file in `folder` ("" for none), fed from the message handler
    // installed here until the log is destroyed.
    explicit EventLog(const QString &folder, int capacity = 100000);
    ~EventLog();
    EventLog(const EventLog &) = delete;
    EventLog &operator=(const EventLog &) = delete;

    static EventLog *instance() { return s_instance; }
    const EventRecord &record() const { return m_record; }
    QString filePath() const { return m_file ? m_file->path() : QString(); }
    int fileFailures() const { return m_file ? m_file->failures() : 0; }

    // The per-user state folder: $XDG_STATE_HOME (or ~/.local/state)/Quorvane/brivolte-nms.
    static QString defaultFolder();
    static constexpr const char *kFileName = "events.log";

    void take(QtMsgType type, const QMessageLogContext &context, const QString &message);

private:
    void share(Event &event);

    static EventLog *s_instance;
    EventRecord m_record;
    // Categories and element fields repeat from event to event: a full ring holds one
    // copy of each, not one per event.
    QSet<QString> m_shared;
    std::unique_ptr<RotatingFile> m_file;
    QMutex m_fileMutex;
    QtMessageHandler m_previous = nullptr;
};

} // namespace station
