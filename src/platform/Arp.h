#pragma once
// The kernel's IPv4 neighbour table as the station's ARP service: no root needed.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QtGlobal>
#include <functional>

namespace platform {

// Hardware address of an IPv4 neighbour (address in network byte order, as inet_addr
// gives it). Looks in the neighbour table (rtnetlink, /proc/net/arp as a fallback); when
// there is no complete entry, makes the kernel resolve the address and looks again until
// timeoutMs has passed. Only a complete entry counts. One of this host's own addresses
// gives its interface's address. 0.0.0.0, 255.255.255.255, multicast and loopback give
// false at once, with nothing sent. An address off every local subnet is resolved on the
// link it was last heard on (Interfaces.h); one not heard this run is only looked up in
// the table, without sending. Blocks the caller (at most
// about timeoutMs).
bool resolveHardwareAddress(quint32 addressNetworkOrder, QByteArray *hardwareAddress,
                            int timeoutMs = 1000);

// Tests replace the lookup (to count attempts or answer at the third); empty restores it.
using HardwareAddressLookup = std::function<bool(quint32, QByteArray *)>;
void setHardwareAddressLookup(HardwareAddressLookup lookup);
// The lookup in force (the real one or the test's).
bool lookupHardwareAddress(quint32 addressNetworkOrder, QByteArray *hardwareAddress);

// A burst of discovery answers is resolved together, without blocking: what the station
// may do for an address (plan), one look in the table as it was read at most maxAgeMs
// ago (one read of the table serves every element looked up meanwhile), and a nudge
// that makes the kernel resolve the address while the caller goes on.
struct NeighbourPlan {
    enum Kind { Fail, Own, TableOnly, Resolve } kind = Fail;
    int link = 0;              // the interface to look on and nudge through (0: any)
    bool onLink = false;       // inside the subnet of an interface: no gateway in between
    QByteArray own;            // Own: this host's interface address
};
NeighbourPlan planNeighbourLookup(quint32 addressNetworkOrder);
bool lookupInTable(quint32 addressNetworkOrder, int link, QByteArray *hardwareAddress, int maxAgeMs);
void nudgeNeighbour(quint32 addressNetworkOrder, int link);
// The lookup in force without waiting: a complete entry now, or false after asking the
// kernel to resolve the address (a later call finds it); startResolving only asks.
bool lookupHardwareAddressNow(quint32 addressNetworkOrder, QByteArray *hardwareAddress);
void startResolving(quint32 addressNetworkOrder);
// Whether a test has replaced the lookup (lookupInTable then asks it instead).
bool lookupReplaced();

// The pieces resolveHardwareAddress is made of, open to tests that feed them crafted
// kernel output. All addresses in network byte order.
namespace neighbour {

// One IPv4 address of a local interface.
struct LocalAddress {
    quint32 address = 0;
    quint32 netmask = 0;
    unsigned flags = 0;           // IFF_* of the interface
    QByteArray hardwareAddress;   // the interface's own link-layer address, may be empty
};

// The interfaces' IPv4 addresses now (getifaddrs).
QList<LocalAddress> localAddresses();

enum class Reach {
    Unreachable,   // no ARP can answer: zero, broadcast, multicast, loopback, a subnet's own
                   // or broadcast address
    OffSubnet,     // outside every local subnet: only on a link the station names itself
    OnLink,        // inside the subnet of an up, ARP-speaking interface
    Own,           // one of this host's own addresses; *ownHardwareAddress is set
};
// Decides, without sending anything, whether ARP can tell the address's hardware address.
Reach classify(quint32 address, const QList<LocalAddress> &locals,
               QByteArray *ownHardwareAddress = nullptr);

// True for the neighbour states whose link-layer address is known (NUD_VALID).
bool isCompleteState(quint16 state);

// State of reading one rtnetlink neighbour dump, fed one received buffer at a time.
struct DumpScan {
    quint32 sequence = 0;         // messages of another request are skipped
    int interfaceIndex = 0;       // > 0: only entries of that interface count
    bool done = false;            // NLMSG_DONE seen
    bool failed = false;          // NLMSG_ERROR or a malformed message
    bool found = false;
    QByteArray hardwareAddress;   // 6 bytes when found
    // Set: every complete entry is collected here (address << 32 | interface index).
    QHash<quint64, QByteArray> *all = nullptr;
};
void scanNeighbourDump(const QByteArray &buffer, quint32 address, DumpScan *scan);

// Looks the address up in the text of /proc/net/arp; only complete entries count.
bool findInProcNetArp(const QByteArray &text, quint32 address, QByteArray *hardwareAddress);

} // namespace neighbour
} // namespace platform
