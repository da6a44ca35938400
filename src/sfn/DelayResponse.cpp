#include "sfn/DelayResponse.h"

#include "sfn/StatusRecord.h"
#include "store/TextHelpers.h"

namespace {

struct LatencyStep {
    int offset;
    qint32 DelayVariables::*variable;
    std::optional<QString> DelayResponse::*current;
    std::optional<QString> DelayResponse::*summary;
};

constexpr LatencyStep kLatencySteps[] = {
    {40, &DelayVariables::UDP_Response_PTP_Propagation_Delay_Average,
     &DelayResponse::lblCurrentDelayAVG, &DelayResponse::lblDelaySumAVG},
    {44, &DelayVariables::UDP_Response_PTP_Propagation_Delay_Minimum,
     &DelayResponse::lblCurrentDelayMIN, &DelayResponse::lblDelaySumMIN},
    {48, &DelayVariables::UDP_Response_PTP_Propagation_Delay_Maximum,
     &DelayResponse::lblCurrentDelayMAX, &DelayResponse::lblDelaySumMAX},
};

} // namespace

DelayResponse parseDelayResponse(const QByteArray &record, const QString &sfnText, bool isDecoder,
                                 int sliderMin, int sliderMax, const DelayVariables &previous)
{
    DelayResponse r;
    r.variables = previous;
    DelayVariables &v = r.variables;
    r.lblFixedLatencyMAC = FormatNanoseconds(kMacInterfaceLatencyNs);
    r.lblFixedLatencyAUDIO = FormatNanoseconds(kAudioInterfaceLatencyNs);

    const std::optional<bool> sfnOn = sfnIsOn(sfnText);
    if (!sfnOn) {
        r.failed = true;
        return r;
    }
    if (!*sfnOn || !isDecoder)
        return r;

    const qint32 add = recordField(record, 52);
    double steps = add / 100.0;
    if (steps > sliderMax)
        steps = sliderMax;
    if (steps < sliderMin)
        steps = sliderMin;
    v.UDP_Response_PTP_Additional_Delay = steps;
    const int slider = static_cast<int>(roundHalfEven(steps, 0));
    r.sliderValue = slider;
    // The slider's range is the window's; a range whose delay does not fit the command's
    // 32 bits cannot be shown.
    const qint64 delayNs = qint64(slider) * 100;
    if (delayNs < std::numeric_limits<qint32>::min() || delayNs > std::numeric_limits<qint32>::max()) {
        r.failed = true;
        return r;
    }
    r.additionalDelayNs = static_cast<qint32>(delayNs);
    r.lblAdditionalDelay = FormatNanoseconds(static_cast<qint32>(delayNs));

    v.UDP_Response_PTP_Auto_Servo = static_cast<quint8>(record.size() > 60 ? record.at(60) : 0);
    qint32 servo = 0;
    if (v.UDP_Response_PTP_Auto_Servo == 1) {
        servo = recordField(record, 56);
        r.autoServoChecked = true;
        r.autoServoCaption = QStringLiteral("Auto servo (") + QString::number(servo) + QStringLiteral(" nS)");
    } else {
        r.autoServoChecked = false;
        r.autoServoCaption = QStringLiteral("Auto servo");
    }

    for (const LatencyStep &step : kLatencySteps) {
        std::optional<qint32> latency = checkedAdd(recordField(record, step.offset), add);
        if (latency)
            latency = checkedAdd(*latency, servo);
        if (!latency) {
            r.failed = true;
            return r;
        }
        v.*step.variable = *latency;
        const std::optional<qint32> summary = checkedAdd(*latency, kFixedLatencyNs);
        if (!summary) {
            r.failed = true;
            return r;
        }
        r.*step.current = FormatNanoseconds(*latency);
        r.*step.summary = FormatNanoseconds(*summary);
    }
    return r;
}
