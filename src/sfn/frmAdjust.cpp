#include "sfn/frmAdjust.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "diagnostics/ElementCommand.h"
#include "app/PlainLabel.h"
#include "platform/AppDir.h"
#include "platform/MessageBox.h"
#include "platform/ProgramExit.h"
#include "platform/Settings.h"
#include "sfn/StatusRecord.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

constexpr quint16 kDelayPort = 2978;
constexpr int kDelayStepsMax = 25000;   // 100 ns steps: 0 to 2.5 ms

QLabel *valueLabel(const char *name, QWidget *parent)
{
    QLabel *label = plainLabel(QStringLiteral("-"), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(140);
    return label;
}

} // namespace

frmAdjust::frmAdjust(const QString &section, const QString &elementType, QWidget *parent)
    : QDialog(parent)
    , udpClient3(this)
    , Timer1(this)
    , Timer2(this)
    , m_section(section)
    , m_elementType(elementType)
{
    setObjectName(QStringLiteral("frmAdjust"));
    setWindowTitle(QStringLiteral("SFN Adjustment"));
    Timer1.setInterval(250);
    Timer1.setSingleShot(true);
    Timer2.setInterval(1000);
    buildControls();

    connect(cmdRefresh, &QPushButton::clicked, this, &frmAdjust::cmdRefresh_Click);
    connect(cmdResetStats, &QPushButton::clicked, this, &frmAdjust::cmdResetStats_Click);
    connect(cmdSet, &QPushButton::clicked, this, &frmAdjust::cmdSet_Click);
    connect(&Timer1, &QTimer::timeout, this, &frmAdjust::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &frmAdjust::cmdRefresh_Click);
    connect(chkAutoUpdate, &QCheckBox::toggled, this, &frmAdjust::chkAutoUpdate_Click);
    // A record that flips the servo box or moves the slider goes the operator's way and
    // stops auto refresh too; toggled/valueChanged fire only on a real change.
    connect(chkAutoServo, &QCheckBox::toggled, this, &frmAdjust::chkAutoServo_Click);
    connect(scrlAdditionalDelay, &QScrollBar::valueChanged, this,
            &frmAdjust::scrlAdditionalDelay_Change);
    // The stored setting follows the operator's clicks only.
    connect(chkAutoClear, &QCheckBox::clicked, this, &frmAdjust::chkAutoClear_Click);
    connect(&udpClient3, &platform::UdpPort::datagramReceived, this,
            &frmAdjust::udpClient3_DataArrival);

    // Opening, in this order.
    UnsavedParameters = false;
    for (QLabel *label : {lblCurrentDelayMIN, lblCurrentDelayMAX, lblCurrentDelayAVG, lblDelaySumMIN,
                          lblDelaySumMAX, lblDelaySumAVG, lblAdditionalDelay, lblFixedLatencyAUDIO,
                          lblFixedLatencyMAC})
        label->setText(QStringLiteral("-"));
    chkAutoClear->setChecked(
        platform::settingAsNumber(platform::readSetting(QStringLiteral("AutoClearCounters"),
                                                        QStringLiteral("0")))
        == 1);
    const QString path = platform::databasePath();
    // The station writes only 0..25000 and "0"/"1"; anything else found in the file is
    // taken at its nearest sensible value rather than trusted.
    const double dly = leadingNumber(ReadFromINI(m_section, QStringLiteral("dly"), path,
                                                 QStringLiteral("0")));
    scrlAdditionalDelay->setValue(int(qBound(0.0, dly, double(kDelayStepsMax))));
    chkAutoServo->setChecked(
        leadingNumber(ReadFromINI(m_section, QStringLiteral("srv"), path, QStringLiteral("0"))) == 1.0);
    UpdateAdditionalDelay();
    if (!udpClient3.bind(kDelayPort)) {
        platform::showMessage(this, QStringLiteral("Unable to use UDP port 2978: occupied."),
                              MsgIcon::Critical);
        platform::endProgram(1);
        return;
    }
    udpClient3.setRemotePort(kDelayPort);
    m_open = true;
    cmdRefresh_Click();
}

void frmAdjust::buildControls()
{
    auto *outer = new QVBoxLayout(this);

    Frame1 = new QGroupBox(QStringLiteral("Measurements:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *grid1 = new QGridLayout(Frame1);
    lblCurrentDelayMIN = valueLabel("lblCurrentDelayMIN", Frame1);
    lblCurrentDelayMAX = valueLabel("lblCurrentDelayMAX", Frame1);
    lblCurrentDelayAVG = valueLabel("lblCurrentDelayAVG", Frame1);
    lblFixedLatencyMAC = valueLabel("lblFixedLatencyMAC", Frame1);
    lblFixedLatencyAUDIO = valueLabel("lblFixedLatencyAUDIO", Frame1);
    lblDelaySumMIN = valueLabel("lblDelaySumMIN", Frame1);
    lblDelaySumMAX = valueLabel("lblDelaySumMAX", Frame1);
    lblDelaySumAVG = valueLabel("lblDelaySumAVG", Frame1);
    const std::pair<const char *, QLabel *> rows[] = {
        {"Network latency (MIN):", lblCurrentDelayMIN},
        {"Network latency (MAX):", lblCurrentDelayMAX},
        {"Network latency (AVG):", lblCurrentDelayAVG},
        {"MAC interface latency:", lblFixedLatencyMAC},
        {"Audio interface latency:", lblFixedLatencyAUDIO},
        {"Latency summary (MIN):", lblDelaySumMIN},
        {"Latency summary (MAX):", lblDelaySumMAX},
        {"Latency summary (AVG):", lblDelaySumAVG},
    };
    int row = 0;
    for (const auto &[caption, label] : rows) {
        grid1->addWidget(plainLabel(QString::fromLatin1(caption), Frame1), row, 0);
        grid1->addWidget(label, row, 1);
        ++row;
    }
    chkAutoUpdate = new QCheckBox(QStringLiteral("&Auto"), Frame1);
    chkAutoUpdate->setObjectName(QStringLiteral("chkAutoUpdate"));
    chkAutoUpdate->setToolTip(QStringLiteral("Auto refresh (every 1 sec)"));
    cmdResetStats = new QPushButton(QStringLiteral("&Clear"), Frame1);
    cmdResetStats->setObjectName(QStringLiteral("cmdResetStats"));
    cmdResetStats->setToolTip(QStringLiteral("Reset counters to zero"));
    cmdResetStats->setAutoDefault(false);
    cmdRefresh = new QPushButton(QStringLiteral("&Refresh"), Frame1);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdRefresh->setAutoDefault(false);
    auto *buttons1 = new QHBoxLayout;
    buttons1->addWidget(chkAutoUpdate);
    buttons1->addStretch(1);
    buttons1->addWidget(cmdResetStats);
    buttons1->addWidget(cmdRefresh);
    grid1->addLayout(buttons1, row, 0, 1, 2);
    outer->addWidget(Frame1);

    Frame2 = new QGroupBox(QStringLiteral("Adjustments:"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    auto *grid2 = new QGridLayout(Frame2);
    scrlAdditionalDelay = new QScrollBar(Qt::Horizontal, Frame2);
    scrlAdditionalDelay->setObjectName(QStringLiteral("scrlAdditionalDelay"));
    scrlAdditionalDelay->setRange(0, kDelayStepsMax);
    scrlAdditionalDelay->setSingleStep(1);
    scrlAdditionalDelay->setPageStep(100);
    scrlAdditionalDelay->setMinimumWidth(200);
    scrlAdditionalDelay->setFocusPolicy(Qt::StrongFocus);
    // QScrollBar inverts its arrow keys by default; Right must add delay, as the bar shows.
    scrlAdditionalDelay->setInvertedControls(false);
    lblAdditionalDelay = valueLabel("lblAdditionalDelay", Frame2);
    grid2->addWidget(plainLabel(QStringLiteral("Latency compensation:"), Frame2), 0, 0);
    grid2->addWidget(scrlAdditionalDelay, 0, 1);
    grid2->addWidget(lblAdditionalDelay, 0, 2);
    chkAutoServo = new QCheckBox(QStringLiteral("Auto &delay compensation"), Frame2);
    chkAutoServo->setObjectName(QStringLiteral("chkAutoServo"));
    chkAutoServo->setToolTip(QStringLiteral("Enables auto compansation of Network latency"));
    chkAutoClear = new QCheckBox(QStringLiteral("Auto clea&r counters"), Frame2);
    chkAutoClear->setObjectName(QStringLiteral("chkAutoClear"));
    chkAutoClear->setToolTip(QStringLiteral("Clear counters after each 'Set' command"));
    cmdSet = new QPushButton(QStringLiteral("&Set"), Frame2);
    cmdSet->setObjectName(QStringLiteral("cmdSet"));
    cmdSet->setAutoDefault(false);
    grid2->addWidget(chkAutoServo, 1, 0, 1, 3);
    grid2->addWidget(chkAutoClear, 2, 0, 1, 2);
    grid2->addWidget(cmdSet, 2, 2);
    outer->addWidget(Frame2);
}

void frmAdjust::stopAutoRefresh()
{
    chkAutoUpdate->setChecked(false);
    Timer2.stop();
}

bool frmAdjust::send(const QByteArray &command, const QString &consequence)
{
    const QString problem = sendToStoredAddress(udpClient3, m_section, command, kDelayPort);
    if (problem.isEmpty())
        return true;
    // Before the box: its event loop would otherwise let the next refresh tick stack a
    // second box on this one.
    stopAutoRefresh();
    platform::showMessage(this, problem + QLatin1Char('\r') + consequence, MsgIcon::Critical);
    return false;
}

void frmAdjust::cmdRefresh_Click()
{
    send(QByteArrayLiteral("GetDel"), QStringLiteral("The values were not requested."));
}

void frmAdjust::cmdResetStats_Click()
{
    stopAutoRefresh();
    const MsgAnswer answer = platform::showMessage(
        this, QStringLiteral("You will reset all counters to zero.\rAre you sure?"),
        MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("Reset counters"));
    if (answer != MsgAnswer::Yes)
        return;
    send(QByteArrayLiteral("RstStats"), QStringLiteral("The counters were not reset."));
}

void frmAdjust::cmdSet_Click()
{
    stopAutoRefresh();
    if (!send(encodeSetDelay(AdditionalDelayNs, chkAutoServo->isChecked()),
              QStringLiteral("The delay was not set.")))
        return;   // nothing reached the element: nothing to reset, nothing unsaved
    if (chkAutoClear->isChecked())
        Timer1.start();
    UnsavedParameters = true;
}

void frmAdjust::Timer1_Timer()
{
    Timer1.stop();
    send(QByteArrayLiteral("RstStats"), QStringLiteral("The counters were not reset."));
}

void frmAdjust::chkAutoUpdate_Click()
{
    if (chkAutoUpdate->isChecked())
        Timer2.start();
    else
        Timer2.stop();
}

void frmAdjust::chkAutoServo_Click()
{
    stopAutoRefresh();   // the new state goes out with the next set-delay command
}

void frmAdjust::chkAutoClear_Click()
{
    stopAutoRefresh();
    platform::writeSetting(QStringLiteral("AutoClearCounters"),
                           chkAutoClear->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmAdjust::scrlAdditionalDelay_Change()
{
    stopAutoRefresh();
    UpdateAdditionalDelay();
}

void frmAdjust::UpdateAdditionalDelay()
{
    AdditionalDelayNs = scrlAdditionalDelay->value() * 100;
    lblAdditionalDelay->setText(FormatNanoseconds(AdditionalDelayNs));
}

void frmAdjust::udpClient3_DataArrival(const QByteArray &datagram)
{
    if (datagram.size() == kStatusRecordLength)
        ParseDelayResponse(datagram);
}

void frmAdjust::ParseDelayResponse(const QByteArray &record)
{
    const QString sfn = ReadFromINI(m_section, QStringLiteral("sfn"), platform::databasePath(),
                                    QStringLiteral("0"));
    const DelayResponse r =
        parseDelayResponse(record, sfn, m_elementType == QLatin1String("DECODER"),
                           scrlAdditionalDelay->minimum(), scrlAdditionalDelay->maximum(), m_responses);
    m_responses = r.variables;

    lblFixedLatencyMAC->setText(r.lblFixedLatencyMAC);
    lblFixedLatencyAUDIO->setText(r.lblFixedLatencyAUDIO);
    // The slider's own change handler recomputes AdditionalDelayNs and its label.
    if (r.sliderValue)
        scrlAdditionalDelay->setValue(*r.sliderValue);
    if (r.additionalDelayNs)
        AdditionalDelayNs = *r.additionalDelayNs;
    if (r.lblAdditionalDelay)
        lblAdditionalDelay->setText(*r.lblAdditionalDelay);
    if (r.autoServoChecked)
        chkAutoServo->setChecked(*r.autoServoChecked);
    if (r.autoServoCaption)
        chkAutoServo->setText(*r.autoServoCaption);
    const std::pair<const std::optional<QString> &, QLabel *> targets[] = {
        {r.lblCurrentDelayAVG, lblCurrentDelayAVG}, {r.lblDelaySumAVG, lblDelaySumAVG},
        {r.lblCurrentDelayMIN, lblCurrentDelayMIN}, {r.lblDelaySumMIN, lblDelaySumMIN},
        {r.lblCurrentDelayMAX, lblCurrentDelayMAX}, {r.lblDelaySumMAX, lblDelaySumMAX},
    };
    for (const auto &[text, label] : targets) {
        if (text)
            label->setText(*text);
    }
    if (r.failed) {
        // Each refresh tick would bring the same record and another box on top of this one.
        stopAutoRefresh();
        platform::showOncePerKind(this, QString(),
                                  QStringLiteral("Error 4 while retrieving values. Please reset the "
                                                 "device and try again."),
                                  MsgIcon::Critical);
    }
}

void frmAdjust::done(int result)
{
    Timer1.stop();
    Timer2.stop();
    if (UnsavedParameters) {
        UnsavedParameters = false;
        WriteManyToINI(m_section,
                       {{QStringLiteral("dly"), QString::number(AdditionalDelayNs / 100)},
                        {QStringLiteral("srv"), chkAutoServo->isChecked() ? QStringLiteral("1")
                                                                          : QStringLiteral("0")}},
                       platform::databasePath());
        platform::showMessage(this,
                              QStringLiteral("There are unsaved parameters. Don't forget to click "
                                             "the 'Save' button."),
                              MsgIcon::Information);
    }
    QDialog::done(result);
}
