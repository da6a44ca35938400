#include "protocol/MacResolution.h"

#include "platform/Arp.h"

#include <arpa/inet.h>

quint32 IPToAddress(const QString &text)
{
    // inet_addr stops at the first NUL; text that only looks like an address up to an
    // embedded NUL is not one.
    if (text.contains(QChar(0)))
        return 0;
    const QByteArray latin1 = text.toLatin1();
    const in_addr_t address = ::inet_addr(latin1.constData());
    if (address == INADDR_NONE)
        return 0;
    return static_cast<quint32>(address);
}

QString MACBytesToText(const QByteArray &bytes, const QString &delimiter)
{
    if (bytes.size() != 6)
        return QString();
    QString text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            text += delimiter;
        text += QStringLiteral("%1").arg(static_cast<quint8>(bytes.at(i)), 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

bool ResolveRemoteMAC(const QString &ip, QString &mac, const QString &delimiter)
{
    const quint32 address = IPToAddress(ip);
    if (address == 0)
        return false;

    QByteArray hardware;
    if (!platform::lookupHardwareAddressNow(address, &hardware) || hardware.isEmpty())
        return false;

    // An entry whose first four bytes are zero is an incomplete one, not an address.
    bool leadingZero = true;
    for (int i = 0; i < 4 && i < hardware.size(); ++i)
        leadingZero = leadingZero && hardware.at(i) == 0;
    if (leadingZero)
        return false;

    mac = MACBytesToText(hardware, delimiter);
    return true;
}
