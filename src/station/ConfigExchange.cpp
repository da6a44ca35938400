#include "station/ConfigExchange.h"

#include <QFile>
#include <QStringList>
#include <QtDebug>

#include "editor/AudioDisplay.h"
#include "platform/AppDir.h"
#include "platform/Interfaces.h"
#include "platform/Log.h"
#include "protocol/MacResolution.h"
#include "protocol/ReplyRecord.h"
#include "station/ElementLink.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

namespace station {

namespace {

// A section the station writes itself holds at most 20 keys before a confirmation.
constexpr int kMaxConfirmableKeys = 21;

MessageSpec cannotSave(const char *line)
{
    return critical(QLatin1String(line) + QStringLiteral("\rCannot save."), QStringLiteral("Error!"));
}

MessageSpec cannotSaveElement(const char *line)
{
    return critical(QLatin1String(line) + QStringLiteral("\rCannot save this element info."));
}

// The settings a confirmation takes from the element, brought into the controls' ranges,
// in the order they are stored. Only a decoder's message carries attenuation and the
// silence detector: an encoder's record keeps its own.
struct Setting {
    const char *key;
    quint8 ElementFeedback::*field;
    bool decoderOnly;
    int minimum, maximum;   // maximum -1: the buffer bar's; 0..1 options fall back to 0
};

const Setting kSettings[] = {
    {"att", &ElementFeedback::UDP_Response_Attenuation, true, audio::kAttenMute, audio::kAttenFull},
    {"buf", &ElementFeedback::UDP_Response_Buffer, false, 0, -1},
    {"sfn", &ElementFeedback::UDP_Response_SFN, false, 0, 1},
    {"sdm", &ElementFeedback::UDP_Response_SilDet_Mode, true, 0, 255},
    {"sdl", &ElementFeedback::UDP_Response_SilDet_Level, true, audio::kSilenceLevelMin, audio::kSilenceLevelMax},
    {"sdt", &ElementFeedback::UDP_Response_SilDet_Time, true, audio::kSilenceTimeMin, audio::kSilenceTimeMax},
    {"llo", &ElementFeedback::UDP_Response_Low_Latency, false, 0, 1},
};

} // namespace

ConfigExchange::ConfigExchange(platform::UdpPort &socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , timerRemoteSent(this)
{
    timerRemoteSent.setSingleShot(true);
    timerRemoteSent.setInterval(kReplyTimeoutMilliseconds);
    connect(&timerRemoteSent, &QTimer::timeout, this, &ConfigExchange::timerRemoteSent_Timer);
}

Result ConfigExchange::check(const ConfigRequest &r, const QString &databasePath)
{
    const ConfigCommand &c = r.command;
    const char *problem = nullptr;
    if (r.mac == QLatin1String("-"))
        problem = "No Network Element selected!";
    else if (c.audioInput == -1 || c.audioType == -1 || c.audioTx == -1)
        problem = "Please verify that all audio fields are correct!";
    else if (c.name.isEmpty())
        problem = "Please verify that the name field is correct!";
    else if (!IsValidIP(c.ip) || !IsValidIP(c.mask) || !IsValidIP(c.gw) || !IsValidIP(c.remote))
        problem = "Please verify that all IP fields are correct!";
    else if (!QFile::exists(databasePath))
        problem = "The local database in your computer, is corrupted!";
    return problem ? Result::failed(Outcome::Refused, cannotSave(problem)) : Result::done();
}

MessageSpec ConfigExchange::question()
{
    return station::question(QStringLiteral("This configuration will be sent to selected Network Element and\r"
                                            "will also be saved to local database in your computer. \rAre you sure?"),
                             QStringLiteral("Send configuration"));
}

Result ConfigExchange::send(const ConfigRequest &request)
{
    // The command goes to the address the element has now (its record), not to the new
    // one it is being sent.
    const ElementLink element(Encode_MAC(request.mac), platform::databasePath());
    const Delivery d = element.send(m_socket, encodeConfigCommand(request.command), kMainPort);
    if (!d.target.usable())
        return Result::failed(Outcome::Refused,
                              critical(element.label() + QStringLiteral(" has no valid stored address; nothing was sent.")));
    if (!d.ok()) {
        qCWarning(lcConfig).noquote() << platform::tagged(element.tag(), QStringLiteral("configuration not sent: %1").arg(d.error));
        timerRemoteSent.stop();
        if (d.outcome == Outcome::PortBusy)
            return Result::failed(Outcome::PortBusy, critical(QStringLiteral("Unable to use UDP port 2976: occupied.")));
        // One element out of reach (no route, no interface) is no reason to end the
        // station: the operator is told which and why, and may try again.
        return Result::failed(Outcome::Refused,
                              critical(QStringLiteral("The configuration could not be sent to %1 at %2: %3.\r"
                                                      "Cannot save.")
                                           .arg(element.label(), d.target.address, d.error)));
    }
    m_sent = request;
    qCInfo(lcConfig).noquote() << platform::tagged(element.tag(), QStringLiteral("configuration sent (name %1, address %2)")
                                                                      .arg(request.command.name, request.command.ip));
    // A second save while waiting starts the wait again: the answer to the latest command
    // gets its full three seconds.
    timerRemoteSent.start();
    return Result::done();
}

void ConfigExchange::timerRemoteSent_Timer()
{
    timerRemoteSent.stop();
    qCWarning(lcConfig).noquote() << platform::tagged(m_sent ? ElementLink(Encode_MAC(m_sent->mac), platform::databasePath()).tag()
                                                             : platform::ElementTag{},
                                                      QStringLiteral("no answer to the configuration within %1 ms")
                                                          .arg(kReplyTimeoutMilliseconds));
    emit timedOut(Result::failed(Outcome::NoReply,
                                 cannotSave("Waiting for a response from Network Element has timed out!")));
}

Confirmation ConfigExchange::confirm(ElementFeedback f)
{
    Confirmation c;
    c.mac = f.UDP_Response_MAC;
    const platform::ElementTag tag{PadName16(f.UDP_Response_Name).trimmed(), f.UDP_Response_MAC, f.UDP_Response_IP,
                                   platform::interfaceName(platform::rememberedInterface(IPToAddress(f.UDP_Response_IP)))};
    if (!m_sent || m_sent->mac != f.UDP_Response_MAC) {
        qCWarning(lcConfig).noquote() << platform::tagged(tag, m_sent ? QStringLiteral("reply from another element than the one configured (%1)").arg(m_sent->mac)
                                                                      : QStringLiteral("reply that matched no configuration sent"));
        c.outcome = Outcome::NotFound;
        c.messages << cannotSaveElement("The response received does not match the selected element.");
        return c;
    }
    const QString path = platform::databasePath();
    const QString section = Encode_MAC(c.mac);
    if (GetSectionKeyCount(section, path) >= kMaxConfirmableKeys) {
        c.outcome = Outcome::Refused;
        qCCritical(lcStore).noquote() << platform::tagged(tag, QStringLiteral("stored record has too many keys; reply not confirmed"));
        c.messages << cannotSaveElement("The data stored in your computer about this element, is corrupted.");
        return c;
    }

    const ConfigCommand &sent = m_sent->command;

    bool failed = false;
    IniPairs confirmed;
    auto take = [&](const FieldCheck &check) {
        if (check.matches) {
            confirmed.append({check.key, check.value});
            return;
        }
        failed = true;
        c.messages << critical(feedbackCorruptedMessage(check.errorLine));
        // As sent: the stored name is padded, the command's is as typed.
        c.differences.append({check.key, check.key == QLatin1String("name") ? sent.name : check.value, check.reported});
    };
    for (const FieldCheck &check : compareIdentityFields(f, sent))
        take(check);

    const quint8 role = f.UDP_Response_Role;
    confirmed.append({QStringLiteral("role"), QString::number(role)});
    c.typeCaption = roleCaption(role);
    if (c.typeCaption == QLatin1String("UNKNOWN")) {
        failed = true;
        c.differences.append({QStringLiteral("role"), QString(), QString::number(role)});
    }
    take(compareRemoteAddress(f, sent));

    c.serial = QString::number(f.UDP_Response_Serial_Number);
    confirmed.append({QStringLiteral("sn"), c.serial});
    c.version = QString::number(f.UDP_Response_Version_Major) + QLatin1Char('.')
                + QString::number(f.UDP_Response_Version_Minor);
    confirmed.append({QStringLiteral("ver"), c.version});

    const bool decoder = carriesDecoderSettings(f);
    for (const Setting &s : kSettings) {
        if (s.decoderOnly && !decoder)
            continue;
        quint8 &value = f.*(s.field);
        if (s.maximum == 1)
            value = value > 1 ? 0 : value;
        else
            value = quint8(qBound(s.minimum, int(value), s.maximum < 0 ? m_bufferMaximum : s.maximum));
        confirmed.append({QString::fromLatin1(s.key), QString::number(value)});
    }
    c.shown = true;
    c.buffer = f.UDP_Response_Buffer;
    if (decoder) {
        c.attenuation = f.UDP_Response_Attenuation;
        // A mode the list has no item for is shown as no selection; the element's value is
        // still what the record keeps.
        c.silDetMode = f.UDP_Response_SilDet_Mode < 3 ? int(f.UDP_Response_SilDet_Mode) : -1;
        c.silDetLevel = f.UDP_Response_SilDet_Level;
        c.silDetTime = f.UDP_Response_SilDet_Time;
    }

    if (!WriteManyToINI(section, confirmed, path)) {
        c.outcome = Outcome::Refused;
        qCCritical(lcStore).noquote() << platform::tagged(tag, QStringLiteral("confirmed configuration could not be written"));
        c.messages << cannotSaveElement("The confirmed configuration could not be written to the local database.");
        return c;
    }
    c.outcome = failed ? Outcome::Differs : Outcome::Done;
    if (failed) {
        QStringList fields;
        for (const Confirmation::Difference &d : c.differences)
            fields << QStringLiteral("%1 sent \"%2\" reported \"%3\"").arg(d.key, d.sent, d.reported);
        qCWarning(lcConfig).noquote() << platform::tagged(tag, QStringLiteral("configuration differs: ") + fields.join(QStringLiteral("; ")));
    } else {
        qCInfo(lcConfig).noquote() << platform::tagged(tag, QStringLiteral("configuration confirmed"));
    }
    if (!failed)
        c.messages << information(QStringLiteral("New configuration has been sucessfuly saved and loaded!"),
                                  QStringLiteral("Configuration changed"));
    return c;
}

} // namespace station
