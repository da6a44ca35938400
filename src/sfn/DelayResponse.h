#pragma once
// What the SFN adjustment window shows for one 61-byte status record. Pure: the window
// applies the texts and values that are present and reports "Error 4" on failure.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <limits>
#include <optional>

// The latency compensation in 100 ns steps, as the slider holds it: 0 to 2.5 ms.
constexpr int kDelayStepsMax = 25000;

// The window's variables taken from the record; all zero when it opens.
struct DelayVariables {
    qint32 UDP_Response_PTP_Propagation_Delay_Average = 0;
    qint32 UDP_Response_PTP_Propagation_Delay_Minimum = 0;
    qint32 UDP_Response_PTP_Propagation_Delay_Maximum = 0;
    double UDP_Response_PTP_Additional_Delay = 0;   // 100 ns steps, clamped to the slider
    quint8 UDP_Response_PTP_Auto_Servo = 0;
};

struct DelayResponse {
    DelayVariables variables;   // `previous`, overwritten by every step that ran
    // The fixed latencies are shown for every record.
    QString lblFixedLatencyMAC;
    QString lblFixedLatencyAUDIO;
    // Set only for a decoder whose "sfn" is 1; absent values leave the window unchanged.
    std::optional<int> sliderValue;             // scrlAdditionalDelay
    std::optional<qint32> additionalDelayNs;    // AdditionalDelayNs = slider × 100
    std::optional<QString> lblAdditionalDelay;
    std::optional<bool> autoServoChecked;       // chkAutoServo
    std::optional<QString> autoServoCaption;    // "Auto servo" / "Auto servo (-150 nS)"
    std::optional<QString> lblCurrentDelayAVG, lblDelaySumAVG;
    std::optional<QString> lblCurrentDelayMIN, lblDelaySumMIN;
    std::optional<QString> lblCurrentDelayMAX, lblDelaySumMAX;
    bool failed = false;        // "Error 4": later steps did not run
};

// `record` is a whole 61-byte status record. `sfnText` is the element's "sfn" key; a
// text that is not a number fails. Latencies are measured + additional delay + servo
// correction; a sum beyond 32 bits fails at its step.
DelayResponse parseDelayResponse(const QByteArray &record, const QString &sfnText, bool isDecoder,
                                 int sliderMin, int sliderMax,
                                 const DelayVariables &previous = {});
