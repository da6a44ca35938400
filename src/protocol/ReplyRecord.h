#pragma once
// What a checked feedback message turns into: the record a discovery answer stores, and
// the field-by-field comparison with the command sent that confirms a configuration.
// Pure functions over values: no file, no window.

#include <QList>
#include <QString>

#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"
#include "store/IniStore.h"

// Only a decoder's message carries attenuation and the silence detector settings; any
// other element type uses the encoder's layout.
bool carriesDecoderSettings(const ElementFeedback &f);

// The element's remote/multicast address is kept under "remote" for an encoder sending by
// unicast, under "multi" otherwise (every decoder, every multicast sender).
QString remoteAddressKey(const ElementFeedback &f);

// "ENCODER" for 1, "DECODER" for 2, "UNKNOWN" for anything else.
QString roleCaption(quint8 role);

// The low latency option and the silence detector settings have no default: a message
// too short to carry them must not leave an earlier element's values in the record, so
// they start from 0 before every decode.
void resetFieldsWithoutDefault(ElementFeedback &f);

// Keys and values of a discovered element's section, in the order they are written.
IniPairs discoveryRecord(const ElementFeedback &f);

// One compared field: when it matches, `value` is stored under `key`; otherwise
// `errorLine` (first line of the message box) is reported and nothing is stored.
// `reported` is the element's value as text, beside `value`, what it was sent.
struct FieldCheck {
    QString key;
    bool matches = false;
    QString value;
    QString errorLine;
    QString reported;
};

// The seven fields compared first (name, ip, mask, gw, input, type, tx), in order.
QList<FieldCheck> compareIdentityFields(const ElementFeedback &f, const ConfigCommand &sent);
// The remote/multicast address, compared after the element type has been taken.
FieldCheck compareRemoteAddress(const ElementFeedback &f, const ConfigCommand &sent);
