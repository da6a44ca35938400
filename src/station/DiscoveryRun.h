#pragma once
// One discovery: the paging request on every interface it can go out on, three seconds
// of answers, and, when it stores, the database replaced by what answered. The database
// it replaces stays on disk until the run has ended (a hard link, `.nms.ini.previous`)
// and is put back when nothing could be sent or no answer could be stored; nms.ini.bak
// keeps the last database that held elements. From the database's emptying to the run's
// end a mark beside it (DiscoveryMark) tells a later start that a run did not finish.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "protocol/Feedback.h"
#include "station/ElementStore.h"
#include "station/Result.h"

class DiscoveryMark;

namespace station {

class Station;

class DiscoveryRun : public QObject {
    Q_OBJECT
public:
    // `store`: the answers become the database (the window's discovery); otherwise they
    // are only collected and the database is not touched.
    DiscoveryRun(Station &station, bool store = true, QObject *parent = nullptr);
    ~DiscoveryRun() override;

    // The start sequence. Refused, with the message that says why, when nothing could be
    // sent or the database could not be replaced: the database is then as it was.
    Result start();
    bool isRunning() const { return m_running; }
    qint64 elapsedMs() const { return m_elapsed.isValid() ? m_elapsed.elapsed() : 0; }

    QStringList pagedOn() const { return m_pagedOn; }   // the interfaces the request left on
    // The elements that answered, once each, in order of their answers.
    const QList<ElementFeedback> &answers() const { return m_answers; }
    int found() const { return int(m_answers.size()); }

    static constexpr int kCollectMilliseconds = 3000;
    static constexpr int kResolvingPollMs = 25;

signals:
    void answerTaken(int found);
    // The end sequence ran. Refused when no answer could be stored and the previous
    // database was put back (the message says so).
    void finished(const station::Result &result);

private:
    void Timer1_Timer();
    void endSequence();
    bool nothingCouldBeStored() const;
    void taken(const ElementFeedback &answer);
    bool replaceDatabase(QString *problem);
    bool restoreDatabase();

    Station &m_station;
    bool m_store;
    QTimer Timer1;
    bool m_running = false;   // from the request to the last answer taken at the end
    QElapsedTimer m_elapsed;
    QString SavedRemoteHost;
    quint16 SavedRemotePort = 0;
    QStringList m_pagedOn;
    QList<ElementFeedback> m_answers;
    QSet<QString> m_macs;
    QList<StoredElement> m_before;   // the database at the start: who should answer
    int m_notStored = 0;   // answers whose record could not be written
    QByteArray m_previous;  // the database as it was, where it could not be kept linked
    bool m_hadDatabase = false;
    bool m_replaced = false;   // the database was emptied by this discovery
    bool m_linked = false;     // m_keptPath is the previous database itself
    QString m_keptPath;
    std::unique_ptr<DiscoveryMark> m_unfinished;   // while the database holds only part of the answers
};

} // namespace station
