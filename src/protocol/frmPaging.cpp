#include "protocol/frmPaging.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "protocol/ConfigCommand.h"
#include "store/CrashLeftovers.h"

using platform::MsgButtons;
using platform::MsgIcon;

namespace {

constexpr int kProgressStepMilliseconds = 100;

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
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(progress);
    layout->addWidget(lblFound);
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
}

int frmPaging::exec()
{
    m_main->chkGetVolume->setChecked(false);   // stops the level monitor
    m_main->clearViews();

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

    QString error;
    if (!m_main->udpClient.send(pagingRequest(), &error)) {
        // Nothing went out, so nothing can answer: end now rather than wait in vain.
        Timer1.stop();
        progressTimer.stop();
        m_main->udpClient.setRemotePort(quint16(SavedRemotePort));
        m_main->udpClient.setRemoteHost(SavedRemoteHost);
        m_main->AutoDiscoverAwaiting = false;
        m_finished = true;
        platform::showMessage(m_main,
                              QStringLiteral("The paging request could not be sent: %1.").arg(error),
                              MsgIcon::Critical);
        m_main->Load_Config();
        return QDialog::Rejected;
    }
    if (m_finished)
        return QDialog::Accepted;
    return QDialog::exec();
}

// The previous database goes to nms.ini.bak (replacing an older copy) before the file is
// emptied, so a discovery started by mistake loses nothing that cannot be put back.
bool frmPaging::replaceDatabase(QString *problem)
{
    const QString path = frmMain::iniPath();
    const QString backup = path + QStringLiteral(".bak");
    bool movedAway = false;
    if (QFile::exists(path)) {
        if (QFile::exists(backup) && !QFile::remove(backup)) {
            *problem = QStringLiteral("the old copy %1 cannot be removed").arg(backup);
            return false;
        }
        QFile current(path);
        if (!current.rename(backup)) {
            *problem = QStringLiteral("%1 cannot be moved to %2 (%3)")
                           .arg(path, backup, current.errorString());
            return false;
        }
        movedAway = true;
    }
    QFile fresh(path);
    if (!fresh.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *problem = QStringLiteral("%1 cannot be created (%2)").arg(path, fresh.errorString());
        if (movedAway)
            QFile::rename(backup, path);
        return false;
    }
    fresh.close();
    return true;
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
    m_main->Load_Config();
    done(QDialog::Accepted);
}

void frmPaging::elementStored()
{
    lblFound->setText(foundText(++m_found));
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
