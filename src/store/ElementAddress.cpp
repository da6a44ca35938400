#include "store/ElementAddress.h"

#include <QStringList>

#include "store/TextHelpers.h"

ElementAddress elementAddress(const QString &storedIp)
{
    ElementAddress result;
    const QString text = storedIp.trimmed();
    if (text.isEmpty()) {
        result.problem = QStringLiteral("No IP address is stored for this element.");
        return result;
    }
    if (!IsValidIP(text)) {
        result.problem =
            QStringLiteral("The stored IP address \"%1\" of this element is not valid.").arg(storedIp);
        return result;
    }
    // Normalised from the four numbers, so "010.0.0.1" or blanks around a part cannot be
    // read differently by the socket layer than by the check above.
    QStringList octets;
    for (const QString &part : SplitIP(text))
        octets << QString::number(part.trimmed().toInt());
    const QString dotted = octets.join(QLatin1Char('.'));
    // 0.x reaches this computer, 224.x and above are multicast, reserved or the broadcast
    // address: none of them is one element, and a command for one element must never
    // reach every element (a configuration would hand them all one IP address).
    const int first = octets.first().toInt();
    if (first == 0 || first >= 224) {
        result.problem =
            QStringLiteral("The stored IP address \"%1\" of this element is not an element's address.")
                .arg(storedIp);
        return result;
    }
    result.address = dotted;
    return result;
}
