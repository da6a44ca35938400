#pragma once
// A generated element database for the benchmarks: the keys and values a discovery of
// that many elements writes, in the store's own form.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "protocol/Feedback.h"
#include "protocol/ReplyRecord.h"

inline ElementFeedback generatedElement(int i)
{
    ElementFeedback f;
    const bool decoder = i % 2 == 1;
    f.UDP_Response_IP = QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250 + 1);
    f.UDP_Response_Mask = QStringLiteral("255.255.0.0");
    f.UDP_Response_GW = QStringLiteral("10.1.0.254");
    f.UDP_Response_Remote_IP = decoder ? QStringLiteral("239.192.0.5") : QStringLiteral("10.1.200.1");
    f.UDP_Response_Audio_Input = 1;
    f.UDP_Response_Audio_Type = 1;
    f.UDP_Response_TX_Type = decoder ? 1 : 0;
    f.UDP_Response_Name = (decoder ? QStringLiteral("SITE %1") : QStringLiteral("STUDIO %1"))
                              .arg(i, 4, 10, QLatin1Char('0'))
                              .leftJustified(16);
    f.UDP_Response_Role = decoder ? 2 : 1;
    f.UDP_Response_Serial_Number = 100000 + i;
    f.UDP_Response_Version_Major = 3;
    f.UDP_Response_Version_Minor = 4;
    f.UDP_Response_SFN = decoder ? 1 : 0;
    f.UDP_Response_Buffer = 10;
    f.UDP_Response_Attenuation = decoder ? 20 : 0;
    f.UDP_Response_SilDet_Mode = 1;
    f.UDP_Response_SilDet_Level = 37;
    f.UDP_Response_SilDet_Time = 43;
    f.UDP_Response_Low_Latency = 0;
    return f;
}

// The file as the store writes it: upper-case keys, trimmed values, CR LF. Written in one
// go: a thousand store writes would rewrite (and flush) the whole file a thousand times.
inline QByteArray generatedDatabase(int elements)
{
    QByteArray text;
    for (int i = 0; i < elements; ++i) {
        const QString section = QStringLiteral("%1").arg(0x0211AA000000LL + i, 12, 16, QLatin1Char('0')).toUpper();
        text += '[' + section.toLatin1() + "]\r\n";
        for (const auto &pair : discoveryRecord(generatedElement(i)))
            text += pair.first.toUpper().toLatin1() + '=' + pair.second.trimmed().toLatin1() + "\r\n";
    }
    return text;
}

// Dates the file back (a different second each time), so that the store sees a changed
// file and parses it again on the next read, and does not hold it as just written.
inline void ageFile(const QString &path, int step)
{
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 600 + step;
    times[1] = times[0];
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}
