#include "windows/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "editor/AudioDisplay.h"
#include "platform/AppDir.h"
#include "station/About.h"
#include "station/ElementStore.h"
#include "windows/Images.h"
#include "windows/MessageBox.h"
#include "windows/PlainLabel.h"
#include "windows/VuMeter.h"
#include "windows/frmEventLog.h"
#include "windows/frmPaging.h"

using platform::MsgButtons;
using platform::MsgIcon;

namespace {

QScrollBar *horizontalScrollBar(int minimum, int maximum, int value, QWidget *parent)
{
    auto *bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setRange(minimum, maximum);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    bar->setValue(value);
    bar->setMinimumWidth(140);
    return bar;
}

QComboBox *dropDownList(const QStringList &items, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    return combo;
}

// An element's node says, when asked, whether and when the element was last heard: the
// tool tip's "12 s ago" is always the present one, and nothing ticks while nobody looks.
class ElementNode : public QTreeWidgetItem {
public:
    ElementNode(const station::Presence &presence, const station::ElementCheck &check, const QString &ip)
        : QTreeWidgetItem()
        , m_presence(presence)
        , m_check(check)
        , m_ip(ip)
    {
    }
    QVariant data(int column, int role) const override
    {
        if (column != 0 || (role != Qt::ToolTipRole && role != Qt::ForegroundRole && role != frmMain::kPresenceRole))
            return QTreeWidgetItem::data(column, role);
        const std::optional<bool> checked = m_check.result(QTreeWidgetItem::data(0, Qt::UserRole).toString());
        const bool silent = checked && !*checked;
        const bool heard = m_presence.wasHeard(m_ip);
        if (role == frmMain::kPresenceRole)
            return silent ? QStringLiteral("silent") : heard ? QStringLiteral("on line") : QStringLiteral("not heard");
        if (role == Qt::ToolTipRole)
            return m_presence.text(m_ip) + (silent ? QStringLiteral("; silent at the last check") : QString());
        if ((silent || !heard) && treeWidget())
            return treeWidget()->palette().brush(QPalette::Disabled, QPalette::Text);
        return QTreeWidgetItem::data(column, role);
    }

private:
    const station::Presence &m_presence;
    const station::ElementCheck &m_check;
    QString m_ip;
};

} // namespace

frmMain::frmMain(bool gpsdoVersion, bool lowLatencyOption, QWidget *parent)
    : QMainWindow(parent)
    , m_station(this)
    , GPSDOVersion(gpsdoVersion)
    , LowLatencyOption(lowLatencyOption)
    , udpClient(m_station.socket())
    , m_ping(this)
    , m_check(m_station.presence(), this)
{
    setObjectName(QStringLiteral("frmMain"));
    m_station.config().setBufferMaximum(audio::bufferMaximum(GPSDOVersion, LowLatencyOption));

    buildHelpMenu();
    buildToolbar();
    buildEventLogActions();
    auto *central = new QWidget(this);
    auto *columns = new QHBoxLayout(central);
    buildTreeFrame();
    columns->addWidget(frmTreeView, 2);
    auto *right = new QVBoxLayout;
    buildPropertiesFrame();
    buildDiagnosticsFrame();
    right->addWidget(frmProperties);
    right->addWidget(frmDiagnostics);
    right->addStretch(1);
    columns->addLayout(right, 3);
    setCentralWidget(central);
    setWindowTitle(titleFor(GPSDOVersion, LowLatencyOption));
    setWindowIcon(images::applicationIcon());

    wireEditor();
    wireProtocol();
    wireDiagnostics();
}

frmMain::~frmMain() = default;

QString frmMain::iniPath()
{
    return platform::databasePath();
}

QString frmMain::titleFor(bool gpsdoVersion, bool lowLatencyOption)
{
    const QString version = QStringLiteral("Brivolte NMS v.%1.%2.%3")
                                .arg(BRIVOLTE_VERSION_MAJOR)
                                .arg(BRIVOLTE_VERSION_MINOR)
                                .arg(BRIVOLTE_VERSION_REVISION);
    if (gpsdoVersion)
        return version + QStringLiteral(" [GPSDO version] - Quorvane Broadcast");
    if (lowLatencyOption)
        return version + QStringLiteral(" [Low Latency Option] - Quorvane Broadcast");
    return version + QStringLiteral(" - Quorvane Broadcast");
}

station::Result frmMain::bindMainSocket()
{
    return m_station.open();
}

void frmMain::applyTitleAndBufferMaximum()
{
    setWindowTitle(titleFor(GPSDOVersion, LowLatencyOption));
    scrlBuffer->setMaximum(audio::bufferMaximum(GPSDOVersion, LowLatencyOption));
}

// ---- construction ------------------------------------------------------------------

void frmMain::buildToolbar()
{
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setIconSize(QSize(16, 16));
    struct Button {
        const char *toolTip;
        int image;   // 0: separator
    };
    const Button buttons[] = {
        {"Auto discover elements", 1}, {"Refresh list", 2},       {nullptr, 0},
        {"Save changes", 3},           {nullptr, 0},              {"Start audio monitoring", 4},
        {"Stop audio monitoring", 5},
    };
    for (int i = 0; i < 7; ++i) {
        if (!buttons[i].toolTip) {
            Toolbar1->addSeparator();
            m_toolbarButtons.append(nullptr);
            continue;
        }
        QAction *action = Toolbar1->addAction(images::imageList(buttons[i].image),
                                              QString::fromLatin1(buttons[i].toolTip));
        action->setToolTip(QString::fromLatin1(buttons[i].toolTip));
        action->setObjectName(QStringLiteral("Toolbar1Button%1").arg(i + 1));
        const int number = i + 1;
        connect(action, &QAction::triggered, this, [this, number] { Toolbar1_ButtonClick(number); });
        m_toolbarButtons.append(action);
    }
}

void frmMain::buildHelpMenu()
{
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Open database folder"), this, &frmMain::openDatabaseFolder);
    help->addSeparator();
    help->addAction(QStringLiteral("About"), this, &frmMain::showAbout);
}

void frmMain::showAbout()
{
    platform::showMessage(this, station::aboutBox(station::currentAboutFacts()));
}

void frmMain::openDatabaseFolder()
{
    const QString folder = platform::applicationDirectory();
    // Without a file manager (a bare site laptop) the operator still learns where it is.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        platform::showMessage(this,
                              QStringLiteral("No program could open the database folder:\r%1")
                                  .arg(QDir::toNativeSeparators(folder)),
                              MsgIcon::Information);
}

QAction *frmMain::toolbarButton(int index) const
{
    if (index < 1 || index > m_toolbarButtons.size())
        return nullptr;
    return m_toolbarButtons.at(index - 1);
}

void frmMain::buildEventLogActions()
{
    actEventLog = new QAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Event log"), this);
    actEventLog->setObjectName(QStringLiteral("actEventLog"));
    actEventLog->setEnabled(station::EventLog::instance() != nullptr);
    connect(actEventLog, &QAction::triggered, this, &frmMain::openEventLog);
    actCheckElements = new QAction(style()->standardIcon(QStyle::SP_BrowserReload), QStringLiteral("Check elements"), this);
    actCheckElements->setObjectName(QStringLiteral("actCheckElements"));
    connect(actCheckElements, &QAction::triggered, this, &frmMain::checkElements);
    Toolbar1->addSeparator();
    Toolbar1->addAction(actCheckElements);
    Toolbar1->addAction(actEventLog);
    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->addAction(actCheckElements);
    tools->addAction(actEventLog);

    lblCheckElements = new QLabel(this);
    lblCheckElements->setObjectName(QStringLiteral("lblCheckElements"));
    statusBar()->addPermanentWidget(lblCheckElements);
    connect(&m_check, &station::ElementCheck::checked, this, [this] { TreeView1->viewport()->update(); });
    connect(&m_check, &station::ElementCheck::finished, this, [this] {
        lblCheckElements->setText(m_check.summary());
        actCheckElements->setEnabled(true);
    });
    connect(&m_station.presence(), &station::Presence::firstHeard, this, [this] { TreeView1->viewport()->update(); });
    connect(&m_ping, &station::Ping::heard, &m_station.presence(), [this](const QString &address) {
        m_station.presence().heard(address);
    });
}

frmEventLog *frmMain::openEventLog()
{
    const station::EventLog *log = station::EventLog::instance();
    if (!log)
        return nullptr;
    if (!m_eventLog)
        m_eventLog = new frmEventLog(*log, this);
    m_eventLog->show();
    m_eventLog->raise();
    m_eventLog->activateWindow();
    return m_eventLog;
}

void frmMain::checkElements()
{
    const QList<station::StoredElement> elements = station::listElements(iniPath()).elements;
    actCheckElements->setEnabled(false);
    lblCheckElements->setText(QStringLiteral("Check elements: %1 being pinged…").arg(elements.size()));
    m_check.start(elements);
}

void frmMain::buildTreeFrame()
{
    frmTreeView = new QGroupBox(QStringLiteral("Elements"), this);
    frmTreeView->setObjectName(QStringLiteral("frmTreeView"));
    auto *layout = new QVBoxLayout(frmTreeView);
    TreeView1 = new QTreeWidget(frmTreeView);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setColumnCount(1);
    TreeView1->setMinimumWidth(260);
    layout->addWidget(TreeView1);
}

void frmMain::buildPropertiesFrame()
{
    frmProperties = new QGroupBox(QStringLiteral("Element properties:"), this);
    frmProperties->setObjectName(QStringLiteral("frmProperties"));
    auto *grid = new QGridLayout(frmProperties);
    int row = 0;
    auto addRow = [&](QLabel *label, QWidget *control, QWidget *extra = nullptr) {
        grid->addWidget(label, row, 0);
        if (extra) {
            auto *box = new QHBoxLayout;
            box->addWidget(control, 1);
            box->addWidget(extra);
            grid->addLayout(box, row, 1);
        } else {
            grid->addWidget(control, row, 1);
        }
        ++row;
    };

    txtElementName = new QLineEdit(frmProperties);
    txtElementName->setMaxLength(16);
    txtElementName->setToolTip(QStringLiteral("Max 16 chars"));
    addRow(plainLabel(QStringLiteral("System name:"), frmProperties), txtElementName);

    lblElementType = plainLabel(QStringLiteral("-"), frmProperties);
    addRow(plainLabel(QStringLiteral("System type:"), frmProperties), lblElementType);

    txtElementIP = new QLineEdit(frmProperties);
    txtElementIP->setMaxLength(15);
    addRow(plainLabel(QStringLiteral("System IP:"), frmProperties), txtElementIP);

    txtElementMask = new QLineEdit(frmProperties);
    txtElementMask->setMaxLength(15);
    addRow(plainLabel(QStringLiteral("Network mask:"), frmProperties), txtElementMask);

    lblElementMAC = plainLabel(QStringLiteral("-"), frmProperties);
    addRow(plainLabel(QStringLiteral("MAC address:"), frmProperties), lblElementMAC);

    txtElementGW = new QLineEdit(frmProperties);
    txtElementGW->setMaxLength(15);
    addRow(plainLabel(QStringLiteral("Gateway IP:"), frmProperties), txtElementGW);

    Label7 = plainLabel(QStringLiteral("Remote IP:"), frmProperties);
    txtRemoteIP = new QLineEdit(frmProperties);
    txtRemoteIP->setMaxLength(15);
    addRow(Label7, txtRemoteIP);

    txtVLAN_OM = new QLineEdit(QStringLiteral("1"), frmProperties);
    txtVLAN_OM->setMaxLength(4);
    txtVLAN_OM->setToolTip(QStringLiteral("Range: 1-4095"));
    txtVLAN_OM->setEnabled(false);
    txtVLAN_Audio = new QLineEdit(QStringLiteral("1"), frmProperties);
    txtVLAN_Audio->setMaxLength(4);
    txtVLAN_Audio->setToolTip(QStringLiteral("Range: 1-4095"));
    txtVLAN_Audio->setEnabled(false);
    {
        auto *vlan = new QHBoxLayout;
        vlan->addWidget(txtVLAN_OM);
        vlan->addWidget(plainLabel(QStringLiteral("Audio:"), frmProperties));
        vlan->addWidget(txtVLAN_Audio);
        auto *label = new QLabel(QStringLiteral("VLAN O&&M:"), frmProperties);
        grid->addWidget(label, row, 0);
        grid->addLayout(vlan, row, 1);
        ++row;
    }

    cmbAudioType = dropDownList({QStringLiteral("Left/Right"), QStringLiteral("MPX")}, frmProperties);
    addRow(plainLabel(QStringLiteral("Audio type:"), frmProperties), cmbAudioType);

    Label9 = plainLabel(QStringLiteral("Audio source:"), frmProperties);
    cmbAudioInput = dropDownList({QStringLiteral("Digital"), QStringLiteral("Analog")}, frmProperties);
    scrlAtten = horizontalScrollBar(audio::kAttenMute, audio::kAttenFull, audio::kAttenFull, frmProperties);
    scrlAtten->setVisible(false);
    lblAttenDB = plainLabel(QStringLiteral("dB"), frmProperties);
    lblAttenDB->setVisible(false);
    lblAttenDB->setMinimumWidth(60);
    {
        auto *box = new QHBoxLayout;
        box->addWidget(cmbAudioInput, 1);
        box->addWidget(scrlAtten, 1);
        box->addWidget(lblAttenDB);
        grid->addWidget(Label9, row, 0);
        grid->addLayout(box, row, 1);
        ++row;
    }

    cmbAudioTX = dropDownList({QStringLiteral("Unicast"), QStringLiteral("Multicast")}, frmProperties);
    addRow(plainLabel(QStringLiteral("TX type:"), frmProperties), cmbAudioTX);

    lblSerialNumber = plainLabel(QStringLiteral("-"), frmProperties);
    addRow(plainLabel(QStringLiteral("Serial number:"), frmProperties), lblSerialNumber);

    lblVersion = plainLabel(QStringLiteral("-"), frmProperties);
    addRow(plainLabel(QStringLiteral("DSP version:"), frmProperties), lblVersion);

    cmbEncoders = dropDownList({QStringLiteral("<None>")}, frmProperties);
    addRow(plainLabel(QStringLiteral("Bounded to:"), frmProperties), cmbEncoders);

    chkSFNEnabled = new QCheckBox(QStringLiteral("On"), frmProperties);
    chkSFNEnabled->setToolTip(QStringLiteral("Enable PTP Sync"));
    cmdAdjust = new QPushButton(QStringLiteral("Adjust..."), frmProperties);
    cmdAdjust->setEnabled(false);
    addRow(plainLabel(QStringLiteral("SFN option:"), frmProperties), chkSFNEnabled, cmdAdjust);

    Label25 = plainLabel(QStringLiteral("Low latency:"), frmProperties);
    chkLowLatency = new QCheckBox(QStringLiteral("Enabled"), frmProperties);
    chkLowLatency->setToolTip(QStringLiteral("Enable low latency (1.25mS) option"));
    addRow(Label25, chkLowLatency);

    Label20 = plainLabel(QStringLiteral("Buffer size:"), frmProperties);
    scrlBuffer = horizontalScrollBar(0, audio::bufferMaximum(false, false), 0, frmProperties);
    lblLatency = plainLabel(QStringLiteral("0mS"), frmProperties);
    lblLatency->setMinimumWidth(60);
    addRow(Label20, scrlBuffer, lblLatency);

    cmbSilDetMode = dropDownList({QStringLiteral("Auto detect"), QStringLiteral("Force internal"),
                                  QStringLiteral("Force external")},
                                 frmProperties);
    addRow(plainLabel(QStringLiteral("Silence detector:"), frmProperties), cmbSilDetMode);

    Label24 = plainLabel(QStringLiteral("Threshold:"), frmProperties);
    Label24->setToolTip(QStringLiteral("Silence detector trigger level"));
    scrlSilDetLevel = horizontalScrollBar(audio::kSilenceLevelMin, audio::kSilenceLevelMax, audio::kSilenceLevelMin,
                                          frmProperties);
    lblSilDetLevel = plainLabel(QString(), frmProperties);
    lblSilDetLevel->setMinimumWidth(60);
    addRow(Label24, scrlSilDetLevel, lblSilDetLevel);

    Label26 = plainLabel(QStringLiteral("Timeout:"), frmProperties);
    Label26->setToolTip(QStringLiteral("Silence detector time countdown"));
    scrlSilDetTime = horizontalScrollBar(audio::kSilenceTimeMin, audio::kSilenceTimeMax, audio::kSilenceTimeMin,
                                         frmProperties);
    lblSilDetTime = plainLabel(QString(), frmProperties);
    lblSilDetTime->setMinimumWidth(60);
    addRow(Label26, scrlSilDetTime, lblSilDetTime);

    const QList<QWidget *> named = {txtElementName, lblElementType, txtElementIP, txtElementMask,
                                    lblElementMAC, txtElementGW, Label7, txtRemoteIP,
                                    txtVLAN_OM, txtVLAN_Audio, cmbAudioType, Label9,
                                    cmbAudioInput, scrlAtten, lblAttenDB, cmbAudioTX,
                                    lblSerialNumber, lblVersion, cmbEncoders, chkSFNEnabled,
                                    cmdAdjust, Label25, chkLowLatency, Label20, scrlBuffer,
                                    lblLatency, cmbSilDetMode, Label24, scrlSilDetLevel,
                                    lblSilDetLevel, Label26, scrlSilDetTime, lblSilDetTime};
    const char *names[] = {"txtElementName", "lblElementType", "txtElementIP", "txtElementMask",
                           "lblElementMAC", "txtElementGW", "Label7", "txtRemoteIP",
                           "txtVLAN_OM", "txtVLAN_Audio", "cmbAudioType", "Label9",
                           "cmbAudioInput", "scrlAtten", "lblAttenDB", "cmbAudioTX",
                           "lblSerialNumber", "lblVersion", "cmbEncoders", "chkSFNEnabled",
                           "cmdAdjust", "Label25", "chkLowLatency", "Label20", "scrlBuffer",
                           "lblLatency", "cmbSilDetMode", "Label24", "scrlSilDetLevel",
                           "lblSilDetLevel", "Label26", "scrlSilDetTime", "lblSilDetTime"};
    for (int i = 0; i < named.size(); ++i)
        named[i]->setObjectName(QString::fromLatin1(names[i]));
}

void frmMain::buildDiagnosticsFrame()
{
    frmDiagnostics = new QGroupBox(QStringLiteral("Diagnostics:"), this);
    frmDiagnostics->setObjectName(QStringLiteral("frmDiagnostics"));
    auto *grid = new QGridLayout(frmDiagnostics);

    cmdPing = new QPushButton(QStringLiteral("<Click to test>"), frmDiagnostics);
    cmdPing->setObjectName(QStringLiteral("cmdPing"));
    cmdPing->setToolTip(QStringLiteral("Test ping from NMS"));
    grid->addWidget(plainLabel(QStringLiteral("Ping:"), frmDiagnostics), 0, 0);
    grid->addWidget(cmdPing, 0, 1, 1, 2);

    chkGetVolume = new QCheckBox(frmDiagnostics);
    chkGetVolume->setObjectName(QStringLiteral("chkGetVolume"));
    chkGetVolume->setToolTip(QStringLiteral("Show audio level"));
    VUMeter = new VuMeter(frmDiagnostics);
    VUMeter->setObjectName(QStringLiteral("VUMeter"));
    lblVolume = plainLabel(QStringLiteral("-oodBFS"), frmDiagnostics);
    lblVolume->setObjectName(QStringLiteral("lblVolume"));
    lblVolume->setMinimumWidth(80);
    grid->addWidget(plainLabel(QStringLiteral("Audio level:"), frmDiagnostics), 1, 0);
    auto *level = new QHBoxLayout;
    level->addWidget(chkGetVolume);
    level->addWidget(VUMeter);
    level->addWidget(lblVolume);
    level->addStretch(1);
    grid->addLayout(level, 1, 1, 1, 2);

    Slider1 = new QSlider(Qt::Horizontal, frmDiagnostics);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setRange(1, 500);
    Slider1->setValue(50);
    Slider1->setToolTip(QStringLiteral("Level request interval (ms)"));
    grid->addWidget(plainLabel(QStringLiteral("Interval:"), frmDiagnostics), 2, 0);
    grid->addWidget(Slider1, 2, 1, 1, 2);

    cmdGetStats = new QPushButton(QStringLiteral("Get..."), frmDiagnostics);
    cmdGetStats->setObjectName(QStringLiteral("cmdGetStats"));
    cmdGetStats->setToolTip(QStringLiteral("Fetch statistical counters"));
    cmdGetStats->setEnabled(false);
    grid->addWidget(plainLabel(QStringLiteral("Statistics:"), frmDiagnostics), 3, 0);
    grid->addWidget(cmdGetStats, 3, 1);
}

// ---- tree --------------------------------------------------------------------------

void frmMain::updateTreeCaption()
{
    frmTreeView->setTitle(QStringLiteral("Select element: (%1 items)").arg(TreeView1->topLevelItemCount()));
}

void frmMain::clearViews()
{
    lstHidden.clear();
    TreeView1->clear();
    cmbEncoders->clear();
    cmbEncoders->addItem(QStringLiteral("<None>"));
    VUMeter->setWidthTwips(0);
    updateTreeCaption();
}

void frmMain::Load_Config()
{
    clearViews();
    const station::ElementListing listing = station::listElements(iniPath());
    if (listing.elements.isEmpty()) {
        platform::showMessage(this, station::emptyDatabaseMessage(listing.exists));
        updateTreeCaption();
        return;
    }
    // One rebuild, no event pumping in between: a datagram arriving now waits until the
    // tree is whole. The nodes and the encoder list go in at once: one by one, each
    // insertion told the views, which at thousands of elements cost more than the reads.
    QList<QTreeWidgetItem *> nodes;
    QStringList encoders;
    nodes.reserve(listing.elements.size());
    const QIcon encoderIcon = images::imageList(6), decoderIcon = images::imageList(7);
    for (const station::StoredElement &e : listing.elements) {
        lstHidden << e.section;
        const bool encoder = e.role == 1;
        auto *node = new ElementNode(m_station.presence(), m_check, e.ip);
        node->setText(0, e.name + QStringLiteral(" [") + e.mac + QStringLiteral("]"));
        node->setData(0, Qt::UserRole, e.mac);
        node->setIcon(0, encoder ? encoderIcon : decoderIcon);
        node->setData(0, kImageRole, encoder ? 6 : 7);
        nodes.append(node);
        if (encoder)
            encoders << node->text(0);
    }
    TreeView1->addTopLevelItems(nodes);
    cmbEncoders->addItems(encoders);
    updateTreeCaption();
}

void frmMain::RefreshList()
{
    TreeView1->clear();
    Load_Config();
    ClearProperties();
}

void frmMain::AutoDiscover()
{
    if (!lstHidden.isEmpty()) {
        const auto answer = platform::showMessage(
            this,
            QStringLiteral("Performing an 'Auto Discovery' will delete the local database in your "
                           "computer and create a new one, based on the Network Elements found "
                           "(if any). \rAre you sure?"),
            MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("Auto Discovery"));
        if (answer != platform::MsgAnswer::Yes)
            return;
    }
    ClearProperties();
    TreeView1->clear();
    openPagingWindow();
}

void frmMain::openPagingWindow()
{
    chkGetVolume->setChecked(false);   // stops the level monitor
    clearViews();
    frmPaging paging(m_station, this);
    paging.exec();
    Load_Config();
}

void frmMain::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 1:
        AutoDiscover();
        break;
    case 2:
        RefreshList();
        break;
    case 4:
        SaveChanges();
        break;
    case 6:
        chkGetVolume->setChecked(true);
        toolbarButton(6)->setEnabled(false);
        toolbarButton(7)->setEnabled(true);
        break;
    case 7:
        chkGetVolume->setChecked(false);
        toolbarButton(6)->setEnabled(true);
        toolbarButton(7)->setEnabled(false);
        break;
    default:
        break;   // 3 and 5 are separators
    }
}

void frmMain::closeEvent(QCloseEvent *event)
{
    m_station.close();
    event->accept();
}
