#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "platform/Interfaces.h"
#include "platform/ProgramExit.h"

bool inLabStationNamespace()
{
    static const bool inside = [] {
        const QByteArray prefix = qgetenv("BRIVOLTE_LAB_NETNS");
        if (prefix.isEmpty())
            return false;
        // The environment alone could be inherited by mistake: ask the kernel's names.
        QProcess ip;
        ip.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("identify"),
                                        QString::number(QCoreApplication::applicationPid())});
        if (!ip.waitForFinished(5000)) {
            ip.kill();
            ip.waitForFinished(1000);
            return false;
        }
        return ip.readAllStandardOutput().trimmed() == prefix + "station";
    }();
    return inside;
}

void guardHostNamespace()
{
    if (inLabStationNamespace()) {
        platform::setInterfaceLister({});
        return;
    }
    platform::setInterfaceLister([](bool forPaging) {
        if (forPaging)
            QTest::qFail("a paging request from the host's own network namespace", __FILE__, __LINE__);
        return QList<platform::NetInterface>();
    });
}

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
    guardHostNamespace();
    platform::forgetInterfaces();
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
