#pragma once
// How the station reaches elements on networks shaped like real sites: a laptop with no
// default route, a second port for the element switch while Wi-Fi holds the default
// route, elements with addresses outside every local subnet. Datagrams carry the
// outgoing interface (IP_PKTINFO) where the station knows it, so they leave on the
// element's own link whatever the routing table says; the kernel then also resolves the
// element's MAC on that link.
//
// Everything here runs on the user-interface thread; the interface memory is
// process-wide and never written to disk (the database's records must not change).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

struct sockaddr_in;

namespace platform {

// One IPv4 interface of this host (addresses in network byte order).
struct NetInterface {
    int index = 0;
    QString name;
    quint32 address = 0;
    quint32 netmask = 0;
    bool up = false;
    bool loopback = false;
    bool broadcast = false;   // IFF_BROADCAST
};

// The interfaces that have an IPv4 address now, one entry per interface (its first
// address), in the kernel's order.
QList<NetInterface> ipv4Interfaces();

// One interface a paging request is meant to go out on; `problem` says why it cannot.
struct PagingTarget {
    int index = 0;
    QString name;
    QString problem;
};

// Without names: every up, broadcast-capable, non-loopback interface with an IPv4
// address. With names (the operator's --interface): those, in the order given, each
// with the reason when it is missing, down or cannot broadcast.
QList<PagingTarget> selectPagingTargets(const QList<NetInterface> &all, const QStringList &only);

// The operator's --interface names for this run (empty: every interface).
void setPagingInterfaceNames(const QStringList &names);
// selectPagingTargets over the interfaces now, with the names in force.
QList<PagingTarget> pagingTargets();

// Tests replace the interface listing: a test outside its own network namespace must
// never page or fall back to paging interfaces on the machine's real networks.
// `forPaging` tells a paging request from a fall-back send. Empty restores the real one.
using InterfaceLister = std::function<QList<NetInterface>(bool forPaging)>;
void setInterfaceLister(InterfaceLister lister);

// The interface each address was last heard on, in memory for this run only.
void rememberInterface(quint32 addressNetworkOrder, int interfaceIndex);
int rememberedInterface(quint32 addressNetworkOrder);   // 0: not heard this run
void forgetInterfaces();                                // tests

// Sends one datagram from `fd` to `to`. With interfaceIndex > 0 the datagram leaves on
// that interface (IP_PKTINFO); 0 lets the routing table choose. 0 on success, else errno.
int sendOn(int fd, const QByteArray &datagram, const sockaddr_in &to, int interfaceIndex);

// Sends to an element: through the interface it was last heard on; when it has not been
// heard this run, the way the routing table says; and when no route leads there,
// through every interface a paging request would go out on. 0 when it left on at least
// one interface, else the errno of the last attempt.
int sendToNeighbour(int fd, const QByteArray &datagram, const sockaddr_in &to);

// True for send errors that say the socket itself is unusable (not this destination).
bool isSocketBroken(int error);

} // namespace platform
