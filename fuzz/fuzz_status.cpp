// Arbitrary status records and level blocks through the pure computations of the
// statistics, SFN and level displays. The first byte chooses the element's settings.
#include "diagnostics/LevelBlock.h"
#include "diagnostics/StatsRecord.h"
#include "sfn/DelayResponse.h"
#include "sfn/StatusRecord.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

const char *const kSfnTexts[] = {"1", "0", "", " 1 ", "x", "1e0", "-1", "99999999999999999999"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const quint8 flags = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString sfnText = QString::fromLatin1(kSfnTexts[flags & 7]);
    const bool decoder = flags & 8;

    const QByteArray record = bytes.left(kStatusRecordLength);
    const StatsValues stats = parseStatsResponse(record, sfnText, decoder);
    if (!stats.failed)
        require(stats.labels.lblAudioRxFramesErr.has_value());

    const DelayResponse delay = parseDelayResponse(record, sfnText, decoder, 0, 25000);
    if (delay.sliderValue)
        require(*delay.sliderValue >= 0 && *delay.sliderValue <= 25000);
    if (delay.lblCurrentDelayAVG)
        require(delay.lblCurrentDelayAVG->endsWith(QStringLiteral(" nS")));

    const qint32 peak = levelPeak(bytes);
    require(peak >= 0 && peak < kFullScale);
    const LevelDisplay level = levelDisplay(peak);
    require(level.widthTwips >= 0 && level.widthTwips <= kVuMeterFullTwips);
    require(level.text.endsWith(QStringLiteral("dBFS")));

    const qint32 value = BytesToLong(bytes.left(4));
    require(FormatNanoseconds(value).endsWith(QStringLiteral(" nS")));
    levelDisplay(value);
    return 0;
}
