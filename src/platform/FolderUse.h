#pragma once
// Which stations use a database folder. The single-instance lock is per user, but two
// users can run stations on one folder (a portable copy, a shared BRIVOLTE_NMS_DIR).
// Every station holds a shared lock on the folder for its whole life, so that one coming
// can tell whether it is the only one there; the kernel drops the lock of one that dies.

#include <QString>

namespace platform {

class FolderUse {
public:
    // Takes the folder for this station alone when no other station uses it; otherwise
    // joins the others at once.
    explicit FolderUse(const QString &folder);
    ~FolderUse();
    FolderUse(const FolderUse &) = delete;
    FolderUse &operator=(const FolderUse &) = delete;

    // True until share(): no other station uses the folder, so nothing in it is being
    // written by anyone else, and none can join before share().
    bool alone() const { return m_alone; }
    // From now on others see this station as one user of the folder among several.
    void share();

private:
    int m_fd = -1;
    bool m_alone = false;
};

} // namespace platform
