#include "platform/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

InstanceLock::InstanceLock()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    m_path = dir + QStringLiteral("/brivolte-nms.lock");
    m_lock = std::make_unique<QLockFile>(m_path);
    // Never stale by age: a running station may hold it for weeks. QLockFile still
    // removes a lock whose owning process no longer exists.
    m_lock->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryAcquire()
{
    if (m_lock->isLocked())
        return true;
    // tryLock() itself takes over a lock whose owner process is gone (crash, kill -9).
    return m_lock->tryLock(0);
}

} // namespace platform
