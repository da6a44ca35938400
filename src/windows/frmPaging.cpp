#include "windows/frmPaging.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "windows/MessageBox.h"

namespace {

constexpr int kProgressStepMilliseconds = 100;

QString foundText(int count)
{
    return QStringLiteral("Elements found: %1").arg(count);
}

} // namespace

frmPaging::frmPaging(station::Station &station, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_run(station, /*store=*/true)
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

    progressTimer.setInterval(kProgressStepMilliseconds);
    connect(&progressTimer, &QTimer::timeout, this, &frmPaging::updateProgress);
    connect(&m_run, &station::DiscoveryRun::answerTaken, this,
            [this](int found) { lblFound->setText(foundText(found)); });
    connect(&m_run, &station::DiscoveryRun::finished, this, &frmPaging::Timer1_Timer);
}

int frmPaging::exec()
{
    const station::Result started = m_run.start();
    if (!started.ok()) {
        m_finished = true;
        platform::showMessage(parentWidget(), started.message);
        return QDialog::Rejected;
    }
    lblInterfaces->setText(QStringLiteral("Paged on: ") + m_run.pagedOn().join(QStringLiteral(", ")));
    progressTimer.start();
    return QDialog::exec();
}

void frmPaging::Timer1_Timer(const station::Result &result)
{
    progressTimer.stop();
    progress->setValue(kCollectMilliseconds);
    m_finished = true;
    if (!result.ok())
        platform::showMessage(parentWidget(), result.message);
    done(QDialog::Accepted);
}

void frmPaging::updateProgress()
{
    progress->setValue(int(qMin<qint64>(m_run.elapsedMs(), kCollectMilliseconds)));
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
    if (parentWidget()) {
        const QRect outer = parentWidget()->frameGeometry();
        move(outer.center() - rect().center());
    }
}
