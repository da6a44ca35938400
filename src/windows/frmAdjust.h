#pragma once
// The modal "SFN Adjustment" window: shows the PTP delay that a decoder measures, lets the
// operator set the latency compensation and auto servo, and resets the counters. It talks
// to the element over the station's port 2978 (station::StatusExchange), which sends and
// decodes; the window shows, and keeps the adjustment the operator is making.

#include <QDialog>
#include <QString>
#include <QTimer>

#include "station/ElementLink.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;

class frmAdjust : public QDialog {
    Q_OBJECT
public:
    // `section` is the element's nms.ini section, `elementType` the main window's
    // lblElementType caption. Runs the opening sequence; a port that cannot be used ends
    // the program and leaves the window unopened.
    frmAdjust(const QString &section, const QString &elementType, QWidget *parent = nullptr);

    bool isOpen() const { return m_open; }
    // The UDP_Response_* variables of the last record (all zero at opening).
    const DelayVariables &responses() const { return m_exchange.delay(); }

    void cmdRefresh_Click();
    void cmdResetStats_Click();
    void cmdSet_Click();
    void Timer1_Timer();
    void chkAutoUpdate_Click();
    void chkAutoServo_Click();
    void chkAutoClear_Click();
    void scrlAdditionalDelay_Change();
    void UpdateAdditionalDelay();
    void udpClient3_DataArrival(const QByteArray &datagram);
    void ParseDelayResponse(const DelayResponse &r);

    qint32 AdditionalDelayNs = 0;
    bool UnsavedParameters = false;

    station::StatusExchange m_exchange;
    platform::UdpPort &udpClient3;
    QTimer Timer1;   // 250 ms, once per set-delay command: counter reset
    QTimer Timer2;   // 1000 ms: auto refresh

    QGroupBox *Frame1 = nullptr;
    QLabel *lblCurrentDelayMIN = nullptr;
    QLabel *lblCurrentDelayMAX = nullptr;
    QLabel *lblCurrentDelayAVG = nullptr;
    QLabel *lblFixedLatencyMAC = nullptr;
    QLabel *lblFixedLatencyAUDIO = nullptr;
    QLabel *lblDelaySumMIN = nullptr;
    QLabel *lblDelaySumMAX = nullptr;
    QLabel *lblDelaySumAVG = nullptr;
    QCheckBox *chkAutoUpdate = nullptr;
    QPushButton *cmdResetStats = nullptr;
    QPushButton *cmdRefresh = nullptr;
    QGroupBox *Frame2 = nullptr;
    QScrollBar *scrlAdditionalDelay = nullptr;
    QLabel *lblAdditionalDelay = nullptr;
    QCheckBox *chkAutoServo = nullptr;
    QCheckBox *chkAutoClear = nullptr;
    QPushButton *cmdSet = nullptr;

public slots:
    // Closing: every way out (Escape, the close box, accept/reject) comes through here.
    void done(int result) override;

private:
    void buildControls();
    void stopAutoRefresh();
    // A command that could not be sent is told to the operator, and auto refresh stops.
    bool report(const station::Result &sent);

    bool m_open = false;
};
