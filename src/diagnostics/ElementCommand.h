#pragma once
// One command to the selected element at the address its record holds, read afresh for
// every datagram (the operator may have rediscovered it meanwhile).

#include <QByteArray>
#include <QString>

namespace platform {
class UdpPort;
}

// Sends `datagram` from `socket` to the "ip" stored in `section` of the database, on
// `port`. Returns what went wrong in plain words, or an empty text when it was sent.
QString sendToStoredAddress(platform::UdpPort &socket, const QString &section,
                            const QByteArray &datagram, quint16 port);
