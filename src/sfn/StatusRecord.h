#pragma once
// The element's 61-byte status record on port 2978 ("GetDel"/"GetStats" answers), its
// big-endian 32-bit fields and the nanosecond text. Pure functions.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// Four bytes, most significant first, as signed 32-bit (FF FF FF FF -> -1); a piece that
// is not exactly four bytes long gives 0.
qint32 BytesToLong(const QByteArray &four);
// Field at `offset` of a record; 0 when it lies wholly or partly beyond the end.
qint32 recordField(const QByteArray &record, int offset);

// 265 -> "265 nS", 395833 -> "395 uS, 833 nS", 1000005 -> "1 mS, 0 uS, 5 nS",
// -1500 -> "-1 uS, 500 nS"; INT32_MIN handled without overflow.
QString FormatNanoseconds(qint32 n);

constexpr int kStatusRecordLength = 61;
constexpr qint32 kMacInterfaceLatencyNs = 265;
constexpr qint32 kAudioInterfaceLatencyNs = 395833;
constexpr qint32 kFixedLatencyNs = 396098;

// Checked 32-bit addition; nullopt on overflow.
std::optional<qint32> checkedAdd(qint32 a, qint32 b);

// The element's "sfn" key as the status windows judge it: true when it is numerically 1,
// false for any other number, nullopt when the text is not a number (a parse failure).
std::optional<bool> sfnIsOn(const QString &sfnText);

// Fields of a status record, for the simulator and the tests.
struct StatusRecord {
    qint32 txFramesOk = 0, rxFramesOk = 0, txFramesErr = 0, rxFramesErr = 0;
    qint32 ptpSyncOk = 0, ptpSyncErr = 0, ptpClockDiff = 0, ptpMeasuredDelay = 0;
    qint32 audioFramesOk = 0, audioFramesErr = 0;
    qint32 delayAvg = 0, delayMin = 0, delayMax = 0;
    qint32 additionalDelay = 0, servoCorrection = 0;
    quint8 autoServo = 0;
};
QByteArray encodeStatusRecord(const StatusRecord &r);   // 61 bytes

// The 6-byte set-delay command: 'S', delay ns (big-endian), auto-servo 0/1.
QByteArray encodeSetDelay(qint32 additionalDelayNs, bool autoServo);
