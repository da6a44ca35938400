#include "protocol/frmPaging.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <unistd.h>

#include "app/frmMain.h"
#include "platform/Interfaces.h"
#include "platform/MessageBox.h"
#include "protocol/ConfigCommand.h"
#include "store/CrashLeftovers.h"
#include "store/IniStore.h"

using platform::MsgButtons;
using platform::MsgIcon;

namespace {

constexpr int kProgressStepMilliseconds = 100;
// Room beyond the database itself: the file system's own blocks for a new file.
constexpr qint64 kSpareBytes = 64 * 1024;

QString foundText(int count)
{
    return QStringLiteral("Elements found: %1").arg(count);
}

} // namespace

frmPaging::frmPaging(frmMain *main)
    : QDialog(main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_main(main)
    , Timer1(this)
    , progressTimer(this)
{
    setObjectName(QStringLiteral("frmPaging"));
    setWindowTitle(QStringLiteral("Paging network..."));
    setModal(true);
    Label1 = new QLabel(QStringLiteral("Please wait a few seconds while paging the network..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, kCollectMilliseconds);
    progress->setValue(0);
    progress->setTextVisible(false);
    lblFound = new QLabel(foundText(0), this);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    lblInterfaces = new QLabel(this);
    lblInterfaces->setObjectName(QStringLiteral("lblInterfaces"));
    lblInterfaces->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(progress);
    layout->addWidget(lblFound);
    layout->addWidget(lblInterfaces);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(kCollectMilliseconds);
    Timer1.setSingleShot(true);
    // A coarse timer may fire up to 5% early: answers at the end of the window would be lost.
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &frmPaging::Timer1_Timer);
    progressTimer.setInterval(kProgressStepMilliseconds);
    connect(&progressTimer, &QTimer::timeout, this, &frmPaging::updateProgress);
    connect(main, &frmMain::discoveryAnswerStored, this, &frmPaging::elementStored);
    connect(main, &frmMain::discoveryAnswerNotStored, this, [this] { ++m_notStored; });
}

int frmPaging::exec()
{
    m_main->chkGetVolume->setChecked(false);   // stops the level monitor
    m_main->clearViews();

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
    if (!anyUsable) {
        notSent(unusable.isEmpty() ? QStringLiteral("no network interface is up") : unusable.join(QStringLiteral("; ")));
        m_main->Load_Config();
        return QDialog::Rejected;
    }

    QString problem;
    if (!replaceDatabase(&problem)) {
        platform::showMessage(m_main,
                              QStringLiteral("The local database could not be replaced: %1.\r"
                                             "Auto discovery was not started.")
                                  .arg(problem),
                              MsgIcon::Critical);
        m_main->Load_Config();
        return QDialog::Rejected;
    }
    // Until this returns, a station that ends leaves a partial database behind.
    const DiscoveryMark unfinished(frmMain::iniPath());

    SavedRemotePort = m_main->udpClient.remotePort();
    SavedRemoteHost = m_main->udpClient.remoteHost();
    m_main->udpClient.setRemotePort(kPagingPort);
    m_main->udpClient.setRemoteHost(QStringLiteral("255.255.255.255"));
    Timer1.start();
    elapsed.start();
    progressTimer.start();
    m_main->AutoDiscoverAwaiting = true;

    // One request per interface, whatever the routing table says: the element switch is
    // often not where the default route goes, or there is no default route at all.
    QStringList paged;
    QStringList failed = unusable;
    for (const platform::PagingTarget &t : targets) {
        if (!t.problem.isEmpty())
            continue;
        QString error;
        if (m_main->udpClient.sendTo(pagingRequest(), m_main->udpClient.remoteHost(), kPagingPort,
                                     &error, t.index))
            paged << t.name;
        else
            failed << t.name + QStringLiteral(": ") + error;
    }
    if (!failed.isEmpty())
        qWarning("brivolte-nms: paging request not sent on %s", qPrintable(failed.join(QStringLiteral("; "))));
    if (paged.isEmpty()) {
        // Nothing went out, so nothing can answer: end now rather than wait in vain, and
        // give the operator back the database the discovery was about to replace.
        Timer1.stop();
        progressTimer.stop();
        m_main->udpClient.setRemotePort(quint16(SavedRemotePort));
        m_main->udpClient.setRemoteHost(SavedRemoteHost);
        m_main->AutoDiscoverAwaiting = false;
        m_finished = true;
        restoreDatabase();
        notSent(failed.join(QStringLiteral("; ")));
        m_main->Load_Config();
        return QDialog::Rejected;
    }
    lblInterfaces->setText(QStringLiteral("Paged on: ") + paged.join(QStringLiteral(", ")));
    if (m_finished)
        return QDialog::Accepted;
    return QDialog::exec();
}

void frmPaging::notSent(const QString &reasons)
{
    platform::showMessage(m_main,
                          QStringLiteral("The paging request could not be sent: %1.\r"
                                         "The local database was left as it was.")
                              .arg(reasons),
                          MsgIcon::Critical);
}

// The database a discovery replaces stays on disk under a second name (a hard link, so
// keeping it costs no space and putting it back is one rename, which a full disk cannot
// refuse): `.nms.ini.previous` while the discovery runs, and nms.ini.bak for the
// operator. The backup only ever takes a database that holds elements, and never a
// smaller one than it holds already: however many discoveries fail or find less, the
// last good database stays recoverable. Where the file system has no hard links the
// bytes are copied instead.
bool frmPaging::replaceDatabase(QString *problem)
{
    const QString path = frmMain::iniPath();
    const QString backup = path + QStringLiteral(".bak");
    const QString folder = QFileInfo(path).absolutePath();
    m_keptPath = folder + QStringLiteral("/.nms.ini.previous");
    m_previous = ReadIniFile(path);
    m_hadDatabase = QFile::exists(path);
    const int elements = CountIniSections(path);
    const bool newBackup = elements > 0 && elements >= CountIniSections(backup);
    if (newBackup && QFileInfo(backup).isDir()) {
        *problem = QStringLiteral("the old copy %1 cannot be replaced").arg(backup);
        return false;
    }
    // Emptying a database that cannot be written again would leave nothing: a new
    // database of the same size must fit beside the old one.
    const qint64 needed = qint64(m_previous.size()) + kSpareBytes;
    const qint64 free = QStorageInfo(folder).bytesAvailable();
    if (free >= 0 && free < needed) {
        *problem = QStringLiteral("%1 has %2 bytes free, %3 are needed").arg(folder).arg(free).arg(needed);
        return false;
    }

    QFile::remove(m_keptPath);
    m_linked = m_hadDatabase && linkOver(path, m_keptPath);
    if (newBackup) {
        QString error;
        if (!(m_linked ? linkOver(m_keptPath, backup) : ReplaceIniFile(backup, m_previous, &error))) {
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

// Makes `to` a second name of `from`, replacing what `to` was in one step.
bool frmPaging::linkOver(const QString &from, const QString &to)
{
    const QByteArray target = QFile::encodeName(to);
    const QByteArray temp = QFile::encodeName(QFileInfo(to).absolutePath() + QStringLiteral("/.nms.ini.link"));
    ::unlink(temp.constData());
    if (::link(QFile::encodeName(from).constData(), temp.constData()) != 0)
        return false;
    if (::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

bool frmPaging::restoreDatabase()
{
    if (!m_replaced)
        return true;
    const QString path = frmMain::iniPath();
    QString error;
    bool ok = true;
    if (!m_hadDatabase)
        ok = QFile::remove(path);
    else if (!(m_linked && ::rename(QFile::encodeName(m_keptPath).constData(),
                                     QFile::encodeName(path).constData()) == 0))
        ok = ReplaceIniFile(path, m_previous, &error);
    if (!ok)
        qWarning("brivolte-nms: the previous database could not be put back into %s: %s",
                 qPrintable(path), qPrintable(error));
    QFile::remove(m_keptPath);
    m_replaced = !ok;
    return ok;
}

void frmPaging::Timer1_Timer()
{
    if (m_finished)
        return;
    endSequence();
}

void frmPaging::endSequence()
{
    Timer1.stop();
    progressTimer.stop();
    progress->setValue(kCollectMilliseconds);
    m_main->udpClient.setRemotePort(quint16(SavedRemotePort));
    m_main->udpClient.setRemoteHost(SavedRemoteHost);
    m_main->AutoDiscoverAwaiting = false;
    m_finished = true;
    if (!(m_found == 0 && m_notStored > 0 && m_hadDatabase))
        QFile::remove(m_keptPath);   // the discovery's result stands
    else if (restoreDatabase()) {
        // Answers came but none could be written (a full disk, say): an empty database
        // is no result, the previous one is.
        platform::showMessage(m_main,
                              QStringLiteral("No answering element could be stored in the local "
                                             "database.\rThe previous database was put back."),
                              MsgIcon::Critical);
    }
    m_main->Load_Config();
    done(QDialog::Accepted);
}

void frmPaging::elementStored()
{
    // An element on a segment that two interfaces reach answers twice; it is one element.
    m_foundMacs.insert(m_main->feedback.UDP_Response_MAC);
    m_found = int(m_foundMacs.size());
    lblFound->setText(foundText(m_found));
}

void frmPaging::updateProgress()
{
    progress->setValue(int(qMin<qint64>(elapsed.elapsed(), kCollectMilliseconds)));
}

void frmPaging::reject()
{
    if (m_finished)
        QDialog::reject();
}

void frmPaging::closeEvent(QCloseEvent *event)
{
    if (m_finished)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void frmPaging::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    const QRect outer = m_main->frameGeometry();
    move(outer.center() - rect().center());
}
