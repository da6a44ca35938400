#pragma once
// The modal "Statistics" window: fetches the selected element's link counters over the
// station's port 2978 (station::StatusExchange) and shows them with their error shares;
// can reset the counters. The exchange sends and decodes; this window asks, shows the
// decoded texts and reports.

#include <QDialog>
#include <QString>

#include "station/ElementLink.h"

class QGroupBox;
class QLabel;
class QPushButton;

class frmStatistics : public QDialog {
    Q_OBJECT
public:
    // `section` is the element's nms.ini section, `elementType` the main window's
    // lblElementType caption. Runs the opening sequence: binds 2978 (a port that cannot be
    // used ends the program and leaves the window unopened), captions the frame, asks for
    // the counters.
    frmStatistics(const QString &section, const QString &elementType, QWidget *parent = nullptr);

    // False when the opening failed and the window must not be shown.
    bool isOpen() const { return m_open; }
    // The UDP_Response_* variables of the last record (all zero at opening).
    const StatsVariables &responses() const { return m_exchange.statistics(); }

    void cmdRefreshStats_Click();
    void cmdResetStats_Click();
    void udpClient2_DataArrival(const QByteArray &datagram);
    void ParseStatsResponse(const StatsValues &parsed);

    station::StatusExchange m_exchange;
    platform::UdpPort &udpClient2;

    QGroupBox *frmStats = nullptr;
    QLabel *lblMACTxOK = nullptr;
    QLabel *lblMACTxErr = nullptr;
    QLabel *lblMACRxOK = nullptr;
    QLabel *lblMACRxErr = nullptr;
    QLabel *lblAudioRxFramesOK = nullptr;
    QLabel *lblAudioRxFramesErr = nullptr;
    QLabel *lblPTPRxOK = nullptr;
    QLabel *lblPTPRxErr = nullptr;
    QLabel *lblPTPClkAdj = nullptr;
    QLabel *lblPTPLatency = nullptr;
    QPushButton *cmdRefreshStats = nullptr;
    QPushButton *cmdResetStats = nullptr;

private:
    void buildControls();

    bool m_open = false;
};
