#pragma once
// The one way the program reports what happened: Qt's logging categories, so that
// QT_LOGGING_RULES switches them as users expect. The event log (station/EventLog) is
// fed from the installed message handler, never by calls of its own.
//
// A message about one element starts with its tag (tagged()), which the event log takes
// apart into the element's fields; on standard error it reads "[NAME MAC ADDRESS IF] …".

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcFeedback)
Q_DECLARE_LOGGING_CATEGORY(lcConfig)
Q_DECLARE_LOGGING_CATEGORY(lcMac)
Q_DECLARE_LOGGING_CATEGORY(lcPing)
Q_DECLARE_LOGGING_CATEGORY(lcLevel)
Q_DECLARE_LOGGING_CATEGORY(lcStats)
Q_DECLARE_LOGGING_CATEGORY(lcSfn)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcNet)

namespace platform {

// What is known of the element a message is about; any field may be empty.
struct ElementTag {
    QString name, mac, address, interfaceName;
    bool isEmpty() const { return name.isEmpty() && mac.isEmpty() && address.isEmpty() && interfaceName.isEmpty(); }
    // "NAME (ADDRESS)", or what there is of them; the MAC without an address.
    QString label() const;
};

// The message text with the element's tag in front, as the event log parses it back.
QString tagged(const ElementTag &element, const QString &text);
// The tag and the text of a message; a message without a tag is all text.
ElementTag untag(const QString &message, QString *text);

// The name of an interface by its index ("" for 0 or one that has gone).
QString interfaceName(int index);
// The first bytes of a datagram in hex, for a report of one that was refused.
QString hexHead(const QByteArray &data, int bytes = 16);

} // namespace platform
