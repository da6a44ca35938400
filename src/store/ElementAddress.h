#pragma once
// The address a command goes to: the selected element's stored "ip". It is checked before
// anything is sent (configuration, attenuation, level request, port-2978 commands), so
// that a missing or damaged record is reported to the operator in plain words instead of
// ending the program, and a command meant for one element never reaches them all.

#include <QString>

struct ElementAddress {
    QString address;   // dotted IPv4, normalised ("10.0.0.5"), when usable
    QString problem;   // one line naming what is wrong, empty when usable
    bool usable() const { return problem.isEmpty(); }
};

// `storedIp` is the "ip" key as read from the database (empty when absent).
ElementAddress elementAddress(const QString &storedIp);
