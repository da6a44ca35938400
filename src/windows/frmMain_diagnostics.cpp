// Diagnostics of the main window: ping, audio level, and the buttons that open the
// statistics and SFN windows.
#include "windows/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "windows/ButtonColour.h"
#include "windows/MessageBox.h"
#include "windows/VuMeter.h"
#include "windows/frmAdjust.h"
#include "windows/frmStatistics.h"

namespace {

const QColor kTrying(255, 255, 192);
const QColor kSuccess(0, 255, 0);
const QColor kFailure(255, 128, 128);

QString pingToolTip()
{
    return QStringLiteral("Test ping from NMS");
}

void showPing(QPushButton *button, const station::PingFace &face)
{
    button->setText(face.caption);
    setButtonBackground(button, face.state == station::PingFace::State::Success   ? kSuccess
                                : face.state == station::PingFace::State::Failure ? kFailure
                                                                                  : kTrying);
    if (!face.reason.isEmpty())
        button->setToolTip(face.reason);
}

} // namespace

void frmMain::wireDiagnostics()
{
    station::LevelMonitor &level = m_station.level();
    connect(&level, &station::LevelMonitor::shown, this, [this](const LevelDisplay &shown) {
        VUMeter->setWidthTwips(shown.widthTwips);
        lblVolume->setText(shown.text);
    });
    connect(&level, &station::LevelMonitor::stopped, this, [this](const platform::MessageSpec &message) {
        if (QAction *stop = toolbarButton(7); stop && stop->isEnabled())
            Toolbar1_ButtonClick(7);
        else
            chkGetVolume->setChecked(false);
        platform::showMessage(this, message);
    });

    connect(cmdPing, &QPushButton::clicked, this, &frmMain::cmdPing_Click);
    connect(chkGetVolume, &QCheckBox::toggled, this, &frmMain::chkGetVolume_Click);
    connect(Slider1, &QSlider::valueChanged, this, &frmMain::Slider1_Change);
    connect(cmdAdjust, &QPushButton::clicked, this, &frmMain::cmdAdjust_Click);
    connect(cmdGetStats, &QPushButton::clicked, this, &frmMain::cmdGetStats_Click);

    connect(&m_ping, &station::Ping::finished, this, [this](const station::PingFace &face, const QString &element) {
        // A result belongs to the element it was started for; a selection made meanwhile
        // has already reset the button, and this late answer must not overwrite it.
        if (element == lblElementMAC->text())
            showPing(cmdPing, face);
    });
}

// ---- ping ----------------------------------------------------------------------------

void frmMain::cmdPing_Click()
{
    // One echo at a time: while it is out the button reads "Trying..." and a further
    // click would only start a second, competing request.
    if (m_ping.isBusy())
        return;
    cmdPing->setToolTip(pingToolTip());
    showPing(cmdPing, {station::PingFace::State::Trying, QStringLiteral("Trying..."), QString(), false});
    PingElement(txtElementIP->text());
}

void frmMain::PingElement(const QString &address)
{
    showPing(cmdPing, m_ping.PingElement(address, lblElementMAC->text()));
}

void frmMain::cancelPendingPing()
{
    m_ping.cancel();
    cmdPing->setToolTip(pingToolTip());
}

// ---- audio level ---------------------------------------------------------------------

void frmMain::chkGetVolume_Click()
{
    if (chkGetVolume->isChecked())
        m_station.level().start(selectedSection());
    else
        m_station.level().stop();
}

void frmMain::ShowAudioLevel(const QByteArray &datagram)
{
    m_station.level().take(datagram);
}

void frmMain::Slider1_Change()
{
    m_station.level().setInterval(Slider1->value());
}

// ---- secondary windows ---------------------------------------------------------------

void frmMain::cmdAdjust_Click()
{
    frmAdjust adjust(selectedSection(), lblElementType->text(), this);
    if (adjust.isOpen())
        adjust.exec();
}

void frmMain::cmdGetStats_Click()
{
    frmStatistics statistics(selectedSection(), lblElementType->text(), this);
    if (statistics.isOpen())
        statistics.exec();
}
