// "Save changes": checks, question, the command as it leaves the main socket (bound to a free
// port) for the element's stored address (a socket of the test on 127.0.0.2:2976), the wait.
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
const QString kTimedOut = QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save.");

using PanelSetup = std::function<void(Station &)>;

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
        return QTest::qWaitFor([this] { return element->hasPendingDatagrams(); }, 10000) ? element->receiveDatagram()
                                                                                           : QNetworkDatagram();
    }
    // Nothing reached the element: a datagram of the test's own, sent now, is the first it receives.
    bool nothingReachedElement()
    {
        QUdpSocket().writeDatagram(QByteArrayLiteral("MARK"), kElementAddress, kMainPort);
        return received().data() == QByteArrayLiteral("MARK");
    }

    void save() { s->boxes.answerNext(platform::MsgAnswer::Yes), s->w->SaveChanges(); }

private slots:
    void init()
    {
        s = std::make_unique<Station>();
        s->env.writeIni(iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "127.0.0.2"}, {"role", "1"}}));
        element = std::make_unique<QUdpSocket>();
        QVERIFY2(element->bind(kElementAddress, kMainPort), "another program holds UDP port 2976 on 127.0.0.2");
        QVERIFY(s->w->udpClient.bind(0));
        // The worked example: encoder "abc" at 10.0.0.5/24, gw .1, unicast to .9, Analog, MPX, SFN off, low latency.
        s->showInPanel(decoded(hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00") + "abc" + QByteArray(13, ' ')
                               + hex("01 00000001")));
        s->w->chkSFNEnabled->setChecked(false), s->w->chkLowLatency->setChecked(true);
    }
    void cleanup() { element.reset(); s.reset(); }

    void commandReachesStoredAddress_data()
    {
        QTest::addColumn<PanelSetup>("panel");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray head = hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00 00");
        QTest::newRow("worked encoder example") << PanelSetup([](Station &) {}) << head + "ABC             " + hex("01");
        QTest::newRow("decoder") << PanelSetup([](Station &s) {
            frmMain &w = *s.w;
            w.setElementTypeCaption(QStringLiteral("DECODER"));
            w.cmbAudioInput->setCurrentIndex(0), w.cmbAudioType->setCurrentIndex(0);   // hidden, still sent
            w.cmbAudioTX->setCurrentIndex(1);
            w.txtElementName->setText("Site 2"), w.txtElementIP->setText("10.0.0.6"), w.txtRemoteIP->setText("239.1.2.3");
            w.chkSFNEnabled->setChecked(true), w.chkLowLatency->setChecked(false);
            w.scrlBuffer->setEnabled(true), w.scrlBuffer->setValue(10), w.cmbSilDetMode->setCurrentIndex(2);
            w.scrlSilDetLevel->setValue(77), w.scrlSilDetTime->setValue(22);
        }) << hex("0A000006 FFFFFF00 0A000001 EF010203 00 00 01 01") + "SITE 2          " + hex("0A 02 4D 16 00");
        QTest::newRow("unknown element gets the short form")
            << PanelSetup([](Station &s) { s.w->setElementTypeCaption("UNKNOWN"); }) << head + "ABC             " + hex("01");
        QTest::newRow("twenty-character name")
            << PanelSetup([](Station &s) { s.w->txtElementName->setText("abcdefghijklmnopqrst"); })
            << head + "ABCDEFGHIJKLMNOP" + hex("01");
    }
    void commandReachesStoredAddress()
    {
        QFETCH(PanelSetup, panel); QFETCH(QByteArray, expected);
        panel(*s);
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

    // A failed check, the answer No, an unusable (malformed) stored ip: nothing sent, no wait, no exit.
    void nothingSent_data()
    {
        QTest::addColumn<PanelSetup>("panel");
        QTest::addColumn<QStringList>("boxes");
        const auto refused = [](const char *problem) { return QStringList{QString::fromLatin1(problem) + "\rCannot save."}; };
        const QStringList ips = refused("Please verify that all IP fields are correct!");
        const QStringList audio = refused("Please verify that all audio fields are correct!");
        const QStringList none = refused("No Network Element selected!");
        const auto edit = [](QLineEdit *frmMain::*field, const char *text) {
            return PanelSetup([=](Station &s) { ((*s.w).*field)->setText(QString::fromLatin1(text)); });
        };
        QTest::newRow("nothing selected") << PanelSetup([](Station &s) { s.w->lblElementMAC->setText("-"); }) << none;
        QTest::newRow("selection checked before the lists")
            << PanelSetup([](Station &s) { s.w->lblElementMAC->setText("-"); s.w->cmbAudioType->setCurrentIndex(-1); }) << none;
        QTest::newRow("no tx selection") << PanelSetup([](Station &s) { s.w->cmbAudioTX->setCurrentIndex(-1); }) << audio;
        QTest::newRow("decoder's hidden input list empty") << PanelSetup([](Station &s) {
            s.w->setElementTypeCaption("DECODER"), s.w->cmbAudioInput->setCurrentIndex(-1); }) << audio;
        QTest::newRow("empty name") << edit(&frmMain::txtElementName, "") << refused("Please verify that the name field is correct!");
        QTest::newRow("ip") << edit(&frmMain::txtElementIP, "10.0.0") << ips;
        QTest::newRow("mask") << edit(&frmMain::txtElementMask, "255.255.255.256") << ips;
        QTest::newRow("gateway") << edit(&frmMain::txtElementGW, "a.b.c.d") << ips;
        QTest::newRow("remote") << edit(&frmMain::txtRemoteIP, "10.0.0.9.") << ips;
        QTest::newRow("database missing") << PanelSetup([](Station &) { QFile::remove(frmMain::iniPath()); })
                                          << refused("The local database in your computer, is corrupted!");
        QTest::newRow("answer No") << PanelSetup([](Station &s) { s.boxes.answerNext(platform::MsgAnswer::No); })
                                   << QStringList{kQuestion};
        const auto stored = [](const QString &record) { return PanelSetup([=](Station &s) { s.env.writeIni(record); }); };
        const QStringList named{kQuestion, "STUDIO A [00:1A:2B:3C:4D:5E] has no valid stored address; nothing was sent."};
        QTest::newRow("no ip key") << stored(iniSection(kSection, {{"name", "STUDIO A"}})) << named;
        for (const char *ip : {"10.0.0", "255.255.255.255", "224.0.0.9", "0.0.0.0"})
            QTest::addRow("%s", ip) << stored(iniSection(kSection, {{"name", "STUDIO A"}, {"ip", ip}})) << named;
        QTest::newRow("no record") << stored(iniSection("0011223344AA", {{"ip", "127.0.0.2"}}))
                                   << QStringList{kQuestion, "[00:1A:2B:3C:4D:5E] has no valid stored address; nothing was sent."};
    }
    void nothingSent()
    {
        QFETCH(PanelSetup, panel); QFETCH(QStringList, boxes);
        panel(*s);   // queues No first for the "answer No" row
        save();
        QCOMPARE(s->boxes.texts(), boxes);
        if (boxes.first().endsWith("Cannot save."))
            QCOMPARE(s->boxes.shown().at(0).title, QStringLiteral("Error!"));
        QCOMPARE(s->env.endProgramCalls(), 0);
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
