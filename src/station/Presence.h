#pragma once
// Which elements the station has heard in this run, when and on which interface: any
// datagram from an element's address (feedback, replies, level, ping answers). Kept for
// the run only, never written to the database.

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <optional>

namespace station {

// "last heard 12 s ago on eth0"; "not heard since the station started" for never.
QString presenceText(std::optional<qint64> msAgo, const QString &interfaceName);

class Presence : public QObject {
    Q_OBJECT
public:
    explicit Presence(QObject *parent = nullptr);

    // Every datagram on the main socket passes here: it is keyed by the sender's address
    // as the socket gives it (network byte order), with no text made per datagram.
    void heard(quint32 addressNetworkOrder, int interfaceIndex = 0);
    void heard(const QString &address, int interfaceIndex = 0);
    bool wasHeard(const QString &address) const;
    std::optional<qint64> msSinceHeard(const QString &address) const;
    QString text(const QString &address) const;   // presenceText for the address

signals:
    // The first time in this run that the address is heard.
    void firstHeard(const QString &address);

private:
    struct Heard {
        qint64 at = 0;   // ms on m_clock
        int interfaceIndex = 0;
    };
    QElapsedTimer m_clock;
    QHash<quint32, Heard> m_heard;   // by address, network byte order
};

} // namespace station
