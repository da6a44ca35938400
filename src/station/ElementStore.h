#pragma once
// The element database as the station and the command-line tool read it: the elements in
// file order, one element found by what an operator calls it, and a record read the way
// the properties panel shows it (each key with the panel's default, brought into its
// control's range). Every call reads the file afresh: the database is never cached here.

#include <QList>
#include <QString>

#include "protocol/ConfigCommand.h"
#include "station/Result.h"

namespace station {

struct StoredElement {
    QString section;   // Encode_MAC of the MAC
    QString mac;       // "00:1A:2B:3C:4D:5E"
    QString name;
    QString ip;
    int role = 0;      // 1 encoder, 2 decoder, anything else unknown
};

struct ElementListing {
    bool exists = false;   // nms.ini is there
    QList<StoredElement> elements;
};
ElementListing listElements(const QString &databasePath);

// "Local database is empty." with the line that fits a missing or an empty file.
MessageSpec emptyDatabaseMessage(bool fileExists);

// ELEMENT as a script names it: a MAC (with or without ":", any case), a stored address
// or a name (blanks around it and case do not matter). NotFound when none matches or a
// name is held by more than one element.
Result findElement(const QString &databasePath, const QString &text, StoredElement *found);

// A record as the panel loads it (TreeView1_NodeClick).
struct RecordView {
    QString name, ip, mask, gw, serial, version;
    int role = 0;                          // 1, 2 or 0 for anything else
    int input = -1, type = -1, tx = -1;    // list indexes, -1: no selection
    QString bound;                         // "bound" as stored (default "0")
    QString remote, multi;                 // with the panel's defaults
    int attenuation = 0, buffer = 0, silDetLevel = 0, silDetTime = 0, silDetMode = -1;
    bool attenuationBelowRange = false;    // the panel writes the lowest position back
    bool sfn = false, lowLatency = false;
    int keyCount = 0;
    QString destination() const { return role == 1 && tx < 1 ? remote : multi; }
};
RecordView viewRecord(const QString &section, const QString &databasePath, int bufferMaximum);

// More keys than the station ever writes: the record was damaged outside it.
constexpr int kMaxLoadableKeys = 21;
MessageSpec corruptedRecordMessage();

// The configuration command the panel would send for the record as loaded.
ConfigCommand commandFor(const RecordView &record);

} // namespace station
