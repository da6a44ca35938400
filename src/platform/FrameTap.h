#pragma once
// The MAC address each answer arrived from, read off its frame: a packet socket that
// sees only UDP datagrams for the station's port and remembers, for every IPv4 sender,
// the link-layer source of its latest frame. The kernel hands the frame to this socket
// before the datagram reaches the UDP socket, so draining the tap when a datagram is
// handled always finds that datagram's frame. Needs CAP_NET_RAW (the binaries get it
// at install for the ping); without it open() fails and the neighbour table serves.
// Unlike the neighbour table (gc_thresh3, 1024 entries by default, shared by every
// namespace) it has no ceiling on how many elements answer at once.

#include <QByteArray>
#include <QHash>
#include <QtGlobal>

namespace platform {

class FrameTap {
public:
    FrameTap() = default;
    FrameTap(const FrameTap &) = delete;
    FrameTap &operator=(const FrameTap &) = delete;
    ~FrameTap() { close(); }

    bool open(quint16 udpPort);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }

    // Reads every frame waiting, without blocking.
    void drain();
    // The MAC the sender's latest frame came from, on the interface it came in by
    // (0: any). False when no frame of that sender was seen.
    bool senderMac(quint32 senderNetworkOrder, int interfaceIndex, QByteArray *mac) const;

    // The senders remembered are bounded: an element is looked up right after its frame.
    static constexpr int kMaxSenders = 65536;

private:
    struct Seen {
        QByteArray mac;
        int interfaceIndex = 0;
    };
    int m_fd = -1;
    QHash<quint32, Seen> m_seen;
};

} // namespace platform
