#pragma once
// A main window over a temporary nms.ini, element reports as the wire carries them, and
// an ARP service that answers what the test says, for the protocol tests.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPair>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/frmMain.h"
#include "platform/Arp.h"
#include "protocol/Feedback.h"
#include "protocol/frmWaiting.h"
#include "store/IniStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

using Keys = QList<QPair<QString, QString>>;

inline const QString kMacText = QStringLiteral("00:1A:2B:3C:4D:5E");
inline const QString kSection = QStringLiteral("001A2B3C4D5E");
inline const QByteArray kMacBytes = QByteArray::fromHex("001a2b3c4d5e");

inline QString iniSection(const QString &section, const Keys &keys)
{
    QString text = QLatin1Char('[') + section + QStringLiteral("]\n");
    for (const auto &key : keys)
        text += key.first.toUpper() + QLatin1Char('=') + key.second + QLatin1Char('\n');
    return text;
}

// Keys (lower case) and values of a section in file order.
inline Keys sectionContents(const QString &section, const QString &path)
{
    QStringList names;
    LoadIniSectionKeysLB(section, names, path);
    Keys out;
    for (const QString &name : names)
        out.append({name.toLower(), ReadFromINI(section, name.toLower(), path)});
    return out;
}

inline QString value(const Keys &keys, const QString &key)
{
    for (const auto &k : keys)
        if (k.first == key)
            return k.second;
    return QStringLiteral("<absent>");
}

// What an encoder at 192.168.1.10 reports about itself.
inline ElementFeedback encoderReport()
{
    ElementFeedback f;
    f.UDP_Response_IP = QStringLiteral("192.168.1.10");
    f.UDP_Response_Mask = QStringLiteral("255.255.255.0");
    f.UDP_Response_GW = QStringLiteral("192.168.1.1");
    f.UDP_Response_Remote_IP = QStringLiteral("192.168.1.20");
    f.UDP_Response_Audio_Input = 1;
    f.UDP_Response_Audio_Type = 1;
    f.UDP_Response_TX_Type = 0;
    f.UDP_Response_Name = QStringLiteral("STUDIO A        ");
    f.UDP_Response_Role = 1;
    f.UDP_Response_Serial_Number = 4711;
    f.UDP_Response_Version_Major = 3;
    f.UDP_Response_Version_Minor = 4;
    f.UDP_Response_SFN = 0;
    f.UDP_Response_Buffer = 0;
    f.UDP_Response_Low_Latency = 1;
    return f;
}

inline ElementFeedback decoderReport()
{
    ElementFeedback f = encoderReport();
    f.UDP_Response_Name = QStringLiteral("SITE B          ");
    f.UDP_Response_Remote_IP = QStringLiteral("239.192.0.5");
    f.UDP_Response_TX_Type = 1;
    f.UDP_Response_Role = 2;
    f.UDP_Response_Attenuation = 200;
    f.UDP_Response_SFN = 1;
    f.UDP_Response_Buffer = 10;
    f.UDP_Response_SilDet_Mode = 1;
    f.UDP_Response_SilDet_Level = 77;
    f.UDP_Response_SilDet_Time = 22;
    f.UDP_Response_Low_Latency = 0;
    return f;
}

// The record the station holds for the element before a confirmation.
inline Keys storedRecord(const ElementFeedback &f)
{
    const bool decoder = f.UDP_Response_Role == 2;
    Keys keys{{QStringLiteral("name"), f.UDP_Response_Name.trimmed()},
              {QStringLiteral("ip"), f.UDP_Response_IP},
              {QStringLiteral("mask"), f.UDP_Response_Mask},
              {QStringLiteral("gw"), f.UDP_Response_GW},
              {QStringLiteral("input"), QString::number(f.UDP_Response_Audio_Input)},
              {QStringLiteral("type"), QString::number(f.UDP_Response_Audio_Type)},
              {QStringLiteral("tx"), QString::number(f.UDP_Response_TX_Type)},
              {decoder || f.UDP_Response_TX_Type ? QStringLiteral("multi") : QStringLiteral("remote"),
               f.UDP_Response_Remote_IP},
              {QStringLiteral("role"), QString::number(f.UDP_Response_Role)},
              {QStringLiteral("sn"), QStringLiteral("1")},
              {QStringLiteral("ver"), QStringLiteral("2.0")}};
    return keys;
}

// An ARP service that answers with `mac` (or fails when empty) and counts the questions.
struct FakeArp {
    explicit FakeArp(QByteArray mac = kMacBytes)
        : answer(std::move(mac))
    {
        platform::setHardwareAddressLookup([this](quint32, QByteArray *out) {
            ++attempts;
            if (onAttempt)
                onAttempt(attempts);
            if (answer.isEmpty())
                return false;
            *out = answer;
            return true;
        });
    }
    ~FakeArp() { platform::setHardwareAddressLookup({}); }
    QByteArray answer;
    int attempts = 0;
    std::function<void(int)> onAttempt;
};

// The main window with the element shown in the panel as the operator last saved it.
struct Station {
    Station()
    {
        frmWaiting::setTickIntervalForTests(5);
        w = std::make_unique<frmMain>(false, false);
    }
    ~Station() { frmWaiting::setTickIntervalForTests(0); }

    // Puts what the element reports into the panel, as if the operator had typed it.
    void showInPanel(const ElementFeedback &f, const QString &mac = kMacText)
    {
        w->lblElementMAC->setText(mac);
        w->setElementTypeCaption(f.UDP_Response_Role == 1   ? QStringLiteral("ENCODER")
                                 : f.UDP_Response_Role == 2 ? QStringLiteral("DECODER")
                                                            : QStringLiteral("UNKNOWN"));
        w->cmbAudioInput->setCurrentIndex(f.UDP_Response_Audio_Input);
        w->cmbAudioType->setCurrentIndex(f.UDP_Response_Audio_Type);
        w->cmbAudioTX->setCurrentIndex(f.UDP_Response_TX_Type);
        w->txtElementName->setText(f.UDP_Response_Name.trimmed());
        w->txtElementIP->setText(f.UDP_Response_IP);
        w->txtElementMask->setText(f.UDP_Response_Mask);
        w->txtElementGW->setText(f.UDP_Response_GW);
        w->txtRemoteIP->setText(f.UDP_Response_Remote_IP);
    }

    TestEnvironment env;
    ScriptedMessageBox boxes;
    std::unique_ptr<frmMain> w;
};

inline QString corrupted(const QString &firstLine)
{
    return firstLine + QStringLiteral("\rFeedback is corrupted.");
}
