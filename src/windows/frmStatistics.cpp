#include "windows/frmStatistics.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/AppDir.h"
#include "windows/MessageBox.h"
#include "windows/PlainLabel.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

frmStatistics::frmStatistics(const QString &section, const QString &elementType, QWidget *parent)
    : QDialog(parent)
    , m_exchange(station::StatusExchange::Kind::Statistics, station::ElementLink(section, platform::databasePath()),
                 elementType == QLatin1String("DECODER"), this)
    , udpClient2(m_exchange.socket())
{
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    buildControls();
    connect(cmdRefreshStats, &QPushButton::clicked, this, &frmStatistics::cmdRefreshStats_Click);
    connect(cmdResetStats, &QPushButton::clicked, this, &frmStatistics::cmdResetStats_Click);
    connect(&m_exchange, &station::StatusExchange::statisticsRead, this, &frmStatistics::ParseStatsResponse);
    connect(&m_exchange, &station::StatusExchange::unreadable, this,
            [this](const platform::MessageSpec &message) { platform::showMessage(this, message); });

    m_open = platform::showOutcome(this, m_exchange.open());
    if (!m_open)
        return;

    // '&' in a name is a character of the name, not an access key.
    QString name = m_exchange.element().read(QStringLiteral("name"));
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

void frmStatistics::cmdRefreshStats_Click()
{
    platform::showOutcome(this, m_exchange.request());
}

void frmStatistics::cmdResetStats_Click()
{
    const MsgAnswer answer = platform::showMessage(
        this, QStringLiteral("You will reset all counters to zero.\rAre you sure?"),
        MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("Reset counters"));
    if (answer != MsgAnswer::Yes)
        return;
    platform::showOutcome(this, m_exchange.reset());
}

void frmStatistics::udpClient2_DataArrival(const QByteArray &datagram)
{
    m_exchange.take(datagram);
}

void frmStatistics::ParseStatsResponse(const StatsValues &parsed)
{
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
}
