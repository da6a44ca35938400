#include "sfn/StatusRecord.h"

namespace {

void appendBigEndian(QByteArray &out, qint32 value)
{
    const quint32 v = static_cast<quint32>(value);
    out.append(static_cast<char>(v >> 24));
    out.append(static_cast<char>(v >> 16));
    out.append(static_cast<char>(v >> 8));
    out.append(static_cast<char>(v));
}

} // namespace

qint32 BytesToLong(const QByteArray &four)
{
    if (four.size() != 4)
        return 0;
    const quint32 v = (quint32(quint8(four.at(0))) << 24) | (quint32(quint8(four.at(1))) << 16)
                      | (quint32(quint8(four.at(2))) << 8) | quint32(quint8(four.at(3)));
    return static_cast<qint32>(v);
}

qint32 recordField(const QByteArray &record, int offset)
{
    if (offset < 0 || offset > record.size() - 4)
        return 0;
    return BytesToLong(record.mid(offset, 4));
}

QString FormatNanoseconds(qint32 n)
{
    // In 64 bits, so that the absolute value of INT32_MIN exists.
    const bool negative = n < 0;
    const qint64 a = negative ? -qint64(n) : qint64(n);
    const qint64 ms = a / 1000000;
    const qint64 us = a / 1000 - ms * 1000;
    const qint64 ns = a - us * 1000 - ms * 1000000;

    QString text;
    if (ms > 0)
        text += QString::number(ms) + QStringLiteral(" mS, ");
    if (!text.isEmpty() || us > 0)
        text += QString::number(us) + QStringLiteral(" uS, ");
    text += QString::number(ns) + QStringLiteral(" nS");
    if (negative)
        text.prepend(QLatin1Char('-'));
    return text;
}

std::optional<qint32> checkedAdd(qint32 a, qint32 b)
{
    qint32 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return std::nullopt;
    return sum;
}

std::optional<bool> sfnIsOn(const QString &sfnText)
{
    bool ok = false;
    const double value = sfnText.trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value == 1.0;
}

QByteArray encodeStatusRecord(const StatusRecord &r)
{
    QByteArray out;
    out.reserve(kStatusRecordLength);
    for (const qint32 field : {r.txFramesOk, r.rxFramesOk, r.txFramesErr, r.rxFramesErr,
                               r.ptpSyncOk, r.ptpSyncErr, r.ptpClockDiff, r.ptpMeasuredDelay,
                               r.audioFramesOk, r.audioFramesErr, r.delayAvg, r.delayMin,
                               r.delayMax, r.additionalDelay, r.servoCorrection})
        appendBigEndian(out, field);
    out.append(static_cast<char>(r.autoServo));
    return out;
}

QByteArray encodeSetDelay(qint32 additionalDelayNs, bool autoServo)
{
    QByteArray out;
    out.reserve(6);
    out.append('S');
    appendBigEndian(out, additionalDelayNs);
    out.append(autoServo ? '\1' : '\0');
    return out;
}
