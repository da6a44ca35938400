#pragma once
// One station per user: a lock file in the per-user runtime folder, held for the
// program's life. A lock left by a crashed instance (its process is gone) is taken over.

#include <QLockFile>
#include <QString>
#include <memory>

namespace platform {

class InstanceLock {
public:
    InstanceLock();
    ~InstanceLock();
    // False when another live instance holds the lock.
    bool tryAcquire();
    QString path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace platform
