#pragma once
// What the kernel still holds for the UDP sockets bound to a local port of this network
// namespace (the receive queue column of /proc/net/udp), to tell that a flood was read.

#include <QFile>
#include <QString>
#include <QtGlobal>

// Bytes waiting; -1 when no socket is bound to the port.
inline qint64 receiveQueueBytes(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    qint64 total = -1;
    const QString suffix = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    table.readLine();   // header
    while (!table.atEnd()) {
        // sl local_address rem_address st tx_queue:rx_queue …
        const QStringList fields = QString::fromLatin1(table.readLine()).simplified().split(QLatin1Char(' '));
        if (fields.size() < 5 || !fields.at(1).endsWith(suffix))
            continue;
        total = qMax<qint64>(total, 0) + fields.at(4).section(QLatin1Char(':'), 1).toLongLong(nullptr, 16);
    }
    return total;
}
