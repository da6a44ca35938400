#include "platform/Log.h"

#include <QNetworkInterface>
#include <QStringList>

Q_LOGGING_CATEGORY(lcDiscovery, "brivolte.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFeedback, "brivolte.feedback", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConfig, "brivolte.config", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMac, "brivolte.mac", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPing, "brivolte.ping", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLevel, "brivolte.level", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStats, "brivolte.stats", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSfn, "brivolte.sfn", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStore, "brivolte.store", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNet, "brivolte.net", QtInfoMsg)

namespace platform {

namespace {

// Out of band of any text a message carries: an element's name is sixteen bytes of
// whatever it reports, so the separators are control characters it cannot smuggle in.
constexpr QChar kOpen = QChar(0x1D);
constexpr QChar kSeparator = QChar(0x1F);

QString clean(QString field)
{
    return field.remove(kOpen).remove(kSeparator).trimmed();
}

} // namespace

QString ElementTag::label() const
{
    // By name and address: every report of an element carries them, the MAC only once found.
    const QString where = !address.isEmpty() ? address : mac;
    if (name.isEmpty())
        return where;
    return where.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, where);
}

QString tagged(const ElementTag &e, const QString &text)
{
    const QStringList fields{clean(e.name), clean(e.mac), clean(e.address), clean(e.interfaceName)};
    return kOpen + fields.join(kSeparator) + kOpen + text;
}

ElementTag untag(const QString &message, QString *text)
{
    const qsizetype end = message.startsWith(kOpen) ? message.indexOf(kOpen, 1) : -1;
    const QStringList fields = end > 0 ? message.mid(1, end - 1).split(kSeparator) : QStringList();
    if (fields.size() != 4) {
        *text = message;
        return {};
    }
    *text = message.mid(end + 1);
    return {fields.at(0), fields.at(1), fields.at(2), fields.at(3)};
}

QString interfaceName(int index)
{
    return index > 0 ? QNetworkInterface::interfaceNameFromIndex(index) : QString();
}

QString hexHead(const QByteArray &data, int bytes)
{
    const QString hex = QString::fromLatin1(data.left(bytes).toHex(' '));
    return data.size() > bytes ? hex + QStringLiteral(" …") : hex;
}

} // namespace platform
