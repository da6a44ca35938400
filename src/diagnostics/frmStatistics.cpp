#include "diagnostics/frmStatistics.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "diagnostics/ElementCommand.h"
#include "app/PlainLabel.h"
#include "platform/AppDir.h"
#include "platform/MessageBox.h"
#include "platform/ProgramExit.h"
#include "store/IniStore.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

constexpr quint16 kStatsPort = 2978;
constexpr int kLongestRecord = 61;

} // namespace

frmStatistics::frmStatistics(const QString &section, const QString &elementType, QWidget *parent)
    : QDialog(parent)
    , udpClient2(this)
    , m_section(section)
    , m_elementType(elementType)
{
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    buildControls();
    connect(cmdRefreshStats, &QPushButton::clicked, this, &frmStatistics::cmdRefreshStats_Click);
    connect(cmdResetStats, &QPushButton::clicked, this, &frmStatistics::cmdResetStats_Click);
    connect(&udpClient2, &platform::UdpPort::datagramReceived, this,
            &frmStatistics::udpClient2_DataArrival);

    if (!udpClient2.bind(kStatsPort)) {
        platform::showMessage(this, QStringLiteral("Error 2: Unable to use UDP port 2978: occupied."),
                              MsgIcon::Critical);
        platform::endProgram(1);
        return;
    }
    udpClient2.setRemotePort(kStatsPort);
    m_open = true;

    // '&' in a name is a character of the name, not an access key.
    QString name = ReadFromINI(m_section, QStringLiteral("name"), platform::databasePath());
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    frmStats->setTitle(name + QLatin1Char(':'));
    cmdRefreshStats_Click();
}

void frmStatistics::buildControls()
{
    auto *outer = new QVBoxLayout(this);
    frmStats = new QGroupBox(this);
    frmStats->setObjectName(QStringLiteral("frmStats"));
    auto *grid = new QGridLayout(frmStats);

    struct Row {
        QLabel **value;
        const char *name;
        const char *caption;
    };
    const Row rows[] = {
        {&lblMACTxOK, "lblMACTxOK", "Good TX Frames:"},
        {&lblMACTxErr, "lblMACTxErr", "Bad TX Frames:"},
        {&lblMACRxOK, "lblMACRxOK", "Good RX Frames:"},
        {&lblMACRxErr, "lblMACRxErr", "Bad RX Frames:"},
        {&lblAudioRxFramesOK, "lblAudioRxFramesOK", "OK Audio Frames:"},
        {&lblAudioRxFramesErr, "lblAudioRxFramesErr", "Bad Audio Frames:"},
        {&lblPTPRxOK, "lblPTPRxOK", "Good PTP Sync:"},
        {&lblPTPRxErr, "lblPTPRxErr", "Bad PTP Sync:"},
        {&lblPTPClkAdj, "lblPTPClkAdj", "Clock Difference:"},
        {&lblPTPLatency, "lblPTPLatency", "Measured delay:"},
    };
    int row = 0;
    for (const Row &r : rows) {
        *r.value = plainLabel(QStringLiteral("-"), frmStats);
        (*r.value)->setObjectName(QString::fromLatin1(r.name));
        (*r.value)->setMinimumWidth(120);
        grid->addWidget(plainLabel(QString::fromLatin1(r.caption), frmStats), row, 0);
        grid->addWidget(*r.value, row, 1);
        ++row;
    }
    outer->addWidget(frmStats);

    auto *buttons = new QHBoxLayout;
    cmdRefreshStats = new QPushButton(QStringLiteral("&Refresh"), this);
    cmdRefreshStats->setObjectName(QStringLiteral("cmdRefreshStats"));
    cmdRefreshStats->setToolTip(QStringLiteral("Fetch counters"));
    cmdRefreshStats->setAutoDefault(false);
    cmdResetStats = new QPushButton(QStringLiteral("&Clear"), this);
    cmdResetStats->setObjectName(QStringLiteral("cmdResetStats"));
    cmdResetStats->setToolTip(QStringLiteral("Reset counters to zero"));
    cmdResetStats->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(cmdRefreshStats);
    buttons->addWidget(cmdResetStats);
    outer->addLayout(buttons);
}

bool frmStatistics::send(const QByteArray &command, const QString &consequence)
{
    const QString problem = sendToStoredAddress(udpClient2, m_section, command, kStatsPort);
    if (problem.isEmpty())
        return true;
    platform::showMessage(this, problem + QLatin1Char('\r') + consequence, MsgIcon::Critical);
    return false;
}

void frmStatistics::cmdRefreshStats_Click()
{
    send(QByteArrayLiteral("GetStats"), QStringLiteral("The counters were not requested."));
}

void frmStatistics::cmdResetStats_Click()
{
    const MsgAnswer answer = platform::showMessage(
        this, QStringLiteral("You will reset all counters to zero.\rAre you sure?"),
        MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("Reset counters"));
    if (answer != MsgAnswer::Yes)
        return;
    send(QByteArrayLiteral("RstStats"), QStringLiteral("The counters were not reset."));
}

void frmStatistics::udpClient2_DataArrival(const QByteArray &datagram)
{
    if (datagram.size() <= kLongestRecord)
        ParseStatsResponse(datagram);
}

void frmStatistics::ParseStatsResponse(const QByteArray &record)
{
    // "sfn" is read again for every record: the database is the only store.
    const QString sfn = ReadFromINI(m_section, QStringLiteral("sfn"), platform::databasePath(),
                                    QStringLiteral("0"));
    const StatsValues parsed = parseStatsResponse(record, sfn, m_elementType == QLatin1String("DECODER"),
                                                  m_responses);
    m_responses = parsed.variables;
    const StatsLabels &l = parsed.labels;
    const std::pair<const std::optional<QString> &, QLabel *> targets[] = {
        {l.lblMACTxOK, lblMACTxOK},     {l.lblMACTxErr, lblMACTxErr},
        {l.lblMACRxOK, lblMACRxOK},     {l.lblMACRxErr, lblMACRxErr},
        {l.lblPTPRxOK, lblPTPRxOK},     {l.lblPTPRxErr, lblPTPRxErr},
        {l.lblPTPClkAdj, lblPTPClkAdj}, {l.lblPTPLatency, lblPTPLatency},
        {l.lblAudioRxFramesOK, lblAudioRxFramesOK},
        {l.lblAudioRxFramesErr, lblAudioRxFramesErr},
    };
    for (const auto &[text, label] : targets) {
        if (text)
            label->setText(*text);
    }
    if (parsed.failed)
        platform::showOncePerKind(this, QString(),
                                  QStringLiteral("Error 5 while retrieving values. Please reset the "
                                                 "device and try again."),
                                  MsgIcon::Critical);
}
