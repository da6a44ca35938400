#pragma once
// What the statistics window shows for one status record: its variables, its label texts
// and whether the record could be read. Pure: the window only applies the result.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// Share of `err` in ok + err, in percent, rounded to two decimals (halves to even);
// 0 when the sum is 0. A sum beyond 32 bits sets *overflow and gives 0.
float errorShare(qint32 ok, qint32 err, bool *overflow);
// "5 (0.25%)": the count, then the share without trailing zeros.
QString errorLabelText(qint32 err, float share);

// The window's variables; all zero when it opens.
struct StatsVariables {
    qint32 UDP_Response_Tx_Frames_OK = 0;
    qint32 UDP_Response_Rx_Frames_OK = 0;
    qint32 UDP_Response_Tx_Frames_Err = 0;
    float UDP_Response_Tx_Frames_Err_Ratio = 0;
    qint32 UDP_Response_Rx_Frames_Err = 0;
    float UDP_Response_Rx_Frames_Err_Ratio = 0;
    qint32 UDP_Response_PTP_Sync_OK = 0;
    qint32 UDP_Response_PTP_Sync_Err = 0;
    qint32 UDP_Response_PTP_Sync_Value = 0;
    qint32 UDP_Response_PTP_Sync_Latency = 0;
    qint32 UDP_Response_Rx_Audio_Frames_OK = 0;
    qint32 UDP_Response_Rx_Audio_Frames_Err = 0;
    float UDP_Response_Rx_Audio_Frames_Err_Ratio = 0;
    qint32 UDP_Response_Additional_Latency = 0;
};

// Label texts the record sets; a label without a value keeps what it shows.
struct StatsLabels {
    std::optional<QString> lblMACTxOK, lblMACTxErr, lblMACRxOK, lblMACRxErr;
    std::optional<QString> lblPTPRxOK, lblPTPRxErr, lblPTPClkAdj, lblPTPLatency;
    std::optional<QString> lblAudioRxFramesOK, lblAudioRxFramesErr;
};

struct StatsValues {
    StatsVariables variables;   // `previous`, overwritten by every step that ran
    StatsLabels labels;
    bool failed = false;        // a step failed: "Error 5", later steps did not run
};

// Reads a status record of at most 61 bytes (fields beyond a shorter record read as 0).
// The PTP values need the element's "sfn" to be 1, the clock difference and measured
// delay also a decoder. A sum that does not fit 32 bits stops the parse as failed; what
// the earlier steps set stays in the result.
StatsValues parseStatsResponse(const QByteArray &record, bool sfnOn, bool decoder,
                               const StatsVariables &previous = {});
// The same with the "sfn" key's text: a text that is not a number fails at the PTP step.
StatsValues parseStatsResponse(const QByteArray &record, const QString &sfnText, bool decoder,
                               const StatsVariables &previous = {});
