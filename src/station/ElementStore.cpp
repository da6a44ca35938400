#include "station/ElementStore.h"

#include <QFile>

#include "editor/AudioDisplay.h"
#include "editor/StoredValues.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

namespace station {

namespace {

int roleOf(const QString &stored)
{
    // A role that is not a number counts as 0: shown as "other", never as an encoder.
    const double role = leadingNumber(stored);
    return role == 1.0 ? 1 : role == 2.0 ? 2 : 0;
}

QString macKey(const QString &text)
{
    QString key = text.trimmed().toUpper();
    key.remove(QLatin1Char(':'));
    key.remove(QLatin1Char('-'));
    return key;
}

} // namespace

ElementListing listElements(const QString &path)
{
    ElementListing listing;
    listing.exists = QFile::exists(path);
    if (!listing.exists)
        return listing;
    const QList<IniSectionValues> sections =
        LoadIniSectionValues({QStringLiteral("name"), QStringLiteral("ip"), QStringLiteral("role")}, path);
    listing.elements.reserve(sections.size());
    for (const IniSectionValues &s : sections)
        listing.elements.append({s.first, FormatMAC(s.first), s.second.at(0), s.second.at(1), roleOf(s.second.at(2))});
    return listing;
}

MessageSpec emptyDatabaseMessage(bool fileExists)
{
    return information(fileExists ? QStringLiteral("Local database is empty.\rPlease click the 'Auto "
                                                   "Discover' icon to probe the network.")
                                  : QStringLiteral("Local database is empty.\rPlease click 'Auto Discover' "
                                                   "icon to probe the network."),
                       QStringLiteral("Information"));
}

Result findElement(const QString &path, const QString &text, StoredElement *found)
{
    const ElementListing listing = listElements(path);
    const QString wanted = text.trimmed();
    QList<StoredElement> byName;
    for (const StoredElement &e : listing.elements) {
        if (macKey(wanted) == e.section || (!e.ip.isEmpty() && e.ip.trimmed() == wanted)) {
            *found = e;
            return Result::done();
        }
        if (e.name.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            byName.append(e);
    }
    if (byName.size() == 1) {
        *found = byName.first();
        return Result::done();
    }
    if (byName.isEmpty())
        return Result::failed(Outcome::NotFound,
                              critical(QStringLiteral("No element \"%1\" in the local database %2.").arg(wanted, path)));
    QStringList macs;
    for (const StoredElement &e : std::as_const(byName))
        macs << e.mac;
    return Result::failed(Outcome::NotFound,
                          critical(QStringLiteral("%1 elements are named \"%2\" (%3); name one by its MAC address.")
                                       .arg(byName.size())
                                       .arg(wanted, macs.join(QStringLiteral(", ")))));
}

RecordView viewRecord(const QString &section, const QString &path, int bufferMaximum)
{
    auto read = [&](const char *key, const QString &absent = QString()) {
        return ReadFromINI(section, QString::fromLatin1(key), path, absent);
    };
    RecordView v;
    v.keyCount = GetSectionKeyCount(section, path);
    v.name = read("name");
    v.ip = read("ip");
    v.mask = read("mask");
    v.gw = read("gw");
    v.input = stored::listIndex(read("input"), 2);
    v.type = stored::listIndex(read("type"), 2);
    v.tx = stored::listIndex(read("tx"), 2);
    v.version = read("ver", QStringLiteral("2.00"));
    v.bound = read("bound", QStringLiteral("0"));
    v.role = roleOf(read("role"));
    v.remote = read("remote", QStringLiteral("192.168.1.91"));
    v.multi = read("multi", QStringLiteral("239.255.255.239"));
    const double att = leadingNumber(read("att", QStringLiteral("0")));
    v.attenuationBelowRange = att < audio::kAttenMute;
    v.attenuation = stored::rangedValue(att, audio::kAttenMute, audio::kAttenFull);
    v.buffer = stored::rangedValue(read("buf", QStringLiteral("1")), 0, bufferMaximum);
    v.silDetLevel = stored::rangedValue(read("sdl", QStringLiteral("37")), audio::kSilenceLevelMin,
                                        audio::kSilenceLevelMax);
    v.silDetTime = stored::rangedValue(read("sdt", QStringLiteral("43")), audio::kSilenceTimeMin,
                                       audio::kSilenceTimeMax);
    v.silDetMode = stored::listIndex(read("sdm", QStringLiteral("0")), 3);
    v.serial = read("sn");
    // Check boxes hold 0 or 1; other stored numbers land on the nearer one.
    v.sfn = stored::rangedValue(read("sfn", QStringLiteral("0")), 0, 1) == 1;
    v.lowLatency = stored::rangedValue(read("llo", QStringLiteral("0")), 0, 1) == 1;
    return v;
}

MessageSpec corruptedRecordMessage()
{
    return critical(QStringLiteral("The data stored in your computer about this element, is corrupted (1).\r"
                                   "Cannot load this element info."));
}

ConfigCommand commandFor(const RecordView &r)
{
    ConfigCommand c;
    c.decoder = r.role == 2;
    c.ip = r.ip;
    c.mask = r.mask;
    c.gw = r.gw;
    c.remote = r.destination();
    c.audioInput = r.input;
    c.audioType = r.type;
    c.audioTx = r.tx;
    c.sfn = r.sfn ? 1 : 0;
    c.name = r.name;
    // An encoder's panel holds its buffer at 0; only a decoder's command carries it.
    c.buffer = c.decoder ? r.buffer : 0;
    c.silDetMode = r.silDetMode;
    c.silDetLevel = r.silDetLevel;
    c.silDetTime = r.silDetTime;
    c.lowLatency = r.lowLatency ? 1 : 0;
    return c;
}

} // namespace station
