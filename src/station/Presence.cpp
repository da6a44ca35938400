#include "station/Presence.h"

#include <QHostAddress>
#include <QtEndian>

#include "platform/Log.h"
#include "protocol/MacResolution.h"

namespace station {

QString presenceText(std::optional<qint64> msAgo, const QString &interfaceName)
{
    if (!msAgo)
        return QStringLiteral("not heard since the station started");
    const qint64 s = *msAgo / 1000;
    QString ago;
    if (s < 120)
        ago = QStringLiteral("%1 s").arg(s);
    else if (s < 2 * 3600)
        ago = QStringLiteral("%1 min").arg(s / 60);
    else
        ago = QStringLiteral("%1 h").arg(s / 3600);
    return interfaceName.isEmpty() ? QStringLiteral("last heard %1 ago").arg(ago)
                                   : QStringLiteral("last heard %1 ago on %2").arg(ago, interfaceName);
}

Presence::Presence(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
}

void Presence::heard(const QString &address, int interfaceIndex)
{
    heard(IPToAddress(address), interfaceIndex);
}

bool Presence::wasHeard(const QString &address) const
{
    const quint32 a = IPToAddress(address);
    return a && m_heard.contains(a);
}

void Presence::heard(quint32 address, int interfaceIndex)
{
    if (!address)
        return;
    auto it = m_heard.find(address);
    const bool first = it == m_heard.end();
    if (first)
        it = m_heard.insert(address, {});
    it->at = m_clock.elapsed();
    // A ping answer does not say where it came in: the interface of a datagram stays.
    if (interfaceIndex > 0)
        it->interfaceIndex = interfaceIndex;
    if (first)
        emit firstHeard(QHostAddress(qFromBigEndian(address)).toString());
}

std::optional<qint64> Presence::msSinceHeard(const QString &address) const
{
    const auto it = m_heard.constFind(IPToAddress(address));
    if (it == m_heard.constEnd())
        return std::nullopt;
    return m_clock.elapsed() - it->at;
}

QString Presence::text(const QString &address) const
{
    const auto it = m_heard.constFind(IPToAddress(address));
    return presenceText(msSinceHeard(address), it == m_heard.constEnd() ? QString() : platform::interfaceName(it->interfaceIndex));
}

} // namespace station
