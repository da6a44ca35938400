#include "Cli.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "diagnostics/LevelBlock.h"
#include "editor/AudioDisplay.h"
#include "platform/AppDir.h"
#include "platform/FolderUse.h"
#include "platform/Interfaces.h"
#include "platform/Settings.h"
#include "station/DiscoveryRun.h"
#include "station/ElementLink.h"
#include "station/ElementStore.h"
#include "station/Ping.h"
#include "station/Station.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

namespace nmsctl {

namespace {

using station::Outcome;

const char kBusy2976[] = "UDP port 2976 is in use: the station window (brivolte-nms) or another program "
                         "holds it. Close the window, or do this from it.";
const char kBusy2978[] = "UDP port 2978 is in use: a Statistics or SFN Adjustment window of the station, "
                         "or another program, holds it. Close that window and try again.";
// An answer comes within 3 s; a configuration's MAC wait may take 21 s more.
constexpr int kAnswerMs = 3000;
constexpr int kConfirmationMs = 30000;

void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

QString outcomeName(Outcome o)
{
    switch (o) {
    case Outcome::Done: return QStringLiteral("done");
    case Outcome::Refused: return QStringLiteral("refused");
    case Outcome::NotFound: return QStringLiteral("not found");
    case Outcome::NoReply: return QStringLiteral("no reply");
    case Outcome::Differs: return QStringLiteral("differs");
    case Outcome::PortBusy: return QStringLiteral("port busy");
    }
    return QString();
}

int exitFor(Outcome o)
{
    switch (o) {
    case Outcome::Done: return kOk;
    case Outcome::Refused: return kFailed;
    case Outcome::NotFound: return kNotFound;
    case Outcome::NoReply: return kNoReply;
    case Outcome::Differs: return kDiffers;
    case Outcome::PortBusy: return kPortBusy;
    }
    return kFailed;
}

// The options of one command: flags, options with a value (repeatable), positionals.
struct Options {
    QStringList positional;
    QHash<QString, QStringList> values;
    QStringList flags;
    QString error;
    bool has(const char *flag) const { return flags.contains(QLatin1String(flag)); }
    QString value(const char *option, const QString &absent = QString()) const
    {
        const QStringList all = values.value(QLatin1String(option));
        return all.isEmpty() ? absent : all.last();
    }
};

Options parse(const QStringList &arguments, const QStringList &flags, const QStringList &valued)
{
    Options o;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (!a.startsWith(QLatin1String("--"))) {
            o.positional << a;
            continue;
        }
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (flags.contains(name) && !a.contains(QLatin1Char('='))) {
            o.flags << name;
        } else if (valued.contains(name)) {
            if (a.contains(QLatin1Char('=')))
                o.values[name] << a.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                o.values[name] << arguments.at(++i);
            else
                o.error = QStringLiteral("%1 needs a value").arg(name);
        } else {
            o.error = QStringLiteral("unknown option %1").arg(a);
        }
    }
    return o;
}

// Runs the event loop until quit() or `ms` have passed; false on the time-out.
class Wait {
public:
    explicit Wait(int ms) { m_timer.setSingleShot(true), m_timer.setInterval(ms); }
    void quit() { m_done = true, m_loop.quit(); }
    void restart() { m_timer.start(); }
    bool exec()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        m_timer.start();
        if (!m_done)
            m_loop.exec();
        return m_done;
    }

private:
    QEventLoop m_loop;
    QTimer m_timer;
    bool m_done = false;
};

QJsonObject elementObject(const station::StoredElement &e)
{
    return {{"mac", e.mac}, {"ip", e.ip}, {"name", e.name.trimmed()},
            {"role", e.role == 1 ? "encoder" : e.role == 2 ? "decoder" : "unknown"}};
}

QString roleText(int role)
{
    return role == 1 ? QStringLiteral("encoder") : role == 2 ? QStringLiteral("decoder") : QStringLiteral("unknown");
}

// One element a line, as discover and list print them.
QString elementLine(const station::StoredElement &e)
{
    return QStringLiteral("%1  %2  %3  %4")
        .arg(e.mac, e.ip.leftJustified(15), roleText(e.role).leftJustified(7), e.name.trimmed());
}

// ELEMENT as given: false (with the report finished) when the database has no such element.
bool find(Report &r, const QString &text, station::StoredElement *e, int *exit)
{
    const station::Result found = station::findElement(platform::databasePath(), text, e);
    if (found.ok()) {
        r.set(QStringLiteral("element"), elementObject(*e));
        return true;
    }
    r.message(found.message.text);
    *exit = r.finish(found.outcome);
    return false;
}

// The station's main socket, or the plain reason why not.
bool openStation(Report &r, station::Station &s, int *exit)
{
    if (s.open().ok())
        return true;
    r.message(QString::fromLatin1(kBusy2976));
    *exit = r.finish(Outcome::PortBusy);
    return false;
}

int discover(Report &r, const Options &o)
{
    platform::setPagingInterfaceNames(o.values.value(QStringLiteral("--interface")));
    station::Station s;
    int exit = kOk;
    if (!openStation(r, s, &exit))
        return exit;
    QObject::connect(&s, &station::Station::feedbackRejected, [&r](const platform::MessageSpec &m) { r.message(m.text); });
    station::DiscoveryRun run(s, o.has("--store"));
    Wait wait(station::DiscoveryRun::kCollectMilliseconds * 3);
    station::Result ended;
    QObject::connect(&run, &station::DiscoveryRun::finished, [&](const station::Result &result) {
        ended = result;
        wait.quit();
    });
    const station::Result started = run.start();
    if (!started.ok()) {
        r.message(started.message.text);
        return r.finish(started.outcome);
    }
    wait.exec();
    r.set(QStringLiteral("pagedOn"), QJsonArray::fromStringList(run.pagedOn()));
    r.set(QStringLiteral("stored"), o.has("--store"));
    QJsonArray elements;
    for (const ElementFeedback &f : run.answers()) {
        const station::StoredElement e{QString(), f.UDP_Response_MAC, f.UDP_Response_Name, f.UDP_Response_IP,
                                       f.UDP_Response_Role};
        QJsonObject object = elementObject(e);
        object.insert(QStringLiteral("serial"), f.UDP_Response_Serial_Number);
        object.insert(QStringLiteral("version"),
                      QStringLiteral("%1.%2").arg(f.UDP_Response_Version_Major).arg(f.UDP_Response_Version_Minor));
        elements.append(object);
        r.line(elementLine(e));
    }
    r.set(QStringLiteral("elements"), elements);
    if (!ended.ok()) {
        r.message(ended.message.text);
        return r.finish(ended.outcome);
    }
    if (run.found() == 0) {
        r.message(QStringLiteral("No element answered on %1.").arg(run.pagedOn().join(QStringLiteral(", "))));
        return r.finish(Outcome::NoReply);
    }
    return r.finish(Outcome::Done);
}

int list(Report &r, const Options &)
{
    const station::ElementListing listing = station::listElements(platform::databasePath());
    QJsonArray elements;
    for (const station::StoredElement &e : listing.elements) {
        elements.append(elementObject(e));
        r.line(elementLine(e));
    }
    r.set(QStringLiteral("database"), platform::databasePath());
    r.set(QStringLiteral("elements"), elements);
    if (listing.elements.isEmpty())
        r.message(station::emptyDatabaseMessage(listing.exists).text);
    return r.finish(Outcome::Done);
}

int show(Report &r, const Options &o)
{
    station::StoredElement e;
    int exit = kOk;
    if (!find(r, o.positional.value(0), &e, &exit))
        return exit;
    QStringList keys;
    LoadIniSectionKeysLB(e.section, keys, platform::databasePath());
    QJsonObject record;
    for (const QString &key : std::as_const(keys)) {
        const QString value = ReadFromINI(e.section, key, platform::databasePath());
        record.insert(key.toLower(), value);
        r.line(key.toLower() + QLatin1Char('=') + value);
    }
    r.set(QStringLiteral("record"), record);
    return r.finish(Outcome::Done);
}

int ping(Report &r, const Options &o)
{
    const QString target = o.positional.value(0);
    station::StoredElement e;
    QString address;
    // An address that no record holds is pinged all the same.
    if (station::findElement(platform::databasePath(), target, &e).ok()) {
        r.set(QStringLiteral("element"), elementObject(e));
        address = e.ip;
    } else if (IsValidIP(target)) {
        address = target;
    } else {
        int exit = kOk;
        find(r, target, &e, &exit);
        return exit;
    }
    station::Ping echo;
    Wait wait(station::Ping::kTimeoutMs + 2000);
    station::PingFace face = echo.PingElement(address, e.mac);
    QObject::connect(&echo, &station::Ping::finished, [&](const station::PingFace &result) {
        face = result;
        wait.quit();
    });
    if (face.pending)
        wait.exec();
    r.set(QStringLiteral("address"), address);
    r.set(QStringLiteral("result"), face.caption);
    r.line(address + QStringLiteral(": ") + face.caption);
    if (!face.reason.isEmpty())
        r.message(face.reason);
    if (face.state == station::PingFace::State::Success)
        return r.finish(Outcome::Done);
    if (!face.pending && face.state == station::PingFace::State::Trying) {
        r.message(QStringLiteral("\"%1\" is not an IPv4 address.").arg(address));
        return r.finish(Outcome::Refused);
    }
    return r.finish(Outcome::NoReply);
}

// KEY=VALUE as the panel's controls hold it.
QString applySetting(ConfigCommand &c, const QString &assignment)
{
    const QString key = assignment.section(QLatin1Char('='), 0, 0).trimmed().toLower();
    const QString value = assignment.section(QLatin1Char('='), 1);
    if (!assignment.contains(QLatin1Char('=')))
        return QStringLiteral("\"%1\" is not KEY=VALUE").arg(assignment);
    const QHash<QString, QString *> texts{{"name", &c.name}, {"ip", &c.ip}, {"mask", &c.mask}, {"gw", &c.gw},
                                          {"remote", &c.remote}, {"multi", &c.remote}};
    if (QString *text = texts.value(key)) {
        *text = value;
        return QString();
    }
    struct Number {
        int *field;
        int minimum, maximum;
        QStringList names;   // the list's items, in order
    };
    const QHash<QString, Number> numbers{
        {"input", {&c.audioInput, 0, 1, {"digital", "analog"}}},
        {"type", {&c.audioType, 0, 1, {"lr", "mpx"}}},
        {"tx", {&c.audioTx, 0, 1, {"unicast", "multicast"}}},
        {"sfn", {&c.sfn, 0, 1, {"off", "on"}}},
        {"llo", {&c.lowLatency, 0, 1, {"off", "on"}}},
        {"buffer", {&c.buffer, 0, audio::bufferMaximum(false, true), {}}},
        {"buf", {&c.buffer, 0, audio::bufferMaximum(false, true), {}}},
        {"sdm", {&c.silDetMode, 0, 2, {"auto", "internal", "external"}}},
        {"sdl", {&c.silDetLevel, audio::kSilenceLevelMin, audio::kSilenceLevelMax, {}}},
        {"sdt", {&c.silDetTime, audio::kSilenceTimeMin, audio::kSilenceTimeMax, {}}},
    };
    if (!numbers.contains(key))
        return QStringLiteral("unknown setting \"%1\"").arg(key);
    const Number n = numbers.value(key);
    bool ok = false;
    int number = value.toInt(&ok);
    if (!ok && n.names.contains(value.toLower()))
        number = int(n.names.indexOf(value.toLower())), ok = true;
    if (!ok || number < n.minimum || number > n.maximum)
        return QStringLiteral("%1 takes %2 to %3%4").arg(key).arg(n.minimum).arg(n.maximum)
            .arg(n.names.isEmpty() ? QString() : QStringLiteral(" (") + n.names.join(QStringLiteral(", ")) + QLatin1Char(')'));
    *n.field = number;
    return QString();
}

bool confirmedByOperator(const platform::MessageSpec &question)
{
    print(stderr, QString(question.text).replace(QLatin1Char('\r'), QLatin1Char('\n')) + QStringLiteral(" [y/N] "));
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

int set(Report &r, const Options &o)
{
    station::StoredElement e;
    int exit = kOk;
    if (!find(r, o.positional.value(0), &e, &exit))
        return exit;
    const QString mode = o.value("--mode").toUpper();
    if (!mode.isEmpty() && mode != QLatin1String("GPS") && mode != QLatin1String("LL"))
        return r.usage(QStringLiteral("--mode takes GPS or LL"));
    const int bufferMaximum = audio::bufferMaximum(mode == QLatin1String("GPS"), mode == QLatin1String("LL"));
    station::ConfigRequest request{e.mac, station::commandFor(station::viewRecord(e.section, platform::databasePath(),
                                                                                  bufferMaximum))};
    for (const QString &assignment : o.positional.mid(1)) {
        const QString problem = applySetting(request.command, assignment);
        if (!problem.isEmpty())
            return r.usage(problem);
    }
    if (request.command.buffer > bufferMaximum)
        return r.usage(QStringLiteral("buffer takes 0 to %1 in this mode").arg(bufferMaximum));
    const station::Result checked = station::ConfigExchange::check(request, platform::databasePath());
    if (!checked.ok()) {
        r.message(checked.message.text);
        return r.finish(checked.outcome);
    }
    if (!o.has("--yes") && !confirmedByOperator(station::ConfigExchange::question())) {
        r.message(QStringLiteral("Nothing was sent."));
        return r.finish(Outcome::Refused);
    }
    station::Station s;
    if (!openStation(r, s, &exit))
        return exit;
    s.config().setBufferMaximum(bufferMaximum);
    Wait wait(kConfirmationMs);
    Outcome outcome = Outcome::NoReply;
    QObject::connect(&s, &station::Station::feedbackRejected, [&](const platform::MessageSpec &m) {
        r.message(m.text);
        if (!s.config().isWaiting() && !s.macWait().isRunning())   // the answer passed its checks and came to nothing
            wait.quit();
    });
    QObject::connect(&s.config(), &station::ConfigExchange::timedOut, [&](const station::Result &timedOut) {
        r.message(timedOut.message.text);
        wait.quit();
    });
    QObject::connect(&s, &station::Station::confirmed, [&](const station::Confirmation &c) {
        for (const platform::MessageSpec &m : c.messages)
            r.message(m.text);
        QJsonArray differences;
        for (const auto &d : c.differences) {
            differences.append(QJsonObject{{"key", d.key}, {"sent", d.sent}, {"reported", d.reported}});
            r.line(QStringLiteral("%1: sent \"%2\", the element reports \"%3\"").arg(d.key, d.sent, d.reported));
        }
        r.set(QStringLiteral("differences"), differences);
        // An answer from another element leaves this one unanswered.
        outcome = c.outcome == Outcome::NotFound ? Outcome::NoReply : c.outcome;
        if (outcome == Outcome::Done)
            r.line(QStringLiteral("confirmed: ") + e.name.trimmed() + QStringLiteral(" [") + e.mac + QLatin1Char(']'));
        wait.quit();
    });
    const station::Result sent = s.config().send(request);
    if (!sent.ok()) {
        r.message(sent.outcome == Outcome::PortBusy ? QString::fromLatin1(kBusy2976) : sent.message.text);
        return r.finish(sent.outcome);
    }
    wait.exec();
    return r.finish(outcome);
}

int level(Report &r, const Options &o)
{
    station::StoredElement e;
    int exit = kOk;
    if (!find(r, o.positional.value(0), &e, &exit))
        return exit;
    bool ok = true;
    const int interval = o.value("--interval", QStringLiteral("50")).toInt(&ok);
    const int count = ok ? o.value("--count", QStringLiteral("10")).toInt(&ok) : 0;
    if (!ok || interval < 1 || interval > 500 || count < 1)
        return r.usage(QStringLiteral("--interval takes 1 to 500 ms, --count a positive number"));
    station::Station s;
    if (!openStation(r, s, &exit))
        return exit;
    station::LevelMonitor &monitor = s.level();
    Wait wait(kAnswerMs);   // restarted by every answer
    QJsonArray levels;
    Outcome outcome = Outcome::NoReply;
    QObject::connect(&monitor, &station::LevelMonitor::answered, [&](qint32 peak) {
        const LevelDisplay shown = levelDisplay(peak);
        levels.append(QJsonObject{{"peak", peak}, {"level", shown.text}, {"widthTwips", shown.widthTwips}});
        r.line(shown.text);
        wait.restart();
        if (levels.size() >= count) {
            outcome = Outcome::Done;
            wait.quit();
        }
    });
    QObject::connect(&monitor, &station::LevelMonitor::stopped, [&](const platform::MessageSpec &m) {
        r.message(m.text);
        outcome = Outcome::Refused;
        wait.quit();
    });
    monitor.setInterval(interval);
    monitor.start(e.section);
    wait.exec();
    monitor.stop();
    r.set(QStringLiteral("interval"), interval);
    r.set(QStringLiteral("levels"), levels);
    if (outcome == Outcome::NoReply)
        r.message(QStringLiteral("%1 of %2 level answers came.").arg(levels.size()).arg(count));
    return r.finish(outcome);
}

// A port-2978 exchange with the element, opened, and its answer waited for.
int statusExchange(Report &r, const Options &o, station::StatusExchange::Kind kind,
                   const std::function<station::Result(station::StatusExchange &)> &before)
{
    station::StoredElement e;
    int exit = kOk;
    if (!find(r, o.positional.value(0), &e, &exit))
        return exit;
    station::StatusExchange x(kind, station::ElementLink(e.section, platform::databasePath()), e.role == 2);
    if (!x.open().ok()) {
        r.message(QString::fromLatin1(kBusy2978));
        return r.finish(Outcome::PortBusy);
    }
    Wait wait(kAnswerMs);
    Outcome outcome = Outcome::NoReply;
    const auto answered = [&] {
        outcome = outcome == Outcome::NoReply ? Outcome::Done : outcome;
        wait.quit();
    };
    QObject::connect(&x, &station::StatusExchange::unreadable, [&](const platform::MessageSpec &m) {
        r.message(m.text);
        outcome = Outcome::Refused;
    });
    QObject::connect(&x, &station::StatusExchange::statisticsRead, [&](const StatsValues &v) {
        const StatsVariables &s = v.variables;
        const StatsLabels &l = v.labels;
        const std::tuple<const char *, const char *, const std::optional<QString> &, double> rows[] = {
            {"Good TX Frames:", "txFramesOk", l.lblMACTxOK, s.UDP_Response_Tx_Frames_OK},
            {"Bad TX Frames:", "txFramesErr", l.lblMACTxErr, s.UDP_Response_Tx_Frames_Err},
            {"Good RX Frames:", "rxFramesOk", l.lblMACRxOK, s.UDP_Response_Rx_Frames_OK},
            {"Bad RX Frames:", "rxFramesErr", l.lblMACRxErr, s.UDP_Response_Rx_Frames_Err},
            {"OK Audio Frames:", "audioFramesOk", l.lblAudioRxFramesOK, s.UDP_Response_Rx_Audio_Frames_OK},
            {"Bad Audio Frames:", "audioFramesErr", l.lblAudioRxFramesErr, s.UDP_Response_Rx_Audio_Frames_Err},
            {"Good PTP Sync:", "ptpSyncOk", l.lblPTPRxOK, s.UDP_Response_PTP_Sync_OK},
            {"Bad PTP Sync:", "ptpSyncErr", l.lblPTPRxErr, s.UDP_Response_PTP_Sync_Err},
            {"Clock Difference:", "ptpClockDifferenceNs", l.lblPTPClkAdj, s.UDP_Response_PTP_Sync_Value},
            {"Measured delay:", "ptpMeasuredDelayNs", l.lblPTPLatency, s.UDP_Response_PTP_Sync_Latency},
        };
        QJsonObject counters;
        for (const auto &[caption, key, text, number] : rows) {
            if (!text)
                continue;   // not in this record (an element without SFN, an encoder)
            counters.insert(QLatin1String(key), number);
            r.line(QString::fromLatin1(caption).leftJustified(19) + *text);
        }
        counters.insert(QStringLiteral("txErrorPercent"), s.UDP_Response_Tx_Frames_Err_Ratio);
        counters.insert(QStringLiteral("rxErrorPercent"), s.UDP_Response_Rx_Frames_Err_Ratio);
        counters.insert(QStringLiteral("audioErrorPercent"), s.UDP_Response_Rx_Audio_Frames_Err_Ratio);
        r.set(QStringLiteral("counters"), counters);
        answered();
    });
    QObject::connect(&x, &station::StatusExchange::delayRead, [&](const DelayResponse &d) {
        const std::tuple<const char *, const char *, std::optional<QString>> rows[] = {
            {"Network latency (MIN):", "latencyMin", d.lblCurrentDelayMIN},
            {"Network latency (MAX):", "latencyMax", d.lblCurrentDelayMAX},
            {"Network latency (AVG):", "latencyAvg", d.lblCurrentDelayAVG},
            {"MAC interface latency:", "macInterfaceLatency", d.lblFixedLatencyMAC},
            {"Audio interface latency:", "audioInterfaceLatency", d.lblFixedLatencyAUDIO},
            {"Latency summary (MIN):", "summaryMin", d.lblDelaySumMIN},
            {"Latency summary (MAX):", "summaryMax", d.lblDelaySumMAX},
            {"Latency summary (AVG):", "summaryAvg", d.lblDelaySumAVG},
            {"Latency compensation:", "compensation", d.lblAdditionalDelay},
            {"Auto servo:", "autoServo", d.autoServoCaption},
        };
        QJsonObject shown;
        for (const auto &[caption, key, text] : rows) {
            if (!text)
                continue;   // not in this record (an element without SFN, an encoder)
            shown.insert(QLatin1String(key), *text);
            r.line(QString::fromLatin1(caption).leftJustified(25) + *text);
        }
        if (d.additionalDelayNs)
            shown.insert(QStringLiteral("compensationNs"), *d.additionalDelayNs);
        r.set(QStringLiteral("delay"), shown);
        answered();
    });
    if (const station::Result done = before(x); !done.ok()) {
        r.message(done.message.text);
        return r.finish(done.outcome);
    }
    if (const station::Result asked = x.request(); !asked.ok()) {
        r.message(asked.message.text);
        return r.finish(asked.outcome);
    }
    wait.exec();
    if (outcome == Outcome::NoReply)
        r.message(QStringLiteral("%1 did not answer.").arg(e.ip));
    return r.finish(outcome);
}

int stats(Report &r, const Options &o)
{
    const bool reset = o.has("--reset");
    return statusExchange(r, o, station::StatusExchange::Kind::Statistics, [reset](station::StatusExchange &x) {
        return reset ? x.reset() : station::Result::done();
    });
}

int sfn(Report &r, const Options &o)
{
    if (!o.values.contains(QStringLiteral("--delay")))
        return statusExchange(r, o, station::StatusExchange::Kind::Delay,
                              [](station::StatusExchange &) { return station::Result::done(); });
    bool ok = false;
    const int ns = o.value("--delay").toInt(&ok);
    if (!ok || ns < 0 || ns > kDelayStepsMax * 100 || ns % 100 != 0)
        return r.usage(QStringLiteral("--delay takes 0 to %1 ns in steps of 100").arg(kDelayStepsMax * 100));
    const QString servo = o.value("--servo").toLower();
    if (!servo.isEmpty() && servo != QLatin1String("on") && servo != QLatin1String("off"))
        return r.usage(QStringLiteral("--servo takes on or off"));
    return statusExchange(r, o, station::StatusExchange::Kind::Delay, [&](station::StatusExchange &x) {
        const station::ElementLink &element = x.element();
        const bool autoServo = servo.isEmpty() ? element.read(QStringLiteral("srv"), QStringLiteral("0")) == QLatin1String("1")
                                               : servo == QLatin1String("on");
        station::Result sent = x.setDelay(ns, autoServo);
        if (!sent.ok())
            return sent;
        // As the SFN window keeps it once the delay has been set.
        WriteManyToINI(element.section(),
                       {{QStringLiteral("dly"), QString::number(ns / 100)},
                        {QStringLiteral("srv"), autoServo ? QStringLiteral("1") : QStringLiteral("0")}},
                       element.databasePath());
        if (platform::settingAsNumber(platform::readSetting(QStringLiteral("AutoClearCounters"), QStringLiteral("0"))) == 1) {
            Wait pause(250);   // the window's Timer1: the counters are reset a moment after
            pause.exec();
            sent = x.reset();
        }
        return sent;
    });
}

struct Command {
    const char *name;
    int (*run)(Report &, const Options &);
    int positionals;      // at least this many; -1: one or more after the element
    QStringList flags, valued;
    const char *usage;
    const char *text;
};

const QList<Command> &commands()
{
    static const QList<Command> all{
        {"discover", discover, 0, {"--store"}, {"--interface"}, "discover [--interface IF]... [--store]",
         "Pages the network once on every interface that is up and can broadcast (or only on\n"
         "each IF given) and lists the elements that answer within 3 seconds: MAC, address,\n"
         "role, name. With --store the answers replace the database, as \"Auto discover\n"
         "elements\" of the station does: the previous database is kept as nms.ini.bak, and\n"
         "it is put back when nothing could be sent or no answer could be stored.\n"
         "Exit: 0 elements answered, 4 none did, 1 nothing could be sent, 6 port busy."},
        {"list", list, 0, {}, {}, "list", "Lists the elements of the database: MAC, address, role, name."},
        {"show", show, 1, {}, {}, "show ELEMENT", "Prints the element's record, one key=value a line.\nExit: 3 not found."},
        {"ping", ping, 1, {}, {}, "ping ELEMENT",
         "Sends one ICMP echo to the element (or to an address that no record holds) and\n"
         "prints the round trip. Needs CAP_NET_RAW or net.ipv4.ping_group_range.\n"
         "Exit: 4 no answer within 3 seconds, 3 not found."},
        {"set", set, -1, {"--yes"}, {"--mode"}, "set ELEMENT KEY=VALUE... [--yes] [--mode GPS|LL]",
         "Sends the element its configuration as stored, with the KEYs changed, waits for its\n"
         "answer and stores what it confirms. Keys: name, ip, mask, gw, remote (the unicast\n"
         "destination or multicast group), input (digital|analog), type (lr|mpx),\n"
         "tx (unicast|multicast), sfn, llo (off|on), buffer, sdm (auto|internal|external),\n"
         "sdl, sdt. Asks first unless --yes. --mode is the station's mode (buffer range).\n"
         "The command goes to the address the record holds. Each field the element reports\n"
         "otherwise is printed.\n"
         "Exit: 0 confirmed, 5 differs, 4 no reply, 1 refused, 3 not found, 6 port busy."},
        {"level", level, 1, {}, {"--interval", "--count"}, "level ELEMENT [--interval MS] [--count N]",
         "Asks an encoder for its audio level every MS milliseconds (1 to 500, default 50)\n"
         "and prints the level of N answers (default 10).\n"
         "Exit: 4 fewer answers came, 1 a request could not be sent, 6 port busy."},
        {"stats", stats, 1, {"--reset"}, {}, "stats ELEMENT [--reset]",
         "Fetches the element's link counters over UDP 2978 and prints them; with --reset\n"
         "the counters are reset to zero first.\nExit: 4 no reply, 1 unreadable answer, 6 port 2978 busy."},
        {"sfn", sfn, 1, {}, {"--delay", "--servo"}, "sfn ELEMENT [--delay NS [--servo on|off]]",
         "Prints a decoder's PTP delay measurements over UDP 2978. With --delay, first sets\n"
         "the latency compensation (0 to 2500000 ns in steps of 100) and the auto servo\n"
         "(default: as stored) and stores them, as the SFN Adjustment window's Set does.\n"
         "Exit: 4 no reply, 1 unreadable answer, 6 port 2978 busy."},
    };
    return all;
}

const Command *commandNamed(const QString &name)
{
    for (const Command &c : commands())
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

} // namespace

Report::Report(const Invocation &invocation)
    : m_invocation(invocation)
{
    m_object.insert(QStringLiteral("command"), invocation.command);
}

void Report::line(const QString &text)
{
    m_lines << text;
}

void Report::set(const QString &key, const QJsonValue &value)
{
    m_object.insert(key, value);
}

void Report::message(const QString &text)
{
    m_messages << QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

int Report::finish(station::Outcome outcome)
{
    m_object.insert(QStringLiteral("outcome"), outcomeName(outcome));
    return finish(exitFor(outcome));
}

int Report::finish(int exit)
{
    if (m_invocation.json) {
        m_object.insert(QStringLiteral("messages"), QJsonArray::fromStringList(m_messages));
        print(stdout, QString::fromUtf8(QJsonDocument(m_object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
        return exit;
    }
    for (const QString &l : std::as_const(m_lines))
        print(stdout, l + QLatin1Char('\n'));
    for (const QString &m : std::as_const(m_messages))
        print(stderr, QStringLiteral("brivolte-nmsctl: ") + QString(m).replace(QLatin1Char('\n'), QStringLiteral("\n  ")) + QLatin1Char('\n'));
    return exit;
}

int Report::usage(const QString &problem)
{
    print(stderr, QStringLiteral("brivolte-nmsctl %1: %2\nUsage: brivolte-nmsctl %3\n")
                      .arg(m_invocation.command, problem, QLatin1String(commandNamed(m_invocation.command)->usage)));
    m_object.insert(QStringLiteral("outcome"), QStringLiteral("usage"));
    return kUsage;
}

QString help(const QString &name)
{
    if (const Command *c = commandNamed(name))
        return QStringLiteral("Usage: brivolte-nmsctl %1 [--json]\n\n%2\n").arg(QLatin1String(c->usage), QLatin1String(c->text));
    QString text = QStringLiteral(
        "Usage: brivolte-nmsctl COMMAND [ARGUMENTS] [--json]\n\n"
        "The Brivolte network management station from the command line, on the station's own\n"
        "database and rules. ELEMENT is a name, a MAC address or a stored address.\n\nCommands:\n");
    for (const Command &c : commands())
        text += QStringLiteral("  %1\n").arg(QLatin1String(c.usage));
    text += QStringLiteral("\n--json prints one JSON object (with \"outcome\" and \"messages\") instead of text.\n"
                           "brivolte-nmsctl COMMAND --help describes a command, --version the version.\n\n"
                           "Exit status: 0 success, 1 refused or failed, 2 usage, 3 not found, 4 no reply,\n"
                           "5 differs, 6 port busy (the station window holds UDP 2976 or 2978).\n");
    return text + platform::describeDatabaseLocation() + QLatin1Char('\n');
}

int run(const Invocation &invocation)
{
    const Command *c = commandNamed(invocation.command);
    if (!c) {
        print(stderr, QStringLiteral("brivolte-nmsctl: unknown command \"%1\"\n\n").arg(invocation.command) + help(QString()));
        return kUsage;
    }
    if (invocation.arguments.contains(QStringLiteral("--help"))) {
        print(stdout, help(invocation.command));
        return kOk;
    }
    // One of the stations using the database folder while it runs: a station starting
    // meanwhile must not take what this one writes for leftovers.
    platform::FolderUse folder(platform::applicationDirectory());
    folder.share();
    Report report(invocation);
    const Options o = parse(invocation.arguments, c->flags, c->valued);
    if (!o.error.isEmpty())
        return report.usage(o.error);
    const qsizetype wanted = c->positionals < 0 ? 2 : c->positionals;
    if (o.positional.size() < wanted || (c->positionals >= 0 && o.positional.size() > wanted))
        return report.usage(QStringLiteral("%1 argument(s) expected").arg(c->positionals < 0 ? QStringLiteral("ELEMENT and KEY=VALUE") : QString::number(wanted)));
    return c->run(report, o);
}

} // namespace nmsctl
