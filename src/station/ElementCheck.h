#pragma once
// "Check elements": every stored element pinged at once, without holding the event loop
// and with a bounded number of requests out, each marked on line or silent. An element
// that answers counts as heard (Presence).

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "station/ElementStore.h"

namespace platform {
class IcmpEcho;
}

namespace station {

class Presence;

class ElementCheck : public QObject {
    Q_OBJECT
public:
    explicit ElementCheck(Presence &presence, QObject *parent = nullptr);
    ~ElementCheck() override;

    // Starts on these elements (a check still running is dropped first).
    void start(const QList<StoredElement> &elements);
    bool isRunning() const { return m_outstanding > 0; }
    int onLine() const { return m_onLine; }
    int silent() const { return m_silent; }
    // "Check elements: 12 on line, 2 silent"
    QString summary() const;
    // The last check's mark for an element by its MAC: on line (true), silent, or not checked.
    std::optional<bool> result(const QString &mac) const;

    static constexpr int kInFlight = 32;
    static constexpr int kTimeoutMs = 3000;

signals:
    void checked(const QString &mac, bool onLine);
    void finished();

private:
    void next(platform::IcmpEcho *echo);
    void done(const StoredElement &element, bool onLine, const QString &why);

    Presence &m_presence;
    std::vector<std::unique_ptr<platform::IcmpEcho>> m_echoes;
    QHash<platform::IcmpEcho *, StoredElement> m_out;
    std::deque<StoredElement> m_waiting;
    QHash<QString, bool> m_results;
    int m_outstanding = 0;
    int m_onLine = 0, m_silent = 0;
};

} // namespace station
