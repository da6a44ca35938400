#include "InterfaceAddress.h"

#include "ElementModel.h"

#include <QStandardPaths>
#include <unistd.h>

namespace sim {

namespace {

QString ipTool()
{
    // Root's PATH normally has /usr/sbin; a trimmed environment (sudo, ctest) may not.
    QString path = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("ip"),
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                               QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
    return path;
}

QString cidr(quint32 address, quint32 mask)
{
    // A mask that is not contiguous is handed to `ip` as it is and refused there.
    const std::optional<int> prefix = prefixLength(mask);
    return dotted(address) + QLatin1Char('/') + (prefix ? QString::number(*prefix) : dotted(mask));
}

} // namespace

InterfaceAddress::InterfaceAddress(QObject *parent)
    : QObject(parent)
    , m_process(this)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::finished, this, &InterfaceAddress::stepFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            stepFinished(-1, QProcess::CrashExit);
    });
}

bool InterfaceAddress::runningAsRoot()
{
    return ::geteuid() == 0;
}

void InterfaceAddress::change(const QString &interfaceName, quint32 oldIp, quint32 oldMask,
                              quint32 newIp, quint32 newMask, quint32 gateway, quint32 peer,
                              std::function<void(bool, const QString &)> done)
{
    m_done = std::move(done);
    m_detail.clear();
    m_steps.clear();
    m_busy = true;
    const QString dev = interfaceName;
    // Old address first: removing a primary address would take secondaries with it.
    m_steps.append({{QStringLiteral("addr"), QStringLiteral("del"), cidr(oldIp, oldMask),
                     QStringLiteral("dev"), dev}, false});
    m_steps.append({{QStringLiteral("addr"), QStringLiteral("add"), cidr(newIp, newMask),
                     QStringLiteral("dev"), dev}, true});
    const bool gatewayUsable = gateway != 0 && gateway != newIp
                               && (gateway & newMask) == (newIp & newMask);
    if (gatewayUsable)
        m_steps.append({{QStringLiteral("route"), QStringLiteral("replace"), QStringLiteral("default"),
                         QStringLiteral("via"), dotted(gateway), QStringLiteral("dev"), dev}, false});
    if (peer != 0 && (peer & newMask) != (newIp & newMask))
        m_steps.append({{QStringLiteral("route"), QStringLiteral("replace"), dotted(peer) + QStringLiteral("/32"),
                         QStringLiteral("dev"), dev}, false});
    m_rollback = {QStringLiteral("addr"), QStringLiteral("replace"), cidr(oldIp, oldMask),
                  QStringLiteral("dev"), dev};
    runNext();
}

void InterfaceAddress::runNext()
{
    if (m_steps.isEmpty()) {
        m_busy = false;
        if (m_done)
            m_done(true, m_detail);
        return;
    }
    const QString tool = ipTool();
    if (tool.isEmpty()) {
        m_steps.clear();
        m_busy = false;
        if (m_done)
            m_done(false, QStringLiteral("the ip tool (iproute2) is not installed"));
        return;
    }
    m_process.start(tool, m_steps.first().args);
}

void InterfaceAddress::stepFinished(int exitCode, QProcess::ExitStatus status)
{
    if (m_steps.isEmpty())
        return;   // the rollback, or a late signal after a failed start
    const Step step = m_steps.takeFirst();
    const bool ok = status == QProcess::NormalExit && exitCode == 0;
    if (!ok) {
        const QString out = QString::fromLocal8Bit(m_process.readAll()).trimmed();
        m_detail += QStringLiteral("ip %1 failed%2; ").arg(step.args.join(QLatin1Char(' ')),
                                                           out.isEmpty() ? QString() : QStringLiteral(": ") + out);
        if (step.mustSucceed) {
            m_steps.clear();
            m_busy = false;
            // Put the old address back so the element stays reachable where it was.
            QProcess::startDetached(ipTool(), m_rollback);
            if (m_done)
                m_done(false, m_detail);
            return;
        }
    }
    // Not from inside finished(): start the next command once this one is fully done.
    QMetaObject::invokeMethod(this, &InterfaceAddress::runNext, Qt::QueuedConnection);
}

} // namespace sim
