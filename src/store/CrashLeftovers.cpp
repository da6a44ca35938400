#include "store/CrashLeftovers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// mkostemp's six characters: letters and digits.
bool isTemporaryName(const QString &name, const QString &prefix)
{
    if (name.size() != prefix.size() + 6 || !name.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')))
            return false;
    }
    return true;
}

} // namespace

QStringList removeStoreLeftovers(const QString &databasePath)
{
    // A database reached through a symbolic link is written beside the link's target.
    QFileInfo database(databasePath);
    if (database.isSymLink())
        database = QFileInfo(database.symLinkTarget());
    const QString prefix = QLatin1Char('.') + database.fileName() + QLatin1Char('.');
    QDir folder = database.absoluteDir();
    QStringList removed;
    const QStringList candidates =
        folder.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : candidates) {
        if (isTemporaryName(name, prefix) && folder.remove(name))
            removed << name;
    }
    return removed;
}

QString DiscoveryMark::path(const QString &databasePath)
{
    return databasePath + QStringLiteral(".discovering");
}

DiscoveryMark::DiscoveryMark(const QString &databasePath)
    : m_path(path(databasePath))
{
    // Its presence is what counts, and creating a file is atomic; the line is for a person
    // who finds it.
    QFile mark(m_path);
    if (mark.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        mark.write(QStringLiteral("Auto discovery started %1; the previous database is %2\n")
                       .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                            QFileInfo(previousDatabasePath(databasePath)).fileName())
                       .toUtf8());
    }
}

DiscoveryMark::~DiscoveryMark()
{
    QFile::remove(m_path);
}

namespace {

QString linkTemporaryPath(const QString &besidePath)
{
    return QFileInfo(besidePath).absolutePath() + QStringLiteral("/.nms.ini.link");
}

} // namespace

QString keptDatabasePath(const QString &databasePath)
{
    return QFileInfo(databasePath).absolutePath() + QStringLiteral("/.nms.ini.previous");
}

bool linkFileOver(const QString &from, const QString &to)
{
    const QByteArray target = QFile::encodeName(to);
    const QByteArray temp = QFile::encodeName(linkTemporaryPath(to));
    ::unlink(temp.constData());
    if (::link(QFile::encodeName(from).constData(), temp.constData()) != 0)
        return false;
    if (::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

void removeDiscoveryLeftovers(const QString &databasePath)
{
    QFile::remove(keptDatabasePath(databasePath));
    QFile::remove(linkTemporaryPath(databasePath));
}

QString previousDatabasePath(const QString &databasePath)
{
    const QString kept = keptDatabasePath(databasePath);
    return QFile::exists(kept) ? kept : databasePath + QStringLiteral(".bak");
}

bool putBackPreviousDatabase(const QString &databasePath, QString *error)
{
    const QByteArray backup = QFile::encodeName(previousDatabasePath(databasePath));
    if (std::rename(backup.constData(), QFile::encodeName(databasePath).constData()) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
