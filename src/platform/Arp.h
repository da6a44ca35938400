#pragma once
// The kernel's IPv4 neighbour table as the station's ARP service: no root needed.

#include <QByteArray>
#include <QtGlobal>
#include <functional>

namespace platform {

// Hardware address of an IPv4 neighbour (address in network byte order, as inet_addr
// gives it). Looks in the neighbour table (rtnetlink, /proc/net/arp as a fallback); when
// there is no complete entry, makes the kernel resolve the address and looks again until
// timeoutMs has passed. Only a complete entry counts. 0.0.0.0, 255.255.255.255 and an
// address off every local subnet give false at once. Blocks the caller (at most timeoutMs).
bool resolveHardwareAddress(quint32 addressNetworkOrder, QByteArray *hardwareAddress,
                            int timeoutMs = 1000);

// Tests replace the lookup (to count attempts or answer at the third); empty restores it.
using HardwareAddressLookup = std::function<bool(quint32, QByteArray *)>;
void setHardwareAddressLookup(HardwareAddressLookup lookup);
// The lookup in force (the real one or the test's).
bool lookupHardwareAddress(quint32 addressNetworkOrder, QByteArray *hardwareAddress);

} // namespace platform
