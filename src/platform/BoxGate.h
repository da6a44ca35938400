#pragma once
// One box per kind of trouble at a time. Every message box runs an event loop in which
// the next datagram arrives, so a peer that keeps sending what fails would stack one box
// on another for each datagram. While a kind's box is open, further trouble of that kind
// is only counted, and the count becomes one summary when the box closes.

#include <QHash>
#include <QString>
#include <functional>

namespace platform {

class BoxGate {
public:
    // True: no box of `kind` is open and the caller shows one now (close() after it).
    // False: one is open, and this one has been counted instead.
    bool open(const QString &kind);
    // Counts one more for `kind` when its box is open; false (nothing counted) otherwise.
    bool countIfOpen(const QString &kind);
    // How many were counted since open() or the last take(); the box stays open.
    int take(const QString &kind);
    // The box of `kind` is gone: what was counted since the last take(), then nothing
    // is counted any more.
    int close(const QString &kind);

    // The text of the box that follows one which had `more` like it while it was open.
    static QString summary(const QString &text, int more);

    // The whole course of one box: `show` (which returns when the box is closed) for
    // `text` unless a box of `kind` is open, which then only counts it; after it, one
    // summary of what came meanwhile; what comes during the summary only reaches the log.
    // An empty kind is the text itself.
    void showOnce(const QString &kind, const QString &text, const std::function<void(const QString &)> &show);

private:
    QHash<QString, int> m_counts;   // kinds whose box is open, with what came meanwhile
};

} // namespace platform
