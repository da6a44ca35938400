// The main window's side of the element protocol: the configuration the panel sends, and
// what the station's handling of the main socket's messages comes to (its messages, the
// MAC wait, a confirmed configuration shown in the panel, the tree rebuilt).
#include "windows/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "windows/MessageBox.h"
#include "windows/frmWaiting.h"

using station::ConfigExchange;
using station::Station;

void frmMain::wireProtocol()
{
    connect(&m_station, &Station::feedbackRejected, this,
            [this](const platform::MessageSpec &message) { platform::showMessage(this, message); });
    connect(&m_station, &Station::macWaitStarted, this, &frmMain::showMacWait);
    connect(&m_station, &Station::macWaitEnded, this, [this] {
        if (m_macWaitWindow)
            m_macWaitWindow->accept();
    });
    connect(&m_station, &Station::confirmed, this, &frmMain::showConfirmation);
    connect(&m_station, &Station::databaseChanged, this, &frmMain::Load_Config);
    connect(&m_station.config(), &ConfigExchange::timedOut, this, &frmMain::timerRemoteSent_Timer);
}

void frmMain::udpClient_DataArrival(const QByteArray &datagram)
{
    m_station.takeDatagram(datagram);
}

void frmMain::ParseFeedback(const QByteArray &message)
{
    m_station.takeFeedback(message);
}

void frmMain::showMacWait(const QString &)
{
    if (!m_macWaitWindow)
        m_macWaitWindow = new frmWaiting(m_station.macWait(), this);
    m_macWaitWindow->open();
}

// The element's values go into the panel only while it still shows that element.
void frmMain::showConfirmation(const station::Confirmation &c)
{
    if (c.shown && c.mac == lblElementMAC->text()) {
        setElementTypeCaption(c.typeCaption);
        lblSerialNumber->setText(c.serial);
        lblVersion->setText(c.version);
        if (c.attenuation) {
            m_attenOperatorAction = false;   // the element's value: nothing to send back
            scrlAtten->setValue(*c.attenuation);
        }
        scrlBuffer->setValue(c.buffer);
        if (c.silDetMode)
            cmbSilDetMode->setCurrentIndex(*c.silDetMode);
        if (c.silDetLevel)
            scrlSilDetLevel->setValue(*c.silDetLevel);
        if (c.silDetTime)
            scrlSilDetTime->setValue(*c.silDetTime);
    }
    for (const platform::MessageSpec &message : c.messages)
        platform::showMessage(this, message);
}

station::ConfigRequest frmMain::panelRequest() const
{
    station::ConfigRequest r;
    r.mac = lblElementMAC->text();
    ConfigCommand &c = r.command;
    c.decoder = lblElementType->text() == QLatin1String("DECODER");
    c.ip = txtElementIP->text();
    c.mask = txtElementMask->text();
    c.gw = txtElementGW->text();
    c.remote = txtRemoteIP->text();
    c.audioInput = cmbAudioInput->currentIndex();
    c.audioType = cmbAudioType->currentIndex();
    c.audioTx = cmbAudioTX->currentIndex();
    c.sfn = chkSFNEnabled->isChecked() ? 1 : 0;
    c.name = txtElementName->text();
    c.buffer = scrlBuffer->value();
    c.silDetMode = cmbSilDetMode->currentIndex();
    c.silDetLevel = scrlSilDetLevel->value();
    c.silDetTime = scrlSilDetTime->value();
    c.lowLatency = chkLowLatency->isChecked() ? 1 : 0;
    return r;
}

void frmMain::SaveChanges()
{
    const station::Result checked = ConfigExchange::check(panelRequest(), iniPath());
    if (!checked.ok()) {
        platform::showMessage(this, checked.message);
        return;
    }
    if (platform::showMessage(this, ConfigExchange::question()) == platform::MsgAnswer::Yes)
        SendConfiguration();
}

void frmMain::SendConfiguration()
{
    platform::showOutcome(this, m_station.config().send(panelRequest()));
}

void frmMain::timerRemoteSent_Timer(const station::Result &timedOut)
{
    platform::showMessage(this, timedOut.message);
}
