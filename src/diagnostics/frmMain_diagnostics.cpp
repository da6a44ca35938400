// Diagnostics of the main window: ping, audio level, and the buttons that open the
// statistics and SFN windows.
#include "app/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "store/ElementAddress.h"
#include "diagnostics/LevelBlock.h"
#include "diagnostics/PingStatus.h"
#include "diagnostics/VuMeter.h"
#include "diagnostics/frmStatistics.h"
#include "editor/ButtonColour.h"
#include "platform/MessageBox.h"
#include "sfn/frmAdjust.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

namespace {

const QColor kTrying(255, 255, 192);
const QColor kSuccess(0, 255, 0);
const QColor kFailure(255, 128, 128);
constexpr int kPingTimeoutMs = 3000;
// Level answers can arrive every millisecond; the text and bar follow at most at about
// the screen's pace.
constexpr int kLevelDisplayIntervalMs = 16;

QString pingToolTip()
{
    return QStringLiteral("Test ping from NMS");
}

} // namespace

void frmMain::wireDiagnostics()
{
    // A coarse timer below 50 ms is aligned to even milliseconds, which would halve the
    // request rate at the slider's fastest setting.
    tmrVolume.setTimerType(Qt::PreciseTimer);
    tmrLevelDisplay.setSingleShot(true);
    tmrLevelDisplay.setInterval(kLevelDisplayIntervalMs);
    connect(&tmrLevelDisplay, &QTimer::timeout, this, [this] {
        if (!tmrVolume.isActive())
            return;   // switched off meanwhile: the off state is already shown
        const LevelDisplay shown = levelDisplay(audioPeak);
        if (shown.widthTwips == VUMeter->widthTwips() && shown.text == lblVolume->text())
            return;   // nothing new: the next answer is shown at once
        VUMeter->setWidthTwips(shown.widthTwips);
        lblVolume->setText(shown.text);
        tmrLevelDisplay.start();   // and the ones after it no sooner than one interval on
    });

    connect(cmdPing, &QPushButton::clicked, this, &frmMain::cmdPing_Click);
    connect(chkGetVolume, &QCheckBox::toggled, this, &frmMain::chkGetVolume_Click);
    connect(&tmrVolume, &QTimer::timeout, this, &frmMain::SendLevelRequest);
    connect(Slider1, &QSlider::valueChanged, this, &frmMain::Slider1_Change);
    connect(cmdAdjust, &QPushButton::clicked, this, &frmMain::cmdAdjust_Click);
    connect(cmdGetStats, &QPushButton::clicked, this, &frmMain::cmdGetStats_Click);

    connect(&icmp, &platform::IcmpEcho::finished, this, [this](int status, quint32 roundTripMs) {
        // A result belongs to the element it was started for; a selection made meanwhile
        // has already reset the button, and this late answer must not overwrite it.
        const QString startedFor = m_pingElement;
        m_pingElement.clear();
        if (startedFor.isNull() || startedFor != lblElementMAC->text())
            return;
        if (GetStatusText(status) == QLatin1String("Success!")) {
            cmdPing->setText(QString::number(roundTripMs) + QStringLiteral(" ms"));
            setButtonBackground(cmdPing, kSuccess);
        } else {
            cmdPing->setText(QStringLiteral("Failed!"));
            setButtonBackground(cmdPing, kFailure);
        }
    });
}

// ---- ping ----------------------------------------------------------------------------

void frmMain::cmdPing_Click()
{
    // One echo at a time: while it is out the button reads "Trying..." and a further
    // click would only start a second, competing request.
    if (icmp.isBusy())
        return;
    cmdPing->setText(QStringLiteral("Trying..."));
    setButtonBackground(cmdPing, kTrying);
    cmdPing->setToolTip(pingToolTip());
    PingElement(txtElementIP->text());
}

void frmMain::PingElement(const QString &address)
{
    if (!IsValidIP(address))
        return;   // the button stays at "Trying..."

    const auto fail = [this](const QString &reason) {
        m_pingElement.clear();
        cmdPing->setText(QStringLiteral("Failed!"));
        setButtonBackground(cmdPing, kFailure);
        if (!reason.isEmpty())
            cmdPing->setToolTip(reason);
    };

    QStringList octets;
    for (const QString &part : SplitIP(address))
        octets << QString::number(part.trimmed().toInt());
    const QString dotted = octets.join(QLatin1Char('.'));
    // Neither is a host to ask: no request goes out for them.
    if (dotted == QLatin1String("0.0.0.0") || dotted == QLatin1String("255.255.255.255")) {
        fail(QString());
        return;
    }

    // The echo runs without holding the window; the answer comes back through
    // icmp.finished, checked there against the element it was started for.
    icmp.cancel();
    m_pingElement = lblElementMAC->text();
    if (!icmp.start(dotted, QByteArrayLiteral("hello"), kPingTimeoutMs))
        fail(icmp.failureReason());
}

void frmMain::cancelPendingPing()
{
    icmp.cancel();
    m_pingElement.clear();
    cmdPing->setToolTip(pingToolTip());
}

// ---- audio level ---------------------------------------------------------------------

void frmMain::chkGetVolume_Click()
{
    if (chkGetVolume->isChecked()) {
        levelPacer.restart(tmrVolume.interval());
        tmrVolume.start();
        return;
    }
    tmrVolume.stop();
    tmrLevelDisplay.stop();
    lblVolume->setText(QStringLiteral("-oodBFS"));
    VUMeter->setWidthTwips(0);
}

void frmMain::SendLevelRequest()
{
    // The main socket stays bound on 2976 for the program's life: the request leaves from
    // it and the answer comes back to it, where udpClient_DataArrival routes it here.
    const ElementAddress target =
        elementAddress(ReadFromINI(selectedSection(), QStringLiteral("ip"), iniPath()));
    QString problem = target.problem;
    if (target.usable()) {
        // Usually one request; a tick that came late also sends the few it is behind.
        QString error;
        bool sent = true;
        for (int due = levelPacer.requestsDue(); sent && due > 0; --due)
            sent = udpClient.sendTo(levelRequest(), target.address, 2977, &error);
        if (sent)
            return;
        problem = QStringLiteral("The level request to %1 could not be sent: %2.")
                      .arg(target.address, error);
    }
    // Stop first: the message box runs its own event loop, in which further ticks would
    // otherwise pile up one box on another.
    if (QAction *stop = toolbarButton(7); stop && stop->isEnabled())
        Toolbar1_ButtonClick(7);
    else
        chkGetVolume->setChecked(false);
    platform::showMessage(this, problem + QStringLiteral("\rAudio monitoring has been stopped."),
                          platform::MsgIcon::Critical);
}

void frmMain::ShowAudioLevel(const QByteArray &datagram)
{
    // The block is read whole: nothing else runs in the middle of it.
    audioPeak = levelPeak(datagram);
    if (!tmrVolume.isActive()) {
        tmrLevelDisplay.stop();
        lblVolume->setText(QStringLiteral("-oodBFS"));
        VUMeter->setWidthTwips(0);
        return;
    }
    // The first answer after a quiet spell is shown at once; those that follow within the
    // display interval only update audioPeak, and the timer shows the latest of them.
    if (tmrLevelDisplay.isActive())
        return;
    const LevelDisplay shown = levelDisplay(audioPeak);
    VUMeter->setWidthTwips(shown.widthTwips);
    lblVolume->setText(shown.text);
    tmrLevelDisplay.start();
}

void frmMain::Slider1_Change()
{
    tmrVolume.setInterval(qBound(1, Slider1->value(), 500));
    levelPacer.restart(tmrVolume.interval());
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
