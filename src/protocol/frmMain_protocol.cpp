// Main socket of the main window: datagram dispatch, feedback messages, reply handling and
// the configuration command.
//
// The main socket is bound to UDP 2976 once at start-up and stays bound for the
// program's whole life: replies, paging answers and level samples all arrive on it, and
// closing it to send would drop whatever was in flight.
#include "app/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QtDebug>

#include "platform/Interfaces.h"
#include "platform/MessageBox.h"
#include "platform/ProgramExit.h"
#include "protocol/ConfigCommand.h"
#include "protocol/MacResolution.h"
#include "protocol/ReplyRecord.h"
#include "protocol/frmWaiting.h"
#include "store/ElementAddress.h"
#include "store/ElementRecord.h"
#include "store/IniStore.h"
#include "store/TextHelpers.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

constexpr int kReplyTimeoutMilliseconds = 3000;
// The boxes of the nine checks are one kind of trouble: one at a time.
const QString kFeedbackCheckBox = QStringLiteral("feedback check");
constexpr quint8 kMacWaitTicks = 20;
// A section the station writes itself holds at most 20 keys before a confirmation.
constexpr int kMaxConfirmableKeys = 21;

QString withCannotSave(const char *line)
{
    return QString::fromLatin1(line) + QStringLiteral("\rCannot save.");
}

QString withCannotSaveElement(const char *line)
{
    return QString::fromLatin1(line) + QStringLiteral("\rCannot save this element info.");
}

QString elementLabel(const QString &name, const QString &mac)
{
    const QString bracketed = QStringLiteral("[") + mac + QStringLiteral("]");
    return name.isEmpty() ? bracketed : name + QLatin1Char(' ') + bracketed;
}

} // namespace

void frmMain::wireProtocol()
{
    connect(&udpClient, &platform::UdpPort::datagramReceived, this, &frmMain::udpClient_DataArrival);
    connect(&timerRemoteSent, &QTimer::timeout, this, &frmMain::timerRemoteSent_Timer);
}

void frmMain::udpClient_DataArrival(const QByteArray &datagram)
{
    switch (routeDatagram(datagram.size())) {
    case DatagramRoute::AudioLevel:
        ShowAudioLevel(datagram);
        break;
    case DatagramRoute::Feedback:
        ParseFeedback(datagram);
        break;
    case DatagramRoute::Ignored:
        break;
    }
}

// Handling one message can open modal windows (the MAC wait, message boxes) whose event
// loops deliver further datagrams. Those wait in the queue, with the discovery state in
// which they arrived, so the record being handled is never overwritten underneath it and
// no answer is lost; they are handled afterwards, in order of arrival.
void frmMain::ParseFeedback(const QByteArray &message)
{
    if (m_handlingFeedback) {
        // One that fails its checks while such a box is open only adds to that box's count.
        ElementFeedback scratch = feedback;
        if (decodeFeedback(message, scratch) != FeedbackCheck::Ok && platform::countIfShowing(kFeedbackCheckBox))
            return;
        if (int(m_feedbackQueue.size()) >= kFeedbackQueueLimit) {
            // Logged at 1, 2, 4, 8… drops: a flood must not turn into as many log lines.
            ++m_droppedFeedback;
            if ((m_droppedFeedback & (m_droppedFeedback - 1)) == 0)
                qWarning("brivolte-nms: %d feedback messages waiting; one more dropped (%d dropped so far)",
                         kFeedbackQueueLimit, m_droppedFeedback);
            return;
        }
        m_feedbackQueue.push_back({message, AutoDiscoverAwaiting, udpClient.lastInterfaceIndex()});
        return;
    }

    m_handlingFeedback = true;
    PendingFeedback current{message, AutoDiscoverAwaiting, udpClient.lastInterfaceIndex()};
    for (;;) {
        resetFieldsWithoutDefault(feedback);
        const FeedbackCheck check = decodeFeedback(current.message, feedback);
        UDP_Response_IP = feedback.UDP_Response_IP;
        if (check != FeedbackCheck::Ok) {
            // The reply time-out keeps running: a corrupted answer still ends in it.
            platform::showOncePerKind(this, kFeedbackCheckBox,
                                      feedbackCorruptedMessage(feedbackCheckText(check)), MsgIcon::Critical);
        } else {
            handleCheckedFeedback(current.discovery, current.interfaceIndex);
        }
        if (!AutoDiscoverAwaiting)
            Load_Config();
        if (m_feedbackQueue.empty())
            break;
        current = std::move(m_feedbackQueue.front());
        m_feedbackQueue.pop_front();
    }
    m_handlingFeedback = false;
}

void frmMain::handleCheckedFeedback(bool discovery, int interfaceIndex)
{
    timerRemoteSent.stop();
    // The element is reached at the address it reports, on the link its report came in
    // by: an address outside every local subnet (factory default, or just re-addressed)
    // has no route, and its MAC is to be asked for on that link.
    platform::rememberInterface(IPToAddress(UDP_Response_IP), interfaceIndex);

    QString mac;
    if (discovery) {
        if (ResolveRemoteMAC(UDP_Response_IP, mac, QStringLiteral(":")))
            sRemoteMacAddress2 = mac;
        else
            mac.clear();
    } else {
        sRemoteMacAddress2.clear();
        getMACTimeout = kMacWaitTicks;
        frmWaiting wait(this);
        wait.exec();
        mac = sRemoteMacAddress2;
    }
    if (mac.isEmpty()) {
        platform::showMessage(this,
                              feedbackCorruptedMessage(QStringLiteral(
                                  "An error occured while retrieving 'Element MAC':")),
                              MsgIcon::Critical);
        return;
    }
    feedback.UDP_Response_MAC = mac;

    if (discovery)
        storeDiscoveredElement();
    else
        confirmConfiguration();
}

// The whole record in one write: during a discovery many answers arrive within the same
// three seconds, and rewriting the file once per key would spend them on disk work.
void frmMain::storeDiscoveredElement()
{
    WriteManyToINI(Encode_MAC(feedback.UDP_Response_MAC), discoveryRecord(feedback), iniPath());
    if (!lastIniWriteSucceeded()) {
        emit discoveryAnswerNotStored();
        platform::showMessage(this,
                              elementLabel(PadName16(feedback.UDP_Response_Name).trimmed(),
                                           feedback.UDP_Response_MAC)
                                  + QStringLiteral(" could not be stored in the local database."),
                              MsgIcon::Critical);
        return;
    }
    emit discoveryAnswerStored();
}

void frmMain::confirmConfiguration()
{
    const QString path = iniPath();
    if (lblElementMAC->text() != feedback.UDP_Response_MAC) {
        platform::showMessage(
            this, withCannotSaveElement("The response received does not match the selected element."),
            MsgIcon::Critical);
        return;
    }
    const QString section = Encode_MAC(lblElementMAC->text());
    if (GetSectionKeyCount(section, path) >= kMaxConfirmableKeys) {
        platform::showMessage(
            this,
            withCannotSaveElement("The data stored in your computer about this element, is corrupted."),
            MsgIcon::Critical);
        return;
    }

    bool failed = false;
    IniPairs confirmed;
    auto take = [&](const FieldCheck &check) {
        if (check.matches) {
            confirmed.append({check.key, check.value});
            return;
        }
        failed = true;
        platform::showMessage(this, feedbackCorruptedMessage(check.errorLine), MsgIcon::Critical);
    };

    PanelFields panel;
    panel.name = txtElementName->text();
    panel.ip = txtElementIP->text();
    panel.mask = txtElementMask->text();
    panel.gw = txtElementGW->text();
    panel.audioInput = cmbAudioInput->currentIndex();
    panel.audioType = cmbAudioType->currentIndex();
    panel.audioTx = cmbAudioTX->currentIndex();
    for (const FieldCheck &check : compareIdentityFields(feedback, panel))
        take(check);

    const quint8 role = feedback.UDP_Response_Role;
    confirmed.append({QStringLiteral("role"), QString::number(role)});
    const QString caption = roleCaption(role);
    setElementTypeCaption(caption);
    if (caption == QLatin1String("UNKNOWN"))
        failed = true;

    panel.remote = txtRemoteIP->text();
    take(compareRemoteAddress(feedback, panel));

    const QString serial = QString::number(feedback.UDP_Response_Serial_Number);
    lblSerialNumber->setText(serial);
    confirmed.append({QStringLiteral("sn"), serial});
    const QString version = QString::number(feedback.UDP_Response_Version_Major) + QLatin1Char('.')
                            + QString::number(feedback.UDP_Response_Version_Minor);
    lblVersion->setText(version);
    confirmed.append({QStringLiteral("ver"), version});

    // The settings come from the element, brought into the controls' ranges. An encoder's
    // message carries no attenuation or silence detector settings: its record keeps them.
    const bool decoder = carriesDecoderSettings(feedback);
    if (decoder) {
        quint8 &att = feedback.UDP_Response_Attenuation;
        att = quint8(qBound(scrlAtten->minimum(), int(att), scrlAtten->maximum()));
        scrlAtten->setValue(att);
        confirmed.append({QStringLiteral("att"), QString::number(att)});
    }
    quint8 &buffer = feedback.UDP_Response_Buffer;
    buffer = quint8(qBound(scrlBuffer->minimum(), int(buffer), scrlBuffer->maximum()));
    scrlBuffer->setValue(buffer);
    confirmed.append({QStringLiteral("buf"), QString::number(buffer)});

    quint8 &sfn = feedback.UDP_Response_SFN;
    if (sfn > 1)
        sfn = 0;
    confirmed.append({QStringLiteral("sfn"), QString::number(sfn)});

    if (decoder) {
        const quint8 mode = feedback.UDP_Response_SilDet_Mode;
        // A mode the list has no item for is shown as no selection; the element's value is
        // still what the record keeps.
        cmbSilDetMode->setCurrentIndex(mode < cmbSilDetMode->count() ? int(mode) : -1);
        confirmed.append({QStringLiteral("sdm"), QString::number(mode)});

        quint8 &level = feedback.UDP_Response_SilDet_Level;
        level = quint8(qBound(scrlSilDetLevel->minimum(), int(level), scrlSilDetLevel->maximum()));
        scrlSilDetLevel->setValue(level);
        confirmed.append({QStringLiteral("sdl"), QString::number(level)});

        quint8 &time = feedback.UDP_Response_SilDet_Time;
        time = quint8(qBound(scrlSilDetTime->minimum(), int(time), scrlSilDetTime->maximum()));
        scrlSilDetTime->setValue(time);
        confirmed.append({QStringLiteral("sdt"), QString::number(time)});
    }

    quint8 &lowLatency = feedback.UDP_Response_Low_Latency;
    if (lowLatency > 1)
        lowLatency = 0;
    confirmed.append({QStringLiteral("llo"), QString::number(lowLatency)});

    WriteManyToINI(section, confirmed, path);
    if (!lastIniWriteSucceeded()) {
        platform::showMessage(this,
                              QStringLiteral("The confirmed configuration could not be written to "
                                             "the local database.\rCannot save this element info."),
                              MsgIcon::Critical);
        return;
    }
    if (!failed)
        platform::showMessage(this, QStringLiteral("New configuration has been sucessfuly saved and loaded!"),
                              MsgIcon::Information, MsgButtons::Ok,
                              QStringLiteral("Configuration changed"));
}

void frmMain::SaveChanges()
{
    const char *problem = nullptr;
    if (lblElementMAC->text() == QLatin1String("-"))
        problem = "No Network Element selected!";
    else if (cmbAudioInput->currentIndex() == -1 || cmbAudioType->currentIndex() == -1
             || cmbAudioTX->currentIndex() == -1)
        problem = "Please verify that all audio fields are correct!";
    else if (txtElementName->text().isEmpty())
        problem = "Please verify that the name field is correct!";
    else if (!IsValidIP(txtElementIP->text()) || !IsValidIP(txtElementMask->text())
             || !IsValidIP(txtElementGW->text()) || !IsValidIP(txtRemoteIP->text()))
        problem = "Please verify that all IP fields are correct!";
    else if (!QFile::exists(iniPath()))
        problem = "The local database in your computer, is corrupted!";
    if (problem) {
        platform::showMessage(this, withCannotSave(problem), MsgIcon::Critical, MsgButtons::Ok,
                              QStringLiteral("Error!"));
        return;
    }

    const MsgAnswer answer = platform::showMessage(
        this,
        QStringLiteral("This configuration will be sent to selected Network Element and\r"
                       "will also be saved to local database in your computer. \rAre you sure?"),
        MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("Send configuration"));
    if (answer == MsgAnswer::Yes)
        SendConfiguration();
}

void frmMain::SendConfiguration()
{
    ConfigCommand command;
    command.decoder = lblElementType->text() == QLatin1String("DECODER");
    command.ip = txtElementIP->text();
    command.mask = txtElementMask->text();
    command.gw = txtElementGW->text();
    command.remote = txtRemoteIP->text();
    command.audioInput = cmbAudioInput->currentIndex();
    command.audioType = cmbAudioType->currentIndex();
    command.audioTx = cmbAudioTX->currentIndex();
    command.sfn = chkSFNEnabled->isChecked() ? 1 : 0;
    command.name = txtElementName->text();
    command.buffer = scrlBuffer->value();
    command.silDetMode = cmbSilDetMode->currentIndex();
    command.silDetLevel = scrlSilDetLevel->value();
    command.silDetTime = scrlSilDetTime->value();
    command.lowLatency = chkLowLatency->isChecked() ? 1 : 0;
    const QByteArray datagram = encodeConfigCommand(command);

    // The command goes to the address the element has now (its record), not to the new
    // one in the panel.
    const QString mac = lblElementMAC->text();
    const QString section = Encode_MAC(mac);
    const QString path = iniPath();
    const QString destination = elementAddress(ReadFromINI(section, QStringLiteral("ip"), path)).address;
    if (destination.isEmpty()) {
        platform::showMessage(this,
                              elementLabel(ReadFromINI(section, QStringLiteral("name"), path), mac)
                                  + QStringLiteral(" has no valid stored address; nothing was sent."),
                              MsgIcon::Critical);
        return;
    }

    QString error;
    if (!udpClient.sendTo(datagram, destination, kMainPort, &error)) {
        qWarning("brivolte-nms: configuration command to %s not sent: %s",
                 qPrintable(destination), qPrintable(error));
        timerRemoteSent.stop();
        if (udpClient.lastSendBrokeSocket()) {
            platform::showMessage(this, QStringLiteral("Unable to use UDP port 2976: occupied."),
                                  MsgIcon::Critical);
            platform::endProgram(1);
            return;
        }
        // One element out of reach (no route, no interface) is no reason to end the
        // station: the operator is told which and why, and may try again.
        platform::showMessage(this,
                              QStringLiteral("The configuration could not be sent to %1 at %2: %3.\r"
                                             "Cannot save.")
                                  .arg(elementLabel(ReadFromINI(section, QStringLiteral("name"), path), mac),
                                       destination, error),
                              MsgIcon::Critical);
        return;
    }
    // A second save while waiting starts the wait again: the answer to the latest command
    // gets its full three seconds.
    timerRemoteSent.start(kReplyTimeoutMilliseconds);
}

void frmMain::timerRemoteSent_Timer()
{
    timerRemoteSent.stop();
    platform::showMessage(this, withCannotSave("Waiting for a response from Network Element has timed out!"),
                          MsgIcon::Critical, MsgButtons::Ok, QStringLiteral("Error!"));
}
