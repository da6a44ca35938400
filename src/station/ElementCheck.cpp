#include "station/ElementCheck.h"

#include "platform/IcmpEcho.h"
#include "platform/Log.h"
#include "station/Presence.h"

namespace station {

ElementCheck::ElementCheck(Presence &presence, QObject *parent)
    : QObject(parent)
    , m_presence(presence)
{
}

ElementCheck::~ElementCheck() = default;

QString ElementCheck::summary() const
{
    return QStringLiteral("Check elements: %1 on line, %2 silent").arg(m_onLine).arg(m_silent);
}

std::optional<bool> ElementCheck::result(const QString &mac) const
{
    const auto it = m_results.constFind(mac);
    return it == m_results.constEnd() ? std::nullopt : std::optional<bool>(*it);
}

void ElementCheck::start(const QList<StoredElement> &elements)
{
    for (auto &echo : m_echoes)
        echo->cancel();
    m_out.clear();
    m_results.clear();
    m_waiting.assign(elements.begin(), elements.end());
    m_outstanding = int(elements.size());
    m_onLine = m_silent = 0;
    while (int(m_echoes.size()) < qMin(kInFlight, m_outstanding)) {
        m_echoes.push_back(std::make_unique<platform::IcmpEcho>());
        platform::IcmpEcho *echo = m_echoes.back().get();
        connect(echo, &platform::IcmpEcho::finished, this, [this, echo](int status, quint32 ms) {
            const StoredElement element = m_out.take(echo);
            done(element, status == platform::IcmpEcho::kSuccess,
                 status == platform::IcmpEcho::kSuccess ? QStringLiteral("%1 ms").arg(ms) : QStringLiteral("no answer"));
            next(echo);
        });
    }
    if (m_outstanding == 0) {
        emit finished();
        return;
    }
    for (int i = 0; i < int(m_echoes.size()) && !m_waiting.empty(); ++i)
        next(m_echoes[size_t(i)].get());
}

// The next element on a free request; one whose request cannot go out is silent at once.
void ElementCheck::next(platform::IcmpEcho *echo)
{
    while (!m_waiting.empty()) {
        const StoredElement element = m_waiting.front();
        m_waiting.pop_front();
        if (echo->start(element.ip, QByteArrayLiteral("hello"), kTimeoutMs)) {
            m_out.insert(echo, element);
            return;
        }
        done(element, false, echo->failureReason());
    }
}

void ElementCheck::done(const StoredElement &element, bool onLine, const QString &why)
{
    const platform::ElementTag tag{element.name, element.mac, element.ip, QString()};
    if (onLine) {
        ++m_onLine;
        m_presence.heard(element.ip);
        qCInfo(lcPing).noquote() << platform::tagged(tag, QStringLiteral("check: on line (%1)").arg(why));
    } else {
        ++m_silent;
        qCWarning(lcPing).noquote() << platform::tagged(tag, QStringLiteral("check: silent (%1)").arg(why));
    }
    m_results.insert(element.mac, onLine);
    emit checked(element.mac, onLine);
    if (--m_outstanding == 0) {
        qCInfo(lcPing).noquote() << summary();
        emit finished();
    }
}

} // namespace station
