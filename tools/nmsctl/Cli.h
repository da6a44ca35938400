#pragma once
// brivolte-nmsctl: the station's core from the command line. Each command drives the same
// objects the windows use (station/), over the same database with the same rules, and
// ends with one exit status; --json prints one JSON object for another program to read.

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "station/Result.h"

namespace nmsctl {

// Exit statuses: 0 only on success.
enum Exit {
    kOk = 0,
    kFailed = 1,     // refused: a check, an unusable address, a send, an unreadable answer
    kUsage = 2,
    kNotFound = 3,   // no such element in the database
    kNoReply = 4,    // the element did not answer (or answered as another element)
    kDiffers = 5,    // the element answered with other values than it was sent
    kPortBusy = 6,   // a port of the station is held by the station window or another program
};

struct Invocation {
    QString command;
    QStringList arguments;   // what follows the command, options included
    bool json = false;
};

// What a command prints and returns: data on standard output (text lines or the JSON
// object), messages on standard error in text mode.
class Report {
public:
    explicit Report(const Invocation &invocation);
    void line(const QString &text);             // text mode only
    void set(const QString &key, const QJsonValue &value);
    void message(const QString &text);          // the station's words, CR as a line break
    int finish(station::Outcome outcome);       // prints, gives the exit status
    int finish(int exit);
    int usage(const QString &problem);

private:
    Invocation m_invocation;
    QStringList m_lines;
    QStringList m_messages;
    QJsonObject m_object;
};

int run(const Invocation &invocation);
QString help(const QString &command);   // the whole tool's for an empty or unknown command

} // namespace nmsctl
