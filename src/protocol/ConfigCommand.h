#pragma once
// The configuration command (37 bytes for an encoder or unknown element, 41 for a
// decoder) and the paging request. Pure: built from the panel's values, no window.

#include <QByteArray>
#include <QString>
#include <optional>

#include "protocol/Ports.h"

struct ConfigCommand {
    bool decoder = false;     // lblElementType reads "DECODER"
    QString ip, mask, gw, remote;   // dotted texts as typed (callers check IsValidIP first)
    int audioInput = 0, audioType = 0, audioTx = 0;   // list indexes
    int sfn = 0;              // chkSFNEnabled 0/1
    QString name;             // txtElementName's text; sent as PadName16
    int buffer = 0, silDetMode = 0, silDetLevel = 0, silDetTime = 0;   // decoder only
    int lowLatency = 0;       // chkLowLatency 0/1
};

QByteArray encodeConfigCommand(const ConfigCommand &command);
// For the simulator: nullopt unless exactly 37 or 41 bytes.
std::optional<ConfigCommand> decodeConfigCommand(const QByteArray &datagram);

// "ZENTORAL QUORVANE PAGING REQUEST", 32 bytes, broadcast to port 1901.
QByteArray pagingRequest();
