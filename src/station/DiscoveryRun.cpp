#include "station/DiscoveryRun.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QtDebug>

#include <cstdio>

#include "platform/AppDir.h"
#include "platform/Interfaces.h"
#include "platform/Log.h"
#include "protocol/ConfigCommand.h"
#include "protocol/MacResolution.h"
#include "station/Station.h"
#include "store/CrashLeftovers.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

namespace station {

namespace {

// Room beyond the database itself: the file system's own blocks for a new file.
constexpr qint64 kSpareBytes = 64 * 1024;

Result notSent(const QString &reasons)
{
    qCCritical(lcDiscovery, "paging request not sent: %s", qPrintable(reasons));
    return Result::failed(Outcome::Refused,
                          critical(QStringLiteral("The paging request could not be sent: %1.\r"
                                                  "The local database was left as it was.")
                                       .arg(reasons)));
}

} // namespace

DiscoveryRun::DiscoveryRun(Station &station, bool store, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_store(store)
    , Timer1(this)
{
    Timer1.setInterval(kCollectMilliseconds);
    Timer1.setSingleShot(true);
    // A coarse timer may fire up to 5% early: answers at the end of the window would be lost.
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &DiscoveryRun::Timer1_Timer);
    connect(&station, &Station::discoveryAnswerStored, this, &DiscoveryRun::taken);
    connect(&station, &Station::discoveryAnswerCollected, this, &DiscoveryRun::taken);
    connect(&station, &Station::discoveryAnswerNotStored, this, [this] {
        if (isRunning())
            ++m_notStored;
    });
}

DiscoveryRun::~DiscoveryRun()
{
    if (isRunning())
        endSequence();
}


Result DiscoveryRun::start()
{
    // Where the request can go is known before anything is touched: with no interface
    // to page on, the database stays exactly as it is.
    const QList<platform::PagingTarget> targets = platform::pagingTargets();
    QStringList unusable;
    bool anyUsable = false;
    for (const platform::PagingTarget &t : targets) {
        if (t.problem.isEmpty())
            anyUsable = true;
        else
            unusable << t.name + QStringLiteral(": ") + t.problem;
    }
    if (!anyUsable)
        return notSent(unusable.isEmpty() ? QStringLiteral("no network interface is up")
                                           : unusable.join(QStringLiteral("; ")));
    QString problem;
    m_before = listElements(platform::databasePath()).elements;
    if (m_store && !replaceDatabase(&problem)) {
        qCCritical(lcStore, "the database could not be replaced: %s", qPrintable(problem));
        return Result::failed(Outcome::Refused,
                              critical(QStringLiteral("The local database could not be replaced: %1.\r"
                                                      "Auto discovery was not started.")
                                           .arg(problem)));
    }
    // Until the run has ended, a station that ends leaves a partial database behind.
    if (m_store)
        m_unfinished = std::make_unique<DiscoveryMark>(platform::databasePath());

    platform::UdpPort &socket = m_station.socket();
    SavedRemotePort = socket.remotePort();
    SavedRemoteHost = socket.remoteHost();
    socket.setRemote(QStringLiteral("255.255.255.255"), kPagingPort);
    Timer1.start();
    m_running = true;
    m_elapsed.start();
    m_station.setDiscovery(m_store ? Station::Answers::Store : Station::Answers::Collect);

    // One request per interface, whatever the routing table says: the element switch is
    // often not where the default route goes, or there is no default route at all.
    QStringList failed = unusable;
    for (const platform::PagingTarget &t : targets) {
        if (!t.problem.isEmpty())
            continue;
        QString error;
        if (socket.sendTo(pagingRequest(), socket.remoteHost(), kPagingPort, &error, t.index)) {
            m_pagedOn << t.name;
            qCInfo(lcDiscovery, "paging request sent on %s", qPrintable(t.name));
        } else {
            failed << t.name + QStringLiteral(": ") + error;
        }
    }
    for (const QString &f : failed)
        qCWarning(lcDiscovery, "paging request not sent on %s", qPrintable(f));
    if (m_pagedOn.isEmpty()) {
        // Nothing went out, so nothing can answer: end now rather than wait in vain, and
        // give back the database the discovery was about to replace.
        Timer1.stop();
        m_running = false;
        socket.setRemote(SavedRemoteHost, SavedRemotePort);
        m_station.setDiscovery(Station::Answers::Confirm);
        restoreDatabase();
        m_unfinished.reset();
        return notSent(failed.join(QStringLiteral("; ")));
    }
    return Result::done();
}

void DiscoveryRun::taken(const ElementFeedback &answer)
{
    if (!isRunning())
        return;
    // An element on a segment that two interfaces reach answers twice; it is one element.
    if (m_macs.contains(answer.UDP_Response_MAC)) {
        qCInfo(lcDiscovery).noquote()
            << platform::tagged({PadName16(answer.UDP_Response_Name).trimmed(), answer.UDP_Response_MAC, answer.UDP_Response_IP,
                                 platform::interfaceName(platform::rememberedInterface(IPToAddress(answer.UDP_Response_IP)))},
                                QStringLiteral("duplicate answer (one element heard twice)"));
        return;
    }
    m_macs.insert(answer.UDP_Response_MAC);
    m_answers.append(answer);
    emit answerTaken(found());
}

void DiscoveryRun::Timer1_Timer()
{
    // An answer that came inside the window is part of it even while its MAC is still
    // being resolved; that ends within a second (MacBatch), so the wait is bounded.
    if (m_station.resolvingCount() > 0) {
        QTimer::singleShot(kResolvingPollMs, this, [this] {
            if (m_running)
                Timer1_Timer();
        });
        return;
    }
    // The answers of the window's last batch are part of the window.
    m_station.flushStore();
    for (const StoredElement &e : m_before)
        if (!m_macs.contains(e.mac))
            qCWarning(lcDiscovery).noquote()
                << platform::tagged({e.name, e.mac, e.ip, QString()}, QStringLiteral("no valid answer to the paging request"));
    qCInfo(lcDiscovery, "discovery ended: %d element(s) answered", found());
    const bool nothingStored = nothingCouldBeStored();
    endSequence();
    // A database that could not be put back is in the log; what is there is shown.
    if (nothingStored && !m_replaced)
        emit finished(Result::failed(Outcome::Refused,
                                     critical(QStringLiteral("No answering element could be stored in the local "
                                                             "database.\rThe previous database was put back."))));
    else
        emit finished(Result::done());
}

bool DiscoveryRun::nothingCouldBeStored() const
{
    return m_store && found() == 0 && m_notStored > 0 && m_hadDatabase;
}

void DiscoveryRun::endSequence()
{
    m_station.flushStore();
    Timer1.stop();
    m_running = false;
    m_station.socket().setRemote(SavedRemoteHost, SavedRemotePort);
    // Last: ending the station's discovery reports its troubles, and the run is over
    // on disk before any box opens.
    const auto confirm = qScopeGuard([this] { m_station.setDiscovery(Station::Answers::Confirm); });
    if (!m_store)
        return;
    // Answers came but none could be written (a full disk, say): an empty database is
    // no result, the previous one is.
    if (nothingCouldBeStored()) {
        restoreDatabase();
    } else {
        QFile::remove(m_keptPath);   // the discovery's result stands
        m_replaced = false;
    }
    m_unfinished.reset();
}

// The database a discovery replaces stays on disk under a second name (a hard link, so
// keeping it costs no space and putting it back is one rename, which a full disk cannot
// refuse): `.nms.ini.previous` while the discovery runs, and nms.ini.bak for the
// operator. The backup only ever takes a database that holds elements, and never a
// smaller one than it holds already: however many discoveries fail or find less, the
// last good database stays recoverable. Where the file system has no hard links the
// bytes are copied instead.
bool DiscoveryRun::replaceDatabase(QString *problem)
{
    const QString path = platform::databasePath();
    const QString backup = path + QStringLiteral(".bak");
    const QString folder = QFileInfo(path).absolutePath();
    m_keptPath = keptDatabasePath(path);
    m_hadDatabase = QFile::exists(path);
    const int elements = CountIniSections(path);
    const bool newBackup = elements > 0 && elements >= CountIniSections(backup);
    if (newBackup && QFileInfo(backup).isDir()) {
        *problem = QStringLiteral("the old copy %1 cannot be replaced").arg(backup);
        return false;
    }
    // Emptying a database that cannot be written again would leave nothing: a new
    // database of the same size must fit beside the old one.
    const qint64 needed = QFileInfo(path).size() + kSpareBytes;
    const qint64 free = QStorageInfo(folder).bytesAvailable();
    if (free >= 0 && free < needed) {
        *problem = QStringLiteral("%1 has %2 bytes free, %3 are needed").arg(folder).arg(free).arg(needed);
        return false;
    }

    QFile::remove(m_keptPath);
    m_linked = m_hadDatabase && linkFileOver(path, m_keptPath);
    // Without hard links the previous database is kept as bytes to write back.
    m_previous = m_hadDatabase && !m_linked ? ReadIniFile(path) : QByteArray();
    if (newBackup) {
        QString error;
        if (!(m_linked ? linkFileOver(m_keptPath, backup) : ReplaceIniFile(backup, m_previous, &error))) {
            *problem = QStringLiteral("%1 cannot be copied to %2%3")
                           .arg(path, backup, error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(error));
            QFile::remove(m_keptPath);
            return false;
        }
    }
    QString error;
    if (!ReplaceIniFile(path, QByteArray(), &error)) {
        *problem = QStringLiteral("%1 cannot be created (%2)").arg(path, error);
        QFile::remove(m_keptPath);
        return false;
    }
    m_replaced = true;
    return true;
}

bool DiscoveryRun::restoreDatabase()
{
    if (!m_replaced)
        return true;
    const QString path = platform::databasePath();
    QString error;
    bool ok = true;
    if (!m_hadDatabase)
        ok = QFile::remove(path);
    else if (!(m_linked && ::rename(QFile::encodeName(m_keptPath).constData(), QFile::encodeName(path).constData()) == 0))
        ok = ReplaceIniFile(path, m_linked ? ReadIniFile(m_keptPath) : m_previous, &error);
    if (!ok)
        qCCritical(lcStore, "the previous database could not be put back into %s: %s", qPrintable(path),
                   qPrintable(error));
    QFile::remove(m_keptPath);
    m_replaced = !ok;
    return ok;
}

} // namespace station
