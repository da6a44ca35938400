#pragma once
// The station's main window: the element tree, the properties panel and the diagnostics
// panel over the station's core (station/), which owns the main socket (UDP 2976) and
// every exchange with the elements. The window's routines keep the names of the
// station's design; each reads its controls, asks the core, and shows what comes back.
//   frmMain.cpp              construction, toolbar, tree (Load_Config, …)
//   frmMain_editor.cpp       properties panel: selection, layout, audio, fields
//   frmMain_protocol.cpp     configuration and what the main socket's messages come to
//   frmMain_diagnostics.cpp  ping, audio level, the statistics and SFN windows
//
// Assigning a value to a control from code runs its handler as an operator's change
// does (Qt's own change signals); for label captions, which have no such signal, the
// setters below call the handler explicitly.

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "station/ConfigExchange.h"
#include "station/ElementCheck.h"
#include "station/Ping.h"
#include "station/Station.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class VuMeter;
class frmEventLog;
class frmWaiting;

class frmMain : public QMainWindow {
    Q_OBJECT
    // First: the references below are to parts of it.
    station::Station m_station;

public:
    // Start-up mode flags from the command line ("GPS" / "LL").
    explicit frmMain(bool gpsdoVersion, bool lowLatencyOption, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up step 6: bind udpClient to 2976 with broadcast allowed.
    station::Result bindMainSocket();
    // Start-up step 7: title and scrlBuffer's maximum from the version and mode.
    void applyTitleAndBufferMaximum();
    static QString titleFor(bool gpsdoVersion, bool lowLatencyOption);

    // Path of nms.ini, built afresh at each call (the application directory may change
    // between tests).
    static QString iniPath();

    station::Station &station() { return m_station; }
    const station::Ping &ping() const { return m_ping; }

    // ---- app: tree and toolbar -------------------------------------------------------
    void Load_Config();
    void RefreshList();
    void AutoDiscover();
    void Toolbar1_ButtonClick(int index);   // 1-based; 3 and 5 are separators
    QAction *toolbarButton(int index) const; // 1-based, nullptr for 3 and 5
    void cmdAdjust_Click();
    void cmdGetStats_Click();
    // Help menu.
    void showAbout();
    void openDatabaseFolder();
    // Clears tree, lists, level bar and caption as the start of a rebuild does.
    void clearViews();
    void updateTreeCaption();
    // Runs the discovery window (modal). Virtual so that tests can stand in for the
    // broadcast, which must never leave the host's own network namespace.
    virtual void openPagingWindow();

    // ---- the event log and the elements' presence -----------------------------------
    // Opens (or raises) the event log window; nullptr when no event log is installed.
    frmEventLog *openEventLog();
    // Pings every stored element; the status bar counts them when all have answered or not.
    void checkElements();
    const station::ElementCheck &elementCheck() const { return m_check; }
    // Tree nodes give "on line", "silent" (at the last check) or "not heard" in kPresenceRole.
    static constexpr int kPresenceRole = Qt::UserRole + 2;
    QAction *actEventLog = nullptr;
    QAction *actCheckElements = nullptr;
    QLabel *lblCheckElements = nullptr;

    // ---- editor: properties panel ----------------------------------------------------
    void TreeView1_NodeClick(QTreeWidgetItem *node);
    void ClearProperties();
    void lblElementType_Change();
    void cmbAudioTX_Click();
    void cmbSilDetMode_Click();
    void scrlAtten_Change();
    void SendAttenuation(quint8 position);
    void scrlBuffer_Change();
    void scrlSilDetLevel_Change();
    void scrlSilDetTime_Change();
    void chkLowLatency_Click();
    void txtElementIP_Change();
    void txtElementMask_Change();
    void txtElementGW_Change();
    void txtRemoteIP_Change();
    void txtElementName_LostFocus();
    // Sets lblElementType's caption and runs lblElementType_Change, as a caption change does.
    void setElementTypeCaption(const QString &caption);
    QString selectedSection() const;   // Encode_MAC of lblElementMAC's caption

    // ---- protocol: main socket, feedback, replies, configuration ---------------------
    // A datagram as the main socket delivers it (the station dispatches it).
    void udpClient_DataArrival(const QByteArray &datagram);
    void ParseFeedback(const QByteArray &message);
    void SaveChanges();
    void SendConfiguration();
    void timerRemoteSent_Timer(const station::Result &timedOut);
    // The configuration the panel holds, as SendConfiguration sends it.
    station::ConfigRequest panelRequest() const;

    // ---- diagnostics: ping and audio level -------------------------------------------
    void cmdPing_Click();
    void PingElement(const QString &address);
    void chkGetVolume_Click();
    void ShowAudioLevel(const QByteArray &datagram);
    void Slider1_Change();
    // Drops a ping that is still out (selection change, panel cleared): no late result.
    void cancelPendingPing();

    bool GPSDOVersion = false;
    bool LowLatencyOption = false;

    platform::UdpPort &udpClient;

    // ---- controls --------------------------------------------------------------------
    QToolBar *Toolbar1 = nullptr;
    QGroupBox *frmTreeView = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QStringList lstHidden;              // section names in file order (invisible list)
    // Tree nodes carry their MAC text in Qt::UserRole and their image number (6 encoder,
    // 7 other) in kImageRole.
    static constexpr int kImageRole = Qt::UserRole + 1;

    QGroupBox *frmProperties = nullptr;
    QLineEdit *txtElementName = nullptr;
    QLabel *lblElementType = nullptr;
    QLineEdit *txtElementIP = nullptr;
    QLineEdit *txtElementMask = nullptr;
    QLabel *lblElementMAC = nullptr;
    QLineEdit *txtElementGW = nullptr;
    QLabel *Label7 = nullptr;           // "Remote IP:" / "Multicast IP:"
    QLineEdit *txtRemoteIP = nullptr;
    QComboBox *cmbAudioType = nullptr;
    QLabel *Label9 = nullptr;           // "Audio source:" / "Audio atten:"
    QComboBox *cmbAudioInput = nullptr;
    QScrollBar *scrlAtten = nullptr;
    QLabel *lblAttenDB = nullptr;
    QComboBox *cmbAudioTX = nullptr;
    QLabel *lblSerialNumber = nullptr;
    QLabel *lblVersion = nullptr;
    QComboBox *cmbEncoders = nullptr;
    QCheckBox *chkSFNEnabled = nullptr;
    QPushButton *cmdAdjust = nullptr;
    QLabel *Label25 = nullptr;          // "Low latency:"
    QCheckBox *chkLowLatency = nullptr;
    QLabel *Label20 = nullptr;          // "Buffer size:"
    QScrollBar *scrlBuffer = nullptr;
    QLabel *lblLatency = nullptr;
    QComboBox *cmbSilDetMode = nullptr;
    QLabel *Label24 = nullptr;          // "Threshold:"
    QScrollBar *scrlSilDetLevel = nullptr;
    QLabel *lblSilDetLevel = nullptr;
    QLabel *Label26 = nullptr;          // "Timeout:"
    QScrollBar *scrlSilDetTime = nullptr;
    QLabel *lblSilDetTime = nullptr;
    QLineEdit *txtVLAN_OM = nullptr;
    QLineEdit *txtVLAN_Audio = nullptr;

    QGroupBox *frmDiagnostics = nullptr;
    QPushButton *cmdPing = nullptr;
    VuMeter *VUMeter = nullptr;
    QLabel *lblVolume = nullptr;
    QCheckBox *chkGetVolume = nullptr;
    QSlider *Slider1 = nullptr;
    QPushButton *cmdGetStats = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolbar();
    void buildHelpMenu();
    void buildTreeFrame();
    void buildPropertiesFrame();
    void buildDiagnosticsFrame();

    // Each subsystem connects its own controls' signals (called once by the constructor).
    void wireEditor();
    void wireProtocol();
    void wireDiagnostics();

    // protocol: what the station's handling of a message comes to.
    void showConfirmation(const station::Confirmation &confirmation);
    void showMacWait(const QString &ip);

    station::Ping m_ping;
    station::ElementCheck m_check;
    QPointer<frmEventLog> m_eventLog;
    void buildEventLogActions();
    frmWaiting *m_macWaitWindow = nullptr;

    // editor: operator-change tracking for the attenuation scroll bar.
    bool m_attenOperatorAction = false;

    QList<QAction *> m_toolbarButtons;   // index 0 is button 1; nullptr for separators
};
