#include "platform/Interfaces.h"

#include <QHash>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {
namespace {

QStringList &namesInForce()
{
    static QStringList names;
    return names;
}

InterfaceLister &replacedLister()
{
    static InterfaceLister lister;
    return lister;
}

QList<NetInterface> listFor(bool forPaging)
{
    if (const InterfaceLister &lister = replacedLister())
        return lister(forPaging);
    return ipv4Interfaces();
}

QHash<quint32, int> &heard()
{
    static QHash<quint32, int> table;
    return table;
}

// The interface an address label ("eth0:1") belongs to.
QString baseName(const char *name)
{
    const QString n = QString::fromLocal8Bit(name);
    const int colon = n.indexOf(QLatin1Char(':'));
    return colon < 0 ? n : n.left(colon);
}

} // namespace

QList<NetInterface> ipv4Interfaces()
{
    QList<NetInterface> result;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (ifaddrs *a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
            continue;
        const QString name = baseName(a->ifa_name);
        bool known = false;
        for (const NetInterface &i : result)
            known = known || i.name == name;
        if (known)
            continue;
        NetInterface i;
        i.name = name;
        i.index = int(::if_nametoindex(name.toLocal8Bit().constData()));
        i.address = reinterpret_cast<const sockaddr_in *>(a->ifa_addr)->sin_addr.s_addr;
        if (a->ifa_netmask)
            i.netmask = reinterpret_cast<const sockaddr_in *>(a->ifa_netmask)->sin_addr.s_addr;
        i.up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING);
        i.loopback = a->ifa_flags & IFF_LOOPBACK;
        i.broadcast = a->ifa_flags & IFF_BROADCAST;
        result.append(i);
    }
    ::freeifaddrs(list);
    return result;
}

QList<PagingTarget> selectPagingTargets(const QList<NetInterface> &all, const QStringList &only)
{
    QList<PagingTarget> targets;
    if (only.isEmpty()) {
        for (const NetInterface &i : all)
            if (i.up && !i.loopback && i.broadcast && i.index > 0)
                targets.append({i.index, i.name, QString()});
        return targets;
    }
    for (const QString &name : only) {
        PagingTarget t{0, name, QString()};
        const NetInterface *found = nullptr;
        for (const NetInterface &i : all)
            if (i.name == name)
                found = &i;
        if (!found) {
            // An interface without an IPv4 address is not in the list either.
            t.index = int(::if_nametoindex(name.toLocal8Bit().constData()));
            t.problem = t.index > 0 ? QStringLiteral("has no IPv4 address")
                                    : QStringLiteral("no such interface");
        } else {
            t.index = found->index;
            if (found->loopback || !found->broadcast)
                t.problem = QStringLiteral("cannot broadcast");
            else if (!found->up)
                t.problem = QStringLiteral("is down");
        }
        targets.append(t);
    }
    return targets;
}

void setPagingInterfaceNames(const QStringList &names)
{
    namesInForce() = names;
}

QList<PagingTarget> pagingTargets()
{
    return selectPagingTargets(listFor(true), namesInForce());
}

void setInterfaceLister(InterfaceLister lister)
{
    replacedLister() = std::move(lister);
}

void rememberInterface(quint32 addressNetworkOrder, int interfaceIndex)
{
    if (addressNetworkOrder == 0 || interfaceIndex <= 0)
        return;
    // Every datagram that arrives is remembered, junk included: a flood from forged
    // senders must not grow this without end. Starting over costs only a routed send.
    constexpr int kMostRemembered = 65536;
    if (heard().size() >= kMostRemembered && !heard().contains(addressNetworkOrder))
        heard().clear();
    heard().insert(addressNetworkOrder, interfaceIndex);
}

int rememberedInterface(quint32 addressNetworkOrder)
{
    return heard().value(addressNetworkOrder, 0);
}

void forgetInterfaces()
{
    heard().clear();
}

int sendOn(int fd, const QByteArray &datagram, const sockaddr_in &to, int interfaceIndex)
{
    iovec data{const_cast<char *>(datagram.constData()), size_t(datagram.size())};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in *>(&to);
    message.msg_namelen = sizeof to;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (interfaceIndex > 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = interfaceIndex;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (::sendmsg(fd, &message, MSG_NOSIGNAL) >= 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
    return EINTR;
}

int sendToNeighbour(int fd, const QByteArray &datagram, const sockaddr_in &to)
{
    const int known = rememberedInterface(to.sin_addr.s_addr);
    if (known > 0) {
        const int error = sendOn(fd, datagram, to, known);
        // The interface may have gone since (a USB adapter pulled out): try the others.
        if (error != ENODEV && error != ENXIO)
            return error;
    }
    int error = sendOn(fd, datagram, to, 0);
    if (error != ENETUNREACH && error != EHOSTUNREACH)
        return error;
    bool sent = false;
    // Where a datagram goes when no route leads to its address.
    for (const PagingTarget &t : selectPagingTargets(listFor(false), namesInForce())) {
        if (!t.problem.isEmpty())
            continue;
        const int e = sendOn(fd, datagram, to, t.index);
        if (e == 0)
            sent = true;
        else
            error = e;
    }
    return sent ? 0 : error;
}

bool isSocketBroken(int error)
{
    return error == EBADF || error == ENOTSOCK || error == EDESTADDRREQ;
}

} // namespace platform
