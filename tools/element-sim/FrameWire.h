#pragma once
// Many simulated elements on one interface without an address of the namespace's own:
// one packet socket reads every frame on the wire and answers ARP, ICMP echo and the
// UDP exchanges for each element's address from that element's hardware address, so a
// whole field of elements costs one interface and no routing table each. The answers
// themselves are each element's own (SimElement); this only carries them.

#include "Frames.h"
#include "SimElement.h"
#include "SimLog.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace sim {

struct WireOptions {
    QString interfaceName;
    // As real elements do: an ARP request for the station's address before each feedback
    // message, so the station's kernel holds the element's hardware address already.
    bool askStation = true;
    // Paging answers leave evenly over this time (0: all at once).
    int answerSpreadMs = 0;
    quint16 portOffset = 0;
};

class FrameWire : public QObject {
    Q_OBJECT
public:
    FrameWire(const WireOptions &options, const SimLog &log, QObject *parent = nullptr);
    ~FrameWire() override;

    // The element answers for its address from `mac`. Before start().
    void add(SimElement *element, const frames::Mac &mac);
    // Opens the interface; false with the reason (not root, no such interface).
    bool start(QString *error);

private:
    struct Member {
        SimElement *element;
        frames::Mac mac;
        quint32 ip;
    };

    void readFrames();
    void handle(const frames::Frame &frame);
    void deliver(int member, PortRole role, const frames::Udp &udp);
    void page(const frames::Udp &request);
    void send(int member, PortRole role, const QHostAddress &to, quint16 port, const QByteArray &data);
    void transmit(const QByteArray &frame);
    int memberAt(quint32 ip);
    PortRole roleOf(quint16 port) const;

    WireOptions m_options;
    const SimLog &m_log;
    QList<Member> m_members;
    QHash<quint32, int> m_byIp;
    QHash<quint32, frames::Mac> m_peers;   // hardware addresses seen on the wire
    int m_fd = -1;
    int m_ifindex = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    qint64 m_sendFailures = 0;
};

} // namespace sim
