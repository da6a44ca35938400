#include "diagnostics/ElementCommand.h"

#include "platform/AppDir.h"
#include "platform/UdpPort.h"
#include "store/ElementAddress.h"
#include "store/IniStore.h"

QString sendToStoredAddress(platform::UdpPort &socket, const QString &section,
                            const QByteArray &datagram, quint16 port)
{
    const ElementAddress target =
        elementAddress(ReadFromINI(section, QStringLiteral("ip"), platform::databasePath()));
    if (!target.usable())
        return target.problem;
    QString error;
    if (socket.sendTo(datagram, target.address, port, &error))
        return QString();
    return QStringLiteral("Sending to %1 failed: %2.").arg(target.address, error);
}
