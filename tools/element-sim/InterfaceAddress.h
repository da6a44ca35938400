#pragma once
// Moves a real interface to a new IPv4 address with the `ip` tool, so that the kernel
// answers ARP and ICMP on the address the element now reports. Needs root (inside the
// lab's element namespace). The commands run one after another without blocking the
// event loop; done() is called once, on the owner's thread.

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <functional>

namespace sim {

class InterfaceAddress : public QObject {
    Q_OBJECT
public:
    explicit InterfaceAddress(QObject *parent = nullptr);

    // Address and mask in host order. `gateway` becomes the default route when it lies
    // in the new subnet (0 or off-subnet: left alone). `peer` (the sender of the command)
    // gets a host route when the new subnet does not hold it, so the answer can still
    // reach it on the link. ok is false when the new address could not be set; the old
    // one has then been put back.
    void change(const QString &interfaceName, quint32 oldIp, quint32 oldMask, quint32 newIp,
                quint32 newMask, quint32 gateway, quint32 peer,
                std::function<void(bool ok, const QString &detail)> done);
    bool isBusy() const { return m_busy; }

    static bool runningAsRoot();

private:
    struct Step {
        QStringList args;
        bool mustSucceed = false;
    };
    void runNext();
    void stepFinished(int exitCode, QProcess::ExitStatus status);

    QProcess m_process;
    QList<Step> m_steps;
    QStringList m_rollback;
    QString m_detail;
    bool m_busy = false;
    std::function<void(bool, const QString &)> m_done;
};

} // namespace sim
