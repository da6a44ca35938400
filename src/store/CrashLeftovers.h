#pragma once
// What a station that ended abruptly leaves beside the database, and how the next start
// puts it right. Only a station alone with the database folder (platform::FolderUse)
// may call the functions that remove or replace files.

#include <QString>
#include <QStringList>

// Removes the store's temporary files (".nms.ini.XXXXXX", written and renamed over the
// database by every write) that a station killed in the middle of a write left behind.
// Returns the names removed.
QStringList removeStoreLeftovers(const QString &databasePath);

// Present from the moment a discovery has emptied the database until its run has
// ended: found at start-up, it means nms.ini may hold only part of the answers, and the
// previous database is nms.ini.bak.
class DiscoveryMark {
public:
    explicit DiscoveryMark(const QString &databasePath);   // writes the mark
    ~DiscoveryMark();                                      // removes it
    DiscoveryMark(const DiscoveryMark &) = delete;
    DiscoveryMark &operator=(const DiscoveryMark &) = delete;

    static QString path(const QString &databasePath);

private:
    QString m_path;
};

// The second name a running discovery gives the database it replaced (a hard link beside
// it), and the one file through which linkFileOver makes such names.
QString keptDatabasePath(const QString &databasePath);
// Makes `to` a second name of `from`, replacing what `to` was in one step; false where
// the file system has no hard links.
bool linkFileOver(const QString &from, const QString &to);

// Where the database a discovery replaced is kept: `.nms.ini.previous` beside it while
// that discovery runs (it survives a station that ended inside one), else nms.ini.bak.
QString previousDatabasePath(const QString &databasePath);

// Removes what a discovery keeps beside the database while it runs (the previous
// database's second name), once the question about an unfinished one has been answered.
void removeDiscoveryLeftovers(const QString &databasePath);

// Puts the previous database back in place of nms.ini (one atomic rename); false with
// the reason.
bool putBackPreviousDatabase(const QString &databasePath, QString *error);
