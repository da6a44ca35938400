#include "platform/FrameTap.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

bool FrameTap::open(quint16 udpPort)
{
    close();
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_IP));
    if (fd < 0)
        return false;
    // A cooked socket sees the IPv4 header at offset 0. Accepted: UDP, first fragment,
    // destination port udpPort; only the IPv4 header's first 20 bytes are copied.
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 9),                  // protocol
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_UDP, 0, 6),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 6),                  // flags and fragment offset
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 0x1fff, 4, 0),
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                 // X = header length
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 2),                  // destination port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, udpPort, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 20),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    if (::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
        ::close(fd);
        return false;
    }
    // Room for every element answering at once; the station drains it as it reads them.
    const int wanted = 8 << 20;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    // Until the filter was attached the socket took every IPv4 frame: forget those.
    m_fd = fd;
    drain();
    m_seen.clear();
    return true;
}

void FrameTap::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_seen.clear();
}

void FrameTap::drain()
{
    if (m_fd < 0)
        return;
    unsigned char header[20];
    // Bounded by what the buffer can hold; the rest is read at the next drain.
    for (int i = 0; i < 100000; ++i) {
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, header, sizeof header, MSG_TRUNC,
                                     reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;   // EAGAIN: nothing more waiting
        }
        if (n < 20 || from.sll_pkttype == PACKET_OUTGOING || from.sll_halen != 6)
            continue;
        const QByteArray mac(reinterpret_cast<const char *>(from.sll_addr), 6);
        if (mac == QByteArray(6, '\0'))
            continue;   // loopback
        quint32 source;
        std::memcpy(&source, header + 12, 4);
        if (m_seen.size() >= kMaxSenders && !m_seen.contains(source))
            m_seen.clear();
        m_seen.insert(source, Seen{mac, from.sll_ifindex});
    }
}

bool FrameTap::senderMac(quint32 senderNetworkOrder, int interfaceIndex, QByteArray *mac) const
{
    const auto it = m_seen.constFind(senderNetworkOrder);
    if (it == m_seen.constEnd() || (interfaceIndex > 0 && it->interfaceIndex != interfaceIndex))
        return false;
    *mac = it->mac;
    return true;
}

} // namespace platform
