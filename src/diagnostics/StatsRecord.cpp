#include "diagnostics/StatsRecord.h"

#include "sfn/StatusRecord.h"
#include "store/TextHelpers.h"

namespace {

// One step of the parse runs only while nothing before it has failed.
StatsValues parse(const QByteArray &record, std::optional<bool> sfnOn, bool decoder,
                  const StatsVariables &previous)
{
    StatsValues result;
    result.variables = previous;
    StatsVariables &v = result.variables;
    StatsLabels &l = result.labels;
    const auto field = [&record](int offset) { return recordField(record, offset); };
    const auto fail = [&result]() -> StatsValues & {
        result.failed = true;
        return result;
    };
    bool overflow = false;

    v.UDP_Response_Additional_Latency = field(52);

    v.UDP_Response_Tx_Frames_OK = field(0);
    l.lblMACTxOK = QString::number(v.UDP_Response_Tx_Frames_OK);
    v.UDP_Response_Rx_Frames_OK = field(4);
    l.lblMACRxOK = QString::number(v.UDP_Response_Rx_Frames_OK);

    v.UDP_Response_Tx_Frames_Err = field(8);
    const float txShare = errorShare(v.UDP_Response_Tx_Frames_OK, v.UDP_Response_Tx_Frames_Err, &overflow);
    if (overflow)
        return fail();
    v.UDP_Response_Tx_Frames_Err_Ratio = txShare;
    l.lblMACTxErr = errorLabelText(v.UDP_Response_Tx_Frames_Err, txShare);

    v.UDP_Response_Rx_Frames_Err = field(12);
    const float rxShare = errorShare(v.UDP_Response_Rx_Frames_OK, v.UDP_Response_Rx_Frames_Err, &overflow);
    if (overflow)
        return fail();
    v.UDP_Response_Rx_Frames_Err_Ratio = rxShare;
    l.lblMACRxErr = errorLabelText(v.UDP_Response_Rx_Frames_Err, rxShare);

    if (!sfnOn)
        return fail();
    if (*sfnOn) {
        v.UDP_Response_PTP_Sync_OK = field(16);
        l.lblPTPRxOK = QString::number(v.UDP_Response_PTP_Sync_OK);
        v.UDP_Response_PTP_Sync_Err = field(20);
        l.lblPTPRxErr = QString::number(v.UDP_Response_PTP_Sync_Err);
        if (decoder) {
            v.UDP_Response_PTP_Sync_Value = field(24);
            l.lblPTPClkAdj = QString::number(v.UDP_Response_PTP_Sync_Value) + QStringLiteral(" nS");
            const std::optional<qint32> latency = checkedAdd(field(28), v.UDP_Response_Additional_Latency);
            if (!latency)
                return fail();
            v.UDP_Response_PTP_Sync_Latency = *latency;
            l.lblPTPLatency = QString::number(*latency) + QStringLiteral(" nS");
        }
    }

    v.UDP_Response_Rx_Audio_Frames_OK = field(32);
    l.lblAudioRxFramesOK = QString::number(v.UDP_Response_Rx_Audio_Frames_OK);
    l.lblAudioRxFramesErr = QStringLiteral("-");

    v.UDP_Response_Rx_Audio_Frames_Err = field(36);
    const float audioShare = errorShare(v.UDP_Response_Rx_Audio_Frames_OK,
                                        v.UDP_Response_Rx_Audio_Frames_Err, &overflow);
    if (overflow)
        return fail();
    v.UDP_Response_Rx_Audio_Frames_Err_Ratio = audioShare;
    l.lblAudioRxFramesErr = errorLabelText(v.UDP_Response_Rx_Audio_Frames_Err, audioShare);
    return result;
}

} // namespace

float errorShare(qint32 ok, qint32 err, bool *overflow)
{
    const std::optional<qint32> sum = checkedAdd(ok, err);
    if (!sum) {
        if (overflow)
            *overflow = true;
        return 0;
    }
    if (*sum == 0)
        return 0;
    return static_cast<float>(roundHalfEven(double(err) / double(*sum) * 100.0, 2));
}

QString errorLabelText(qint32 err, float share)
{
    return QString::number(err) + QStringLiteral(" (") + formatDecimal(share, 2) + QStringLiteral("%)");
}

StatsValues parseStatsResponse(const QByteArray &record, bool sfnOn, bool decoder,
                               const StatsVariables &previous)
{
    return parse(record, sfnOn, decoder, previous);
}

StatsValues parseStatsResponse(const QByteArray &record, const QString &sfnText, bool decoder,
                               const StatsVariables &previous)
{
    return parse(record, sfnIsOn(sfnText), decoder, previous);
}
