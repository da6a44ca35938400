#include "platform/Arp.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

#include "platform/Interfaces.h"

namespace platform {
namespace {

// How often the table is read again while the kernel resolves, and how often the
// kernel is nudged again (a FAILED entry only restarts probing when traffic is queued).
constexpr int kPollMs = 25;
constexpr int kNudgeMs = 500;

bool isRealHardwareAddress(const QByteArray &hw)
{
    return hw.size() == 6 && hw != QByteArray(6, '\0');
}

QByteArray interfaceBaseName(const char *name)
{
    // Address labels ("eth0:1") belong to the interface before the colon.
    QByteArray n(name);
    const int colon = n.indexOf(':');
    return colon < 0 ? n : n.left(colon);
}

// One rtnetlink socket for the length of one resolve call.
class NeighbourTable {
public:
    ~NeighbourTable()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // 1 found, 0 no complete entry, -1 the table could not be read.
    int lookup(quint32 address, QByteArray *hw, int interfaceIndex = 0)
    {
        return dump(address, hw, interfaceIndex, nullptr);
    }
    // Every complete entry; false when the table could not be read.
    bool readAll(QHash<quint64, QByteArray> *all) { return dump(0, nullptr, 0, all) >= 0; }

private:
    int dump(quint32 address, QByteArray *hw, int interfaceIndex, QHash<quint64, QByteArray> *all)
    {
        if (m_fd < 0 && !open())
            return -1;
        struct {
            nlmsghdr header;
            ndmsg message;
        } request;
        std::memset(&request, 0, sizeof request);
        request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
        request.header.nlmsg_type = RTM_GETNEIGH;
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request.header.nlmsg_seq = ++m_sequence;
        request.message.ndm_family = AF_INET;

        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_fd, &request, request.header.nlmsg_len, 0,
                     reinterpret_cast<sockaddr *>(&kernel), sizeof kernel) < 0)
            return -1;

        neighbour::DumpScan scan;
        scan.sequence = m_sequence;
        scan.interfaceIndex = interfaceIndex;
        scan.all = all;
        QByteArray buffer(32768, Qt::Uninitialized);
        // A dump is a handful of buffers; the bound only guards against a kernel that
        // never says DONE (the receive time-out guards against silence).
        for (int i = 0; i < 4096 && !scan.done && !scan.failed; ++i) {
            sockaddr_nl from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (from.nl_pid != 0)
                continue;   // only the kernel speaks for the table
            neighbour::scanNeighbourDump(QByteArray::fromRawData(buffer.constData(), int(n)),
                                         address, &scan);
        }
        if (!scan.done || scan.failed)
            return -1;
        if (!scan.found)
            return 0;
        if (hw)
            *hw = scan.hardwareAddress;
        return 1;
    }

    bool open()
    {
        m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (m_fd < 0)
            return false;
        timeval wait{0, 250000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0) {
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        return true;
    }

    int m_fd = -1;
    quint32 m_sequence = 0;
};

bool lookInProcNetArp(quint32 address, QByteArray *hw)
{
    QFile file(QStringLiteral("/proc/net/arp"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A proc file reports size 0: read until it stops giving.
    return neighbour::findInProcNetArp(file.readAll(), address, hw);
}

// Queues a zero-length datagram for the discard port: the kernel starts (or restarts)
// ARP for the address in order to deliver it, on the given link (0: where the routing
// table says).
void nudgeKernel(quint32 address, int link)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = address;
    sendOn(fd, QByteArray(), to, link);
    ::close(fd);
}

HardwareAddressLookup &replacedLookup()
{
    static HardwareAddressLookup lookup;
    return lookup;
}

} // namespace

namespace neighbour {

QList<LocalAddress> localAddresses()
{
    QList<LocalAddress> result;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (ifaddrs *a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_netmask)
            continue;
        LocalAddress local;
        local.address = reinterpret_cast<const sockaddr_in *>(a->ifa_addr)->sin_addr.s_addr;
        local.netmask = reinterpret_cast<const sockaddr_in *>(a->ifa_netmask)->sin_addr.s_addr;
        local.flags = a->ifa_flags;
        const QByteArray name = interfaceBaseName(a->ifa_name);
        for (ifaddrs *p = list; p; p = p->ifa_next) {
            if (p->ifa_addr && p->ifa_addr->sa_family == AF_PACKET && name == p->ifa_name) {
                const auto *ll = reinterpret_cast<const sockaddr_ll *>(p->ifa_addr);
                local.hardwareAddress = QByteArray(reinterpret_cast<const char *>(ll->sll_addr),
                                                   qMin<int>(ll->sll_halen, 8));
                break;
            }
        }
        result.append(local);
    }
    ::freeifaddrs(list);
    return result;
}

Reach classify(quint32 address, const QList<LocalAddress> &locals, QByteArray *ownHardwareAddress)
{
    const quint32 a = ntohl(address);
    if (a == 0 || a == 0xFFFFFFFFu)
        return Reach::Unreachable;
    if ((a >> 24) == 127 || (a >> 28) >= 0xE)   // loopback, multicast, reserved
        return Reach::Unreachable;

    for (const LocalAddress &local : locals) {
        if ((local.flags & IFF_UP) && !(local.flags & IFF_LOOPBACK) && local.address == address
            && isRealHardwareAddress(local.hardwareAddress)) {
            if (ownHardwareAddress)
                *ownHardwareAddress = local.hardwareAddress;
            return Reach::Own;
        }
    }

    bool inside = false;
    for (const LocalAddress &local : locals) {
        if (!(local.flags & IFF_UP) || (local.flags & (IFF_LOOPBACK | IFF_NOARP)))
            continue;
        const quint32 mask = ntohl(local.netmask);
        if ((a & mask) != (ntohl(local.address) & mask))
            continue;
        // In a /31 or /32 every address is a host; in a larger subnet the all-zeros and
        // all-ones hosts are the subnet itself and its broadcast, which no one answers for.
        const quint32 host = a & ~mask;
        if (~mask > 1u && (host == 0 || host == ~mask))
            return Reach::Unreachable;
        inside = true;
    }
    return inside ? Reach::OnLink : Reach::OffSubnet;
}

bool isCompleteState(quint16 state)
{
    return state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP);
}

namespace {

void scanNeighbourMessage(const char *data, size_t size, quint32 address, DumpScan *scan)
{
    ndmsg message;
    if (size < sizeof message)
        return;
    std::memcpy(&message, data, sizeof message);
    if (message.ndm_family != AF_INET)
        return;
    if (scan->interfaceIndex > 0 && message.ndm_ifindex != scan->interfaceIndex)
        return;
    bool addressMatches = false;
    QByteArray hw;
    size_t offset = NLMSG_ALIGN(sizeof message);
    while (offset + sizeof(rtattr) <= size) {
        rtattr attribute;
        std::memcpy(&attribute, data + offset, sizeof attribute);
        if (attribute.rta_len < sizeof attribute || attribute.rta_len > size - offset)
            return;   // malformed: ignore the whole entry
        const char *payload = data + offset + RTA_LENGTH(0);
        const size_t payloadSize = attribute.rta_len - RTA_LENGTH(0);
        if (attribute.rta_type == NDA_DST && payloadSize == 4) {
            quint32 dst;
            std::memcpy(&dst, payload, 4);
            addressMatches = dst == address;
        } else if (attribute.rta_type == NDA_LLADDR) {
            hw = QByteArray(payload, int(payloadSize));
        }
        offset += RTA_ALIGN(attribute.rta_len);
    }
    if (scan->all && isCompleteState(message.ndm_state) && isRealHardwareAddress(hw)) {
        quint32 dst = 0;
        for (size_t at = NLMSG_ALIGN(sizeof message); at + sizeof(rtattr) <= size;) {
            rtattr attribute;
            std::memcpy(&attribute, data + at, sizeof attribute);
            if (attribute.rta_type == NDA_DST && attribute.rta_len == RTA_LENGTH(4))
                std::memcpy(&dst, data + at + RTA_LENGTH(0), 4);
            at += RTA_ALIGN(attribute.rta_len);
        }
        if (dst != 0)
            scan->all->insert(quint64(dst) << 32 | quint32(message.ndm_ifindex), hw);
        return;
    }
    if (addressMatches && isCompleteState(message.ndm_state) && isRealHardwareAddress(hw)) {
        scan->found = true;
        scan->hardwareAddress = hw;
    }
}

} // namespace

void scanNeighbourDump(const QByteArray &buffer, quint32 address, DumpScan *scan)
{
    const char *data = buffer.constData();
    const size_t size = size_t(buffer.size());
    size_t offset = 0;
    while (!scan->done && !scan->failed && offset + sizeof(nlmsghdr) <= size) {
        nlmsghdr header;
        std::memcpy(&header, data + offset, sizeof header);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > size - offset) {
            scan->failed = true;
            return;
        }
        if (header.nlmsg_seq == scan->sequence) {
            if (header.nlmsg_type == NLMSG_DONE)
                scan->done = true;
            else if (header.nlmsg_type == NLMSG_ERROR)
                scan->failed = true;
            else if (header.nlmsg_type == RTM_NEWNEIGH && (!scan->found || scan->all))
                scanNeighbourMessage(data + offset + NLMSG_HDRLEN,
                                     header.nlmsg_len - NLMSG_HDRLEN, address, scan);
        }
        offset += NLMSG_ALIGN(header.nlmsg_len);
    }
}

bool findInProcNetArp(const QByteArray &text, quint32 address, QByteArray *hardwareAddress)
{
    constexpr int kComplete = 0x2;   // ATF_COM
    const QList<QByteArray> lines = text.split('\n');
    // The first line holds the column titles.
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 4)
            continue;
        in_addr ip{};
        if (::inet_pton(AF_INET, fields.at(0).constData(), &ip) != 1 || ip.s_addr != address)
            continue;
        bool ok = false;
        const int flags = fields.at(2).toInt(&ok, 16);   // "0x2": toInt accepts the prefix
        if (!ok || !(flags & kComplete))
            continue;
        const QList<QByteArray> octets = fields.at(3).split(':');
        if (octets.size() != 6)
            continue;
        QByteArray hw;
        for (const QByteArray &octet : octets) {
            const int value = octet.size() == 2 ? octet.toInt(&ok, 16) : -1;
            if (!ok || value < 0)
                break;
            hw.append(char(value));
        }
        if (!isRealHardwareAddress(hw))
            continue;
        if (hardwareAddress)
            *hardwareAddress = hw;
        return true;
    }
    return false;
}

} // namespace neighbour

bool resolveHardwareAddress(quint32 addressNetworkOrder, QByteArray *hardwareAddress,
                            int timeoutMs)
{
    QByteArray own;
    bool askKernel = true;
    const int heardOn = rememberedInterface(addressNetworkOrder);   // 0: not heard this run
    switch (neighbour::classify(addressNetworkOrder, neighbour::localAddresses(), &own)) {
    case neighbour::Reach::Unreachable:
        return false;
    case neighbour::Reach::Own:
        if (hardwareAddress)
            *hardwareAddress = own;
        return true;
    case neighbour::Reach::OffSubnet:
        // Only the link it was heard on can tell: an address no element has spoken from
        // is looked up in the table once (an element that asked for the station's
        // address is there already), but nothing is sent for it.
        askKernel = heardOn > 0;
        break;
    case neighbour::Reach::OnLink:
        break;
    }

    NeighbourTable table;
    bool useProc = false;
    QElapsedTimer clock;
    clock.start();
    qint64 lastNudge = -1;
    for (;;) {
        QByteArray hw;
        bool found = false;
        if (!useProc) {
            // An element heard on one link answers for its address there: an entry for
            // the same address on another link belongs to another host.
            const int r = table.lookup(addressNetworkOrder, &hw, heardOn);
            useProc = r < 0;
            found = r > 0;
        }
        if (useProc)
            found = lookInProcNetArp(addressNetworkOrder, &hw);
        if (found) {
            if (hardwareAddress)
                *hardwareAddress = hw;
            return true;
        }
        if (!askKernel)
            return false;
        qint64 elapsed = clock.elapsed();
        if (lastNudge < 0 || elapsed - lastNudge >= kNudgeMs) {
            nudgeKernel(addressNetworkOrder, heardOn);
            lastNudge = elapsed;
        }
        elapsed = clock.elapsed();
        if (elapsed >= timeoutMs)
            return false;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(qMin<qint64>(kPollMs, timeoutMs - elapsed)));
    }
}

NeighbourPlan planNeighbourLookup(quint32 addressNetworkOrder)
{
    NeighbourPlan plan;
    plan.link = rememberedInterface(addressNetworkOrder);
    if (replacedLookup()) {
        plan.kind = NeighbourPlan::Resolve;   // a test's lookup answers for every address
        return plan;
    }
    // A burst of answers asks for thousands of plans in a few seconds: the interfaces'
    // addresses are read once per tick of the MAC batch, not once per answer.
    static QList<neighbour::LocalAddress> locals;
    static QElapsedTimer localsAge;
    if (!localsAge.isValid() || localsAge.elapsed() >= 25) {
        locals = neighbour::localAddresses();
        localsAge.start();
    }
    switch (neighbour::classify(addressNetworkOrder, locals, &plan.own)) {
    case neighbour::Reach::Unreachable:
        plan.kind = NeighbourPlan::Fail;
        break;
    case neighbour::Reach::Own:
        plan.kind = NeighbourPlan::Own;
        break;
    case neighbour::Reach::OffSubnet:
        // As resolveHardwareAddress: only the link it was heard on may be asked.
        plan.kind = plan.link > 0 ? NeighbourPlan::Resolve : NeighbourPlan::TableOnly;
        break;
    case neighbour::Reach::OnLink:
        plan.kind = NeighbourPlan::Resolve;
        plan.onLink = true;
        break;
    }
    return plan;
}

namespace {

struct TableSnapshot {
    QHash<quint64, QByteArray> entries;
    QHash<quint32, QByteArray> byAddress;   // the same, for an element heard on no known link
    QElapsedTimer age;
    bool readable = false;
};

TableSnapshot &snapshot()
{
    static TableSnapshot s;
    return s;
}

} // namespace

bool lookupInTable(quint32 addressNetworkOrder, int link, QByteArray *hardwareAddress, int maxAgeMs)
{
    if (const HardwareAddressLookup &lookup = replacedLookup())
        return lookup(addressNetworkOrder, hardwareAddress);
    TableSnapshot &s = snapshot();
    if (!s.age.isValid() || s.age.elapsed() >= maxAgeMs) {
        s.entries.clear();
        NeighbourTable table;
        s.readable = table.readAll(&s.entries);
        s.byAddress.clear();
        for (auto it = s.entries.constBegin(); it != s.entries.constEnd(); ++it)
            s.byAddress.insert(quint32(it.key() >> 32), *it);
        s.age.start();
    }
    if (!s.readable)
        return lookInProcNetArp(addressNetworkOrder, hardwareAddress);
    if (link > 0) {
        // An element heard on one link answers for its address there only.
        const auto it = s.entries.constFind(quint64(addressNetworkOrder) << 32 | quint32(link));
        if (it == s.entries.constEnd())
            return false;
        *hardwareAddress = *it;
        return true;
    }
    const auto it = s.byAddress.constFind(addressNetworkOrder);
    if (it == s.byAddress.constEnd())
        return false;
    *hardwareAddress = *it;
    return true;
}

void nudgeNeighbour(quint32 addressNetworkOrder, int link)
{
    nudgeKernel(addressNetworkOrder, link);
}

bool lookupHardwareAddressNow(quint32 addressNetworkOrder, QByteArray *hardwareAddress)
{
    if (const HardwareAddressLookup &lookup = replacedLookup())
        return lookup(addressNetworkOrder, hardwareAddress);
    const NeighbourPlan plan = planNeighbourLookup(addressNetworkOrder);
    switch (plan.kind) {
    case NeighbourPlan::Fail:
        return false;
    case NeighbourPlan::Own:
        *hardwareAddress = plan.own;
        return true;
    case NeighbourPlan::TableOnly:
        return lookupInTable(addressNetworkOrder, plan.link, hardwareAddress, 0);
    case NeighbourPlan::Resolve:
        break;
    }
    if (lookupInTable(addressNetworkOrder, plan.link, hardwareAddress, 0))
        return true;
    nudgeKernel(addressNetworkOrder, plan.link);
    return false;
}

void startResolving(quint32 addressNetworkOrder)
{
    if (replacedLookup())
        return;
    const NeighbourPlan plan = planNeighbourLookup(addressNetworkOrder);
    if (plan.kind == NeighbourPlan::Resolve)
        nudgeKernel(addressNetworkOrder, plan.link);
}

bool lookupReplaced()
{
    return bool(replacedLookup());
}

void setHardwareAddressLookup(HardwareAddressLookup lookup)
{
    replacedLookup() = std::move(lookup);
}

bool lookupHardwareAddress(quint32 addressNetworkOrder, QByteArray *hardwareAddress)
{
    if (const HardwareAddressLookup &lookup = replacedLookup())
        return lookup(addressNetworkOrder, hardwareAddress);
    return resolveHardwareAddress(addressNetworkOrder, hardwareAddress, 1000);
}

} // namespace platform
