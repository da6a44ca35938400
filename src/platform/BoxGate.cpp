#include "platform/BoxGate.h"

#include <QtDebug>

#include "platform/Log.h"
#include <utility>

namespace platform {

bool BoxGate::open(const QString &kind)
{
    if (countIfOpen(kind))
        return false;
    m_counts.insert(kind, 0);
    return true;
}

bool BoxGate::countIfOpen(const QString &kind)
{
    const auto it = m_counts.find(kind);
    if (it == m_counts.end())
        return false;
    ++*it;
    return true;
}

int BoxGate::take(const QString &kind)
{
    const auto it = m_counts.find(kind);
    if (it == m_counts.end())
        return 0;
    return std::exchange(*it, 0);
}

int BoxGate::close(const QString &kind)
{
    return m_counts.take(kind);
}

QString BoxGate::summary(const QString &text, int more)
{
    return text + QStringLiteral("\r… and %1 more like it.").arg(more);
}

void BoxGate::showOnce(const QString &kind, const QString &text, const std::function<void(const QString &)> &show)
{
    const QString key = kind.isEmpty() ? text : kind;
    if (!open(key))
        return;
    show(text);
    if (const int more = take(key); more > 0)
        show(summary(text, more));
    // One summary at most: what came while it was open only reaches the log.
    if (const int late = close(key); late > 0)
        qCWarning(lcNet).noquote() << late << "more like" << key << "while its summary was open";
}

} // namespace platform
