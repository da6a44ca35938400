#include "station/EventLog.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>

#include <cstdio>

namespace station {

namespace {

QString bracketed(const platform::ElementTag &e)
{
    QStringList parts;
    for (const QString &field : {e.name, e.mac, e.address, e.interfaceName})
        if (!field.isEmpty())
            parts << field;
    return parts.isEmpty() ? QString() : QLatin1Char('[') + parts.join(QLatin1Char(' ')) + QLatin1Char(']');
}

// Box texts break lines with \r: a log line stays one line.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    text.replace(QLatin1Char('\r'), QLatin1String(" | "));
    text.replace(QLatin1Char('\n'), QLatin1String(" | "));
    return text;
}

thread_local bool t_inHandler = false;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (EventLog *log = EventLog::instance())
        log->take(type, context, message);
}

} // namespace

QString severityName(Severity severity)
{
    switch (severity) {
    case Severity::Debug:
        return QStringLiteral("debug");
    case Severity::Info:
        return QStringLiteral("info");
    case Severity::Warning:
        return QStringLiteral("warning");
    case Severity::Error:
        return QStringLiteral("error");
    }
    return QString();
}

Event eventFrom(QtMsgType type, const char *category, const QString &message, const QDateTime &time)
{
    Event e;
    e.time = time.toUTC();
    switch (type) {
    case QtDebugMsg:
        e.severity = Severity::Debug;
        break;
    case QtInfoMsg:
        e.severity = Severity::Info;
        break;
    case QtWarningMsg:
        e.severity = Severity::Warning;
        break;
    case QtCriticalMsg:
    case QtFatalMsg:
        e.severity = Severity::Error;
        break;
    }
    e.category = QString::fromLatin1(category && *category ? category : "default");
    QString text;
    e.element = platform::untag(message, &text);
    e.text = oneLine(text);
    return e;
}

QString eventLine(const Event &e)
{
    const QString element = bracketed(e.element);
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(e.time.toString(Qt::ISODateWithMs), severityName(e.severity).toUpper(), e.category,
             element.isEmpty() ? QStringLiteral("-") : element, e.text);
}

// ---- the ring ----------------------------------------------------------------------

EventRecord::EventRecord(int capacity)
    : m_ring(size_t(qMax(1, capacity)))
{
}

void EventRecord::append(Event event)
{
    QMutexLocker lock(&m_mutex);
    m_ring[m_end % m_ring.size()] = std::move(event);
    ++m_end;
}

quint64 EventRecord::first() const
{
    QMutexLocker lock(&m_mutex);
    return m_end > m_ring.size() ? m_end - m_ring.size() : 0;
}

quint64 EventRecord::end() const
{
    QMutexLocker lock(&m_mutex);
    return m_end;
}

Event EventRecord::at(quint64 sequence) const
{
    QMutexLocker lock(&m_mutex);
    if (sequence >= m_end || sequence + m_ring.size() < m_end)
        return {};
    return m_ring[sequence % m_ring.size()];
}

// ---- the file ----------------------------------------------------------------------

RotatingFile::RotatingFile(const QString &path, qint64 maxBytes, int keep)
    : m_path(path)
    , m_maxBytes(maxBytes)
    , m_keep(qMax(1, keep))
    , m_file(path)
{
}

bool RotatingFile::open()
{
    if (m_file.isOpen())
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void RotatingFile::rotate()
{
    m_file.close();
    QFile::remove(m_path + QStringLiteral(".%1").arg(m_keep - 1));
    for (int i = m_keep - 2; i >= 1; --i)
        QFile::rename(m_path + QStringLiteral(".%1").arg(i), m_path + QStringLiteral(".%1").arg(i + 1));
    if (m_keep > 1)
        QFile::rename(m_path, m_path + QStringLiteral(".1"));
    else
        QFile::remove(m_path);
}

bool RotatingFile::write(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    bool ok = open();
    if (ok && m_file.size() > 0 && m_file.size() + bytes.size() > m_maxBytes) {
        rotate();
        ok = open();
    }
    // Unbuffered in effect: a station that is killed loses no line it has logged.
    ok = ok && m_file.write(bytes) == bytes.size() && m_file.flush();
    if (!ok) {
        if (m_failures++ == 0)
            m_firstFailure = m_file.errorString();
        m_file.close();   // the next line tries afresh (the disk may have room again)
    }
    return ok;
}

// ---- the handler -------------------------------------------------------------------

EventLog *EventLog::s_instance = nullptr;

EventLog::EventLog(const QString &folder, int capacity)
    : m_record(capacity)
{
    if (!folder.isEmpty())
        m_file = std::make_unique<RotatingFile>(QDir(folder).filePath(QString::fromLatin1(kFileName)));
    s_instance = this;
    m_previous = qInstallMessageHandler(handler);
}

EventLog::~EventLog()
{
    qInstallMessageHandler(m_previous);
    s_instance = nullptr;
}

QString EventLog::defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Quorvane/brivolte-nms");
}

void EventLog::share(Event &e)
{
    // Bounded: a flood of senders with addresses of their own must not grow it for ever.
    if (m_shared.size() > 10000)
        m_shared.clear();
    for (QString *field : {&e.category, &e.element.name, &e.element.mac, &e.element.address, &e.element.interfaceName}) {
        if (field->isEmpty())
            continue;
        const auto it = m_shared.constFind(*field);
        if (it != m_shared.constEnd())
            *field = *it;
        else
            m_shared.insert(*field);
    }
}

void EventLog::take(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Event e = eventFrom(type, context.category, message, QDateTime::currentDateTimeUtc());
    // Whatever the record or the file do may itself log: that goes on, but not round again.
    if (!t_inHandler) {
        t_inHandler = true;
        const QString element = bracketed(e.element);
        const QString readable = element.isEmpty() ? e.text : element + QLatin1Char(' ') + e.text;
        bool firstFailure = false;
        {
            QMutexLocker lock(&m_fileMutex);
            share(e);
            if (m_file)
                firstFailure = !m_file->write(eventLine(e)) && m_file->failures() == 1;
        }
        m_record.append(std::move(e));
        if (firstFailure) {
            const QString why = QStringLiteral("The event log file %1 cannot be written (%2); events are "
                                               "kept in the event log window only.")
                                    .arg(m_file->path(), m_file->firstFailure());
            m_record.append(eventFrom(QtWarningMsg, "brivolte.store", why, QDateTime::currentDateTimeUtc()));
            std::fprintf(stderr, "%s\n", qPrintable(why));
        }
        t_inHandler = false;
        if (m_previous)
            m_previous(type, context, readable);
        return;
    }
    if (m_previous)
        m_previous(type, context, message);
}

} // namespace station
