#pragma once
// The one shape in which the station's core tells how a request went: done, or not, with
// the message the operator is to read (its text, icon, buttons and title as the windows
// show it). The outcome names the kind of trouble, so that a window knows when the
// program has to end and the command-line tool which exit status to give.

#include "platform/MessageSpec.h"

namespace station {

using platform::MessageSpec;
using platform::MsgButtons;
using platform::MsgIcon;

enum class Outcome {
    Done,
    Refused,    // nothing was done: a check failed, an address is unusable, a send failed
    NotFound,   // no such element in the database, or the answer is another element's
    NoReply,    // the element did not answer in time
    Differs,    // the element answered with other values than it was sent
    PortBusy,   // a fixed UDP port is held by another program: the station cannot run
};

struct Result {
    Outcome outcome = Outcome::Done;
    MessageSpec message;   // empty text when there is nothing to say

    bool ok() const { return outcome == Outcome::Done; }
    static Result done(const MessageSpec &message = {}) { return {Outcome::Done, message}; }
    static Result failed(Outcome outcome, const MessageSpec &message) { return {outcome, message}; }
};

// Boxes as the station words them: a critical error or an information, OK button; an
// empty title is the application's.
inline MessageSpec critical(const QString &text, const QString &title = QString())
{
    return {text, MsgIcon::Critical, MsgButtons::Ok, title};
}
inline MessageSpec information(const QString &text, const QString &title = QString())
{
    return {text, MsgIcon::Information, MsgButtons::Ok, title};
}
inline MessageSpec question(const QString &text, const QString &title)
{
    return {text, MsgIcon::Question, MsgButtons::YesNo, title};
}

} // namespace station
