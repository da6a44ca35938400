#pragma once
// The modal "SFN Adjustment" window: shows the PTP delay that a decoder measures, lets the
// operator set the latency compensation and auto servo, and resets the counters. It talks
// to the element over its own socket on UDP 2978; decoding lives in DelayResponse.

#include <QDialog>
#include <QString>
#include <QTimer>

#include "platform/UdpPort.h"
#include "sfn/DelayResponse.h"

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
    const DelayVariables &responses() const { return m_responses; }

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
    void ParseDelayResponse(const QByteArray &record);

    qint32 AdditionalDelayNs = 0;
    bool UnsavedParameters = false;

    platform::UdpPort udpClient3;
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
    // Sends one command to the element's stored address; a missing or unusable address is
    // told to the operator (`consequence` is the message's second line), auto refresh stops
    // and nothing is sent.
    bool send(const QByteArray &command, const QString &consequence);

    QString m_section;
    QString m_elementType;
    bool m_open = false;
    DelayVariables m_responses;
};
