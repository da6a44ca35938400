#include "platform/FolderUse.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

FolderUse::FolderUse(const QString &folder)
{
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    m_alone = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    if (!m_alone)
        share();
}

FolderUse::~FolderUse()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FolderUse::share()
{
    m_alone = false;
    if (m_fd < 0)
        return;
    // Another station holds the folder alone only while it clears what a crashed one left,
    // a matter of milliseconds; a start-up is not held up longer than a tenth of a second.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::flock(m_fd, LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK)
            return;
        ::usleep(1000);
    }
}

} // namespace platform
