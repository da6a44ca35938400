// "Save changes": the panel's checks, the question, the configuration command as it leaves
// the main socket for the element's stored address, and the wait for the answer.
// The element is a socket of the test on 127.0.0.2:2976, its stored address; the station's
// main socket is bound to a free port so that the test does not need 2976 free on the host.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QScrollBar>
#include <QUdpSocket>

#include "StationFixture.h"
#include "protocol/ConfigCommand.h"

namespace {

const QHostAddress kElementAddress(QStringLiteral("127.0.0.2"));

const QString kQuestion = QStringLiteral(
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \rAre you sure?");
const QString kTimedOut =
    QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save.");

using PanelSetup = std::function<void(frmMain &)>;

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

} // namespace

Q_DECLARE_METATYPE(PanelSetup)

class TestSendConfiguration : public QObject {
    Q_OBJECT

    std::unique_ptr<Station> s;
    std::unique_ptr<QUdpSocket> element;

    // The next datagram the element receives (bounded wait; empty if none).
    QNetworkDatagram received()
    {
        const bool arrived = QTest::qWaitFor([this] { return element->hasPendingDatagrams(); }, 10000);
        return arrived ? element->receiveDatagram() : QNetworkDatagram();
    }
    // Nothing reached the element: a datagram of the test's own, sent now, is the first
    // thing it receives.
    bool nothingReachedElement()
    {
        QUdpSocket().writeDatagram(QByteArrayLiteral("MARK"), kElementAddress, kMainPort);
        return received().data() == QByteArrayLiteral("MARK");
    }

    void save(platform::MsgAnswer answer = platform::MsgAnswer::Yes)
    {
        s->boxes.answerNext(answer);
        s->w->SaveChanges();
    }

private slots:
    void init()
    {
        s = std::make_unique<Station>();
        s->env.writeIni(iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "127.0.0.2"}, {"role", "1"}}));
        element = std::make_unique<QUdpSocket>();
        QVERIFY2(element->bind(kElementAddress, kMainPort),
                 "127.0.0.2:2976 is taken: another program holds UDP port 2976 on this host");
        QVERIFY(s->w->udpClient.bind(0));
        // The worked example: encoder "abc" at 10.0.0.5/24, gateway .1, unicast to .9, Analog,
        // MPX, SFN off, low latency on.
        s->showInPanel(decoded(hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00") + "abc" + QByteArray(13, ' ')
                               + hex("01 00000001")));
        s->w->chkSFNEnabled->setChecked(false);
        s->w->chkLowLatency->setChecked(true);
    }
    void cleanup()
    {
        element.reset();
        s.reset();
    }

    void commandReachesStoredAddress_data()
    {
        QTest::addColumn<PanelSetup>("panel");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray head = hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00 00");
        QTest::newRow("worked encoder example") << PanelSetup([](frmMain &) {}) << head + "ABC             " + hex("01");
        QTest::newRow("decoder")
            << PanelSetup([](frmMain &w) {
                   w.setElementTypeCaption(QStringLiteral("DECODER"));
                   w.cmbAudioInput->setCurrentIndex(0);   // hidden, still sent
                   w.cmbAudioType->setCurrentIndex(0);
                   w.cmbAudioTX->setCurrentIndex(1);
                   w.txtElementName->setText(QStringLiteral("Site 2"));
                   w.txtElementIP->setText(QStringLiteral("10.0.0.6"));
                   w.txtRemoteIP->setText(QStringLiteral("239.1.2.3"));
                   w.chkSFNEnabled->setChecked(true);
                   w.chkLowLatency->setChecked(false);
                   w.scrlBuffer->setEnabled(true);
                   w.scrlBuffer->setValue(10);
                   w.cmbSilDetMode->setCurrentIndex(2);
                   w.scrlSilDetLevel->setValue(77);
                   w.scrlSilDetTime->setValue(22);
               })
            << hex("0A000006 FFFFFF00 0A000001 EF010203 00 00 01 01") + "SITE 2          " + hex("0A 02 4D 16 00");
        QTest::newRow("unknown element gets the short form")
            << PanelSetup([](frmMain &w) { w.setElementTypeCaption(QStringLiteral("UNKNOWN")); })
            << head + "ABC             " + hex("01");
        QTest::newRow("twenty-character name")
            << PanelSetup([](frmMain &w) { w.txtElementName->setText(QStringLiteral("abcdefghijklmnopqrst")); })
            << head + "ABCDEFGHIJKLMNOP" + hex("01");
    }
    void commandReachesStoredAddress()
    {
        QFETCH(PanelSetup, panel);
        QFETCH(QByteArray, expected);
        panel(*s->w);
        save();
        QCOMPARE(s->boxes.texts(), QStringList{kQuestion});
        QCOMPARE(s->boxes.shown().at(0).title, QStringLiteral("Send configuration"));
        QCOMPARE(s->boxes.shown().at(0).buttons, platform::MsgButtons::YesNo);

        const QNetworkDatagram d = received();
        QCOMPARE(d.data().toHex(' '), expected.toHex(' '));
        QCOMPARE(d.senderPort(), int(s->w->udpClient.localPort()));   // from the main socket, still bound
        QVERIFY(s->w->timerRemoteSent.isActive());
        QVERIFY(nothingReachedElement());   // one datagram, no retry
        s->w->timerRemoteSent.stop();
    }

    void checksRefuseToSave_data()
    {
        QTest::addColumn<PanelSetup>("panel");
        QTest::addColumn<QString>("problem");
        const QString ips = QStringLiteral("Please verify that all IP fields are correct!");
        const QString audio = QStringLiteral("Please verify that all audio fields are correct!");
        QTest::newRow("nothing selected")
            << PanelSetup([](frmMain &w) { w.lblElementMAC->setText(QStringLiteral("-")); })
            << QStringLiteral("No Network Element selected!");
        QTest::newRow("no tx selection")
            << PanelSetup([](frmMain &w) { w.cmbAudioTX->setCurrentIndex(-1); }) << audio;
        QTest::newRow("decoder's hidden input list empty")
            << PanelSetup([](frmMain &w) { w.setElementTypeCaption("DECODER"); w.cmbAudioInput->setCurrentIndex(-1); })
            << audio;
        QTest::newRow("empty name")
            << PanelSetup([](frmMain &w) { w.txtElementName->clear(); })
            << QStringLiteral("Please verify that the name field is correct!");
        QTest::newRow("ip") << PanelSetup([](frmMain &w) { w.txtElementIP->setText(QStringLiteral("10.0.0")); }) << ips;
        QTest::newRow("mask") << PanelSetup([](frmMain &w) { w.txtElementMask->setText(QStringLiteral("255.255.255.256")); }) << ips;
        QTest::newRow("gateway") << PanelSetup([](frmMain &w) { w.txtElementGW->setText(QStringLiteral("a.b.c.d")); }) << ips;
        QTest::newRow("remote") << PanelSetup([](frmMain &w) { w.txtRemoteIP->setText(QStringLiteral("10.0.0.9.")); }) << ips;
        QTest::newRow("database missing")
            << PanelSetup([](frmMain &) { QFile::remove(frmMain::iniPath()); })
            << QStringLiteral("The local database in your computer, is corrupted!");
        QTest::newRow("selection checked before the lists")
            << PanelSetup([](frmMain &w) {
                   w.lblElementMAC->setText(QStringLiteral("-"));
                   w.cmbAudioType->setCurrentIndex(-1);
               })
            << QStringLiteral("No Network Element selected!");
    }
    void checksRefuseToSave()
    {
        QFETCH(PanelSetup, panel);
        QFETCH(QString, problem);
        panel(*s->w);
        save();
        QCOMPARE(s->boxes.texts(), QStringList{problem + QStringLiteral("\rCannot save.")});
        QCOMPARE(s->boxes.shown().at(0).title, QStringLiteral("Error!"));
        QVERIFY(!s->w->timerRemoteSent.isActive());
        QVERIFY(nothingReachedElement());
    }

    void answeringNoSendsNothing()
    {
        save(platform::MsgAnswer::No);
        QCOMPARE(s->boxes.texts(), QStringList{kQuestion});
        QVERIFY(!s->w->timerRemoteSent.isActive());
        QVERIFY(nothingReachedElement());
    }

    void silentElementTimesOutOnce()
    {
        save();
        QCOMPARE(received().data().size(), 37);
        QTRY_VERIFY_WITH_TIMEOUT(s->boxes.count() == 2, 15000);
        QCOMPARE(s->boxes.texts().at(1), kTimedOut);
        QVERIFY(!s->w->timerRemoteSent.isActive());
        QTest::qWait(200);
        QCOMPARE(s->boxes.count(), 2);   // once
    }

    void secondSaveRestartsTheWait()
    {
        save();
        QTest::qWait(1000);
        const int left = s->w->timerRemoteSent.remainingTime();
        save();
        QVERIFY(s->w->timerRemoteSent.remainingTime() > left);
        QCOMPARE(received().data().size(), 37);
        QCOMPARE(received().data().size(), 37);
        s->w->timerRemoteSent.stop();
    }

    void unusableStoredAddress_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("label");
        const QString named = QStringLiteral("STUDIO A [00:1A:2B:3C:4D:5E]");
        QTest::newRow("no ip key") << iniSection(kSection, {{"name", "STUDIO A"}}) << named;
        for (const char *ip : {"10.0.0", "255.255.255.255", "224.0.0.9", "0.0.0.0"})
            QTest::addRow("%s", ip) << iniSection(kSection, {{"name", "STUDIO A"}, {"ip", ip}}) << named;
        QTest::newRow("no record") << iniSection(QStringLiteral("0011223344AA"), {{"ip", "127.0.0.2"}})
                                   << "[00:1A:2B:3C:4D:5E]";
    }
    void unusableStoredAddress()
    {
        QFETCH(QString, record);
        QFETCH(QString, label);
        s->env.writeIni(record);
        save();
        QCOMPARE(s->boxes.texts(),
                 (QStringList{kQuestion, label + QStringLiteral(" has no valid stored address; nothing was sent.")}));
        QCOMPARE(s->env.endProgramCalls(), 0);
        QVERIFY(!s->w->timerRemoteSent.isActive());
        QVERIFY(nothingReachedElement());
    }

    void socketFailureEndsTheProgram()
    {
        s->w->udpClient.close();
        save();
        QCOMPARE(s->boxes.texts(), (QStringList{kQuestion, QStringLiteral("Unable to use UDP port 2976: occupied.")}));
        QCOMPARE(s->env.endProgramCalls(), 1);
        QCOMPARE(s->env.lastExitCode(), 1);
        QVERIFY(!s->w->timerRemoteSent.isActive());
    }
};

QTEST_MAIN(TestSendConfiguration)
#include "tst_sendconfiguration.moc"
