#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include "platform/ProgramExit.h"

TestEnvironment::TestEnvironment()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("db"));
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_dir.path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(m_dir.path() + QStringLiteral("/db")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path() + QStringLiteral("/runtime")));
    platform::setEndProgramHook([this](int code) {
        ++m_endCalls;
        m_lastExit = code;
    });
}

TestEnvironment::~TestEnvironment()
{
    platform::setEndProgramHook({});
}

void TestEnvironment::writeIni(const QString &text) const
{
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QString crlf = text;
        crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        f.write(crlf.toLatin1());
    }
}

QString TestEnvironment::readIni() const
{
    QFile f(iniPath());
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(f.readAll());
}
