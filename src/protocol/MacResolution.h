#pragma once
// Finding an element's MAC address from its IP address through the platform's ARP
// service. No window: the caller keeps the result (station::MacWait).

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Dotted text to an IPv4 address in network byte order, with the rules of inet_addr
// (so "10.1" or "0x0a.0.0.1" are addresses too). 0 when the text is not an address, and
// for 0.0.0.0 and 255.255.255.255, which name no single element.
quint32 IPToAddress(const QString &text);

// Six bytes as two upper-case hexadecimal digits each, joined by `delimiter`
// ("00:1A:2B:3C:4D:5E"); empty text for any other number of bytes.
QString MACBytesToText(const QByteArray &bytes, const QString &delimiter);

// Asks the ARP service for the hardware address of `ip`. True when the service answered
// with a non-empty address whose first four bytes are not all zero; `mac` then holds its
// text (empty when the address is not six bytes long). On false `mac` is left as it was.
// Never waits: without an entry it asks the kernel to resolve the address, and a later
// call (the next tick of the MAC wait) finds it.
bool ResolveRemoteMAC(const QString &ip, QString &mac, const QString &delimiter);
