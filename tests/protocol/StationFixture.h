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
#include "support/IniText.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

inline const QString kMacText = QStringLiteral("00:1A:2B:3C:4D:5E");
inline const QString kSection = QStringLiteral("001A2B3C4D5E");
inline const QByteArray kMacBytes = QByteArray::fromHex("001a2b3c4d5e");

inline QString value(const Keys &keys, const QString &key)
{
    for (const auto &k : keys)
        if (k.first == key)
            return k.second;
    return QStringLiteral("<absent>");
}

// The record a message decodes to.
inline ElementFeedback decoded(const QByteArray &message)
{
    ElementFeedback f;
    decodeFeedback(message, f);
    return f;
}

// What an encoder at 192.168.1.10/24 (gateway .1) reports about itself: "STUDIO A", unicast
// to 192.168.1.20, Analog, MPX, serial 4711, version 3.4, SFN off, buffer 0, low latency on.
inline ElementFeedback encoderReport()
{
    return decoded(QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 C0A80114 01 01 00") + "STUDIO A        "
                   + QByteArray::fromHex("01 00001267 03 04 00 00 01"));
}

// A decoder at the same address: "SITE B", multicast 239.192.0.5, attenuation 200, SFN on,
// buffer 10, silence detection mode 1 / level 77 / time 22, low latency off.
inline ElementFeedback decoderReport()
{
    return decoded(QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 EFC00005 01 01 01") + "SITE B          "
                   + QByteArray::fromHex("02 00001267 C8 03 04 01 0A 01 4D 16 0000000000 00"));
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
