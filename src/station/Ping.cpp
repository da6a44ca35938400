#include "station/Ping.h"

#include <QStringList>
#include <utility>

#include "diagnostics/PingStatus.h"
#include "platform/Log.h"
#include "store/TextHelpers.h"

namespace station {

namespace {

PingFace failed(const QString &reason = QString())
{
    return {PingFace::State::Failure, QStringLiteral("Failed!"), reason, false};
}

} // namespace

Ping::Ping(QObject *parent)
    : QObject(parent)
    , m_echo(this)
{
    connect(&m_echo, &platform::IcmpEcho::finished, this, [this](int status, quint32 roundTripMs) {
        const QString element = std::exchange(m_element, QString());
        const platform::ElementTag tag{QString(), QString(), std::exchange(m_address, QString()), QString()};
        if (GetStatusText(status) == QLatin1String("Success!")) {
            qCInfo(lcPing).noquote() << platform::tagged(tag, QStringLiteral("ping answered in %1 ms").arg(roundTripMs));
            emit heard(tag.address);
            emit finished({PingFace::State::Success, QString::number(roundTripMs) + QStringLiteral(" ms"), QString(), false},
                          element);
        } else {
            qCWarning(lcPing).noquote() << platform::tagged(tag, QStringLiteral("ping failed: %1").arg(GetStatusText(status)));
            emit finished(failed(), element);
        }
    });
}

PingFace Ping::PingElement(const QString &address, const QString &element)
{
    if (!IsValidIP(address))
        return {PingFace::State::Trying, QStringLiteral("Trying..."), QString(), false};
    QStringList octets;
    for (const QString &part : SplitIP(address))
        octets << QString::number(part.trimmed().toInt());
    const QString dotted = octets.join(QLatin1Char('.'));
    // Neither is a host to ask: no request goes out for them.
    if (dotted == QLatin1String("0.0.0.0") || dotted == QLatin1String("255.255.255.255"))
        return failed();
    m_echo.cancel();
    m_element = element;
    m_address = dotted;
    if (!m_echo.start(dotted, QByteArrayLiteral("hello"), kTimeoutMs)) {
        qCWarning(lcPing).noquote() << platform::tagged({QString(), QString(), dotted, QString()},
                                                        QStringLiteral("ping not sent: %1").arg(m_echo.failureReason()));
        m_element.clear();
        return failed(m_echo.failureReason());
    }
    return {PingFace::State::Trying, QStringLiteral("Trying..."), QString(), true};
}

void Ping::cancel()
{
    m_echo.cancel();
    m_element.clear();
}

} // namespace station
