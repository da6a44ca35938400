// "Save changes" through the window: the panel as the command the element receives (a
// socket of the test on 127.0.0.2:2976), the question, the wait window while the answer's
// MAC address is asked for, and the confirmed values shown in the panel. The core's
// handling of every case is the station tests'; here is what only the window shows.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QScrollBar>
#include <QTreeWidget>
#include <QUdpSocket>

#include "station/StationCore.h"
#include "support/ScriptedMessageBox.h"
#include "windows/frmMain.h"
#include "windows/frmWaiting.h"

namespace {

const QHostAddress kElementAddress(QStringLiteral("127.0.0.2"));
const QString kQuestion = QStringLiteral(
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \rAre you sure?");
const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");

using PanelSetup = std::function<void(frmMain &)>;

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

} // namespace

Q_DECLARE_METATYPE(PanelSetup)

class TestSendConfiguration : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ScriptedMessageBox> boxes;
    std::unique_ptr<frmMain> w;
    std::unique_ptr<QUdpSocket> element;

    QByteArray received()
    {
        return QTest::qWaitFor([this] { return element->hasPendingDatagrams(); }, 10000) ? element->receiveDatagram().data()
                                                                                           : QByteArray();
    }
    void save() { boxes->answerNext(platform::MsgAnswer::Yes), w->SaveChanges(); }

    // The element as the operator last saved it, shown in the panel.
    void show(const ElementFeedback &f)
    {
        w->lblElementMAC->setText(kMacText);
        w->setElementTypeCaption(f.UDP_Response_Role == 2 ? "DECODER" : "ENCODER");
        w->cmbAudioInput->setCurrentIndex(f.UDP_Response_Audio_Input);
        w->cmbAudioType->setCurrentIndex(f.UDP_Response_Audio_Type);
        w->cmbAudioTX->setCurrentIndex(f.UDP_Response_TX_Type);
        w->txtElementName->setText(f.UDP_Response_Name.trimmed());
        w->txtElementIP->setText(f.UDP_Response_IP);
        w->txtElementMask->setText(f.UDP_Response_Mask);
        w->txtElementGW->setText(f.UDP_Response_GW);
        w->txtRemoteIP->setText(f.UDP_Response_Remote_IP);
    }

private slots:
    void init()
    {
        station::MacWait::setTickIntervalForTests(5);
        env = std::make_unique<TestEnvironment>();
        boxes = std::make_unique<ScriptedMessageBox>();
        env->writeIni(iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "127.0.0.2"}, {"role", "1"}}));
        element = std::make_unique<QUdpSocket>();
        QVERIFY2(element->bind(kElementAddress, kMainPort), "another program holds UDP port 2976 on 127.0.0.2");
        w = std::make_unique<frmMain>(false, false);
        QVERIFY(w->station().open(0).ok());
        // The worked example: encoder "abc" at 10.0.0.5/24, gw .1, unicast to .9, Analog, MPX, SFN off, low latency.
        show(decoded(hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00") + "abc" + QByteArray(13, ' ') + hex("01 00000001")));
        w->chkSFNEnabled->setChecked(false), w->chkLowLatency->setChecked(true);
    }
    void cleanup()
    {
        w.reset(), element.reset(), boxes.reset(), env.reset();
        station::MacWait::setTickIntervalForTests(0);
    }

    void panelBecomesTheCommand_data()
    {
        QTest::addColumn<PanelSetup>("panel"); QTest::addColumn<QByteArray>("expected");
        const QByteArray head = hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00 00");
        QTest::newRow("decoder") << PanelSetup([](frmMain &w) {
            w.setElementTypeCaption(QStringLiteral("DECODER"));
            w.cmbAudioInput->setCurrentIndex(0), w.cmbAudioType->setCurrentIndex(0);   // hidden, still sent
            w.cmbAudioTX->setCurrentIndex(1);
            w.txtElementName->setText("Site 2"), w.txtElementIP->setText("10.0.0.6"), w.txtRemoteIP->setText("239.1.2.3");
            w.chkSFNEnabled->setChecked(true), w.chkLowLatency->setChecked(false);
            w.scrlBuffer->setEnabled(true), w.scrlBuffer->setValue(10), w.cmbSilDetMode->setCurrentIndex(2);
            w.scrlSilDetLevel->setValue(77), w.scrlSilDetTime->setValue(22);
        }) << hex("0A000006 FFFFFF00 0A000001 EF010203 00 00 01 01") + "SITE 2          " + hex("0A 02 4D 16 00");
        QTest::newRow("unknown element gets the short form")
            << PanelSetup([](frmMain &w) { w.setElementTypeCaption("UNKNOWN"); }) << head + "ABC             " + hex("01");
    }
    void panelBecomesTheCommand()
    {
        QFETCH(PanelSetup, panel); QFETCH(QByteArray, expected);
        panel(*w);
        save();
        QCOMPARE(boxes->texts(), QStringList{kQuestion});
        QCOMPARE(boxes->shown().at(0).title, QStringLiteral("Send configuration"));
        QVERIFY(boxes->shown().at(0).buttons == platform::MsgButtons::YesNo && boxes->shown().at(0).icon == platform::MsgIcon::Question);
        QCOMPARE(received().toHex(' '), expected.toHex(' '));
    }

    void answerNoSendsNothing()
    {
        boxes->answerNext(platform::MsgAnswer::No);
        w->SaveChanges();
        QCOMPARE(boxes->texts(), QStringList{kQuestion});
        QVERIFY(!w->station().config().isWaiting());
    }

    void silentElementShowsTheTimeOut()
    {
        save();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->count() == 2, 15000);
        QCOMPARE(boxes->texts().at(1), QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save."));
        QCOMPARE(boxes->shown().at(1).title, QStringLiteral("Error!"));
        QVERIFY(!w->station().config().isWaiting());
        QTest::qWait(200);
        QCOMPARE(boxes->count(), 2);   // once
    }

    // The answer's MAC is asked for behind the wait window; the element's settings, brought
    // into the bars' ranges, are shown and the tree is rebuilt.
    void confirmationShownInPanel()
    {
        FakeArp arp;
        env->writeIni(iniSection(kSection, {{"name", "SITE B"}, {"ip", "127.0.0.2"}, {"role", "2"}}));
        show(decoderReport());
        save();
        QVERIFY(!received().isEmpty());
        bool waitShown = false;
        arp.onAttempt = [&](int) {
            auto *wait = w->findChild<frmWaiting *>();
            waitShown = wait && wait->isVisible();
        };
        ElementFeedback reply = decoderReport();
        reply.UDP_Response_Attenuation = 10, reply.UDP_Response_Buffer = 30, reply.UDP_Response_SilDet_Mode = 7;
        reply.UDP_Response_SilDet_Level = 0, reply.UDP_Response_SilDet_Time = 250;
        w->udpClient_DataArrival(encodeFeedback(reply));
        QTRY_COMPARE(boxes->count(), 2);
        QVERIFY(waitShown);
        QVERIFY(!w->findChild<frmWaiting *>()->isVisible());
        QCOMPARE(boxes->texts(), (QStringList{kQuestion, kSuccess}));
        QCOMPARE((QList<int>{w->scrlAtten->value(), w->scrlBuffer->value(), w->scrlSilDetLevel->value(),
                             w->scrlSilDetTime->value(), w->cmbSilDetMode->currentIndex()}),
                 (QList<int>{14, 22, 1, 220, -1}));
        QCOMPARE(w->lblSerialNumber->text() + ' ' + w->lblVersion->text(), QStringLiteral("4711 3.4"));
        QCOMPARE(w->TreeView1->topLevelItemCount(), 1);
    }

    // The operator closes the wait window: the answer is given up, with its message.
    void waitWindowClosedByTheOperator()
    {
        FakeArp arp{QByteArray()};
        arp.onAttempt = [&](int attempt) {
            if (attempt == 2)
                QMetaObject::invokeMethod(w.get(), [this] { w->findChild<frmWaiting *>()->close(); }, Qt::QueuedConnection);
        };
        w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QTRY_COMPARE(boxes->count(), 1);
        QCOMPARE(boxes->texts(), QStringList{corrupted("An error occured while retrieving 'Element MAC':")});
        QCOMPARE(arp.attempts, 2);
    }

    void socketFailureEndsTheProgram()
    {
        w->udpClient.close();
        save();
        QCOMPARE(boxes->texts(), (QStringList{kQuestion, QStringLiteral("Unable to use UDP port 2976: occupied.")}));
        QCOMPARE(env->endProgramCalls(), 1);
        QCOMPARE(env->lastExitCode(), 1);
    }
};

QTEST_MAIN(TestSendConfiguration)
#include "tst_sendconfiguration.moc"
