// "Save changes": the panel's checks, the question, the configuration command as it leaves
// the main socket for the element's stored address, and the wait for the answer.
//
// The element is a socket of the test on 127.0.0.2:2976 (its stored address is
// 127.0.0.2); the station's main socket is bound to a free port so that the test does not
// depend on 2976 being free on the host.
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

// The worked example: encoder "abc", Analog, MPX, Unicast, SFN off, low latency on.
void encoderAbc(frmMain &w)
{
    w.setElementTypeCaption(QStringLiteral("ENCODER"));
    w.cmbAudioInput->setCurrentIndex(1);
    w.cmbAudioType->setCurrentIndex(1);
    w.cmbAudioTX->setCurrentIndex(0);
    w.txtElementName->setText(QStringLiteral("abc"));
    w.txtElementIP->setText(QStringLiteral("10.0.0.5"));
    w.txtElementMask->setText(QStringLiteral("255.255.255.0"));
    w.txtElementGW->setText(QStringLiteral("10.0.0.1"));
    w.txtRemoteIP->setText(QStringLiteral("10.0.0.9"));
    w.chkSFNEnabled->setChecked(false);
    w.chkLowLatency->setChecked(true);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray nameBytes(const char *padded16)
{
    return QByteArray(padded16, 16);
}

} // namespace

Q_DECLARE_METATYPE(PanelSetup)

class TestSendConfiguration : public QObject {
    Q_OBJECT

    std::unique_ptr<Station> s;
    std::unique_ptr<QUdpSocket> element;

    // Nothing reached the element: a datagram of the test's own, sent now, is the first
    // thing it receives.
    bool nothingReachedElement()
    {
        QUdpSocket marker;
        marker.writeDatagram(QByteArrayLiteral("MARK"), kElementAddress, kMainPort);
        if (!QTest::qWaitFor([this] { return element->hasPendingDatagrams(); }, 10000))
            return false;
        return element->receiveDatagram().data() == QByteArrayLiteral("MARK");
    }

    QNetworkDatagram received()
    {
        if (!QTest::qWaitFor([this] { return element->hasPendingDatagrams(); }, 10000))
            return QNetworkDatagram();
        return element->receiveDatagram();
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
        s->w->lblElementMAC->setText(kMacText);
        encoderAbc(*s->w);
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

        const QByteArray abc = nameBytes("ABC             ");
        QTest::newRow("worked encoder example")
            << PanelSetup([](frmMain &) {})
            << bytes({10, 0, 0, 5, 255, 255, 255, 0, 10, 0, 0, 1, 10, 0, 0, 9, 1, 1, 0, 0}) + abc + bytes({1});
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
            << bytes({10, 0, 0, 6, 255, 255, 255, 0, 10, 0, 0, 1, 239, 1, 2, 3, 0, 0, 1, 1})
                   + nameBytes("SITE 2          ") + bytes({10, 2, 77, 22, 0});
        QTest::newRow("unknown element gets the short form")
            << PanelSetup([](frmMain &w) { w.setElementTypeCaption(QStringLiteral("UNKNOWN")); })
            << bytes({10, 0, 0, 5, 255, 255, 255, 0, 10, 0, 0, 1, 10, 0, 0, 9, 1, 1, 0, 0}) + abc + bytes({1});
        QTest::newRow("twenty-character name")
            << PanelSetup([](frmMain &w) { w.txtElementName->setText(QStringLiteral("abcdefghijklmnopqrst")); })
            << bytes({10, 0, 0, 5, 255, 255, 255, 0, 10, 0, 0, 1, 10, 0, 0, 9, 1, 1, 0, 0})
                   + nameBytes("ABCDEFGHIJKLMNOP") + bytes({1});
    }
    void commandReachesStoredAddress()
    {
        QFETCH(PanelSetup, panel);
        QFETCH(QByteArray, expected);
        panel(*s->w);
        save();

        QCOMPARE(s->boxes.count(), 1);
        const platform::MessageSpec question = s->boxes.shown().at(0);
        QCOMPARE(question.text, kQuestion);
        QCOMPARE(question.title, QStringLiteral("Send configuration"));
        QCOMPARE(question.buttons, platform::MsgButtons::YesNo);
        QCOMPARE(question.icon, platform::MsgIcon::Question);

        const QNetworkDatagram d = received();
        QCOMPARE(d.data().toHex(' '), expected.toHex(' '));
        QCOMPARE(d.senderPort(), int(s->w->udpClient.localPort()));
        QVERIFY(s->w->udpClient.isBound());   // the main socket stays where it was
        QVERIFY(s->w->timerRemoteSent.isActive());
        QVERIFY(nothingReachedElement());      // one datagram, no retry
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
            << PanelSetup([](frmMain &w) {
                   w.setElementTypeCaption(QStringLiteral("DECODER"));
                   w.cmbAudioInput->setCurrentIndex(-1);
               })
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
                   w.txtElementName->clear();
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
        QCOMPARE(s->boxes.shown().at(0).icon, platform::MsgIcon::Critical);
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
        QVERIFY(received().data().size() == 37);
        QTRY_VERIFY_WITH_TIMEOUT(s->boxes.count() == 2, 15000);
        QCOMPARE(s->boxes.texts().at(1), kTimedOut);
        QCOMPARE(s->boxes.shown().at(1).title, QStringLiteral("Error!"));
        QCOMPARE(s->boxes.shown().at(1).icon, platform::MsgIcon::Critical);
        QVERIFY(!s->w->timerRemoteSent.isActive());
        QTest::qWait(200);
        QCOMPARE(s->boxes.count(), 2);
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
        QTest::newRow("no ip key") << iniSection(kSection, {{"name", "STUDIO A"}}) << "STUDIO A [00:1A:2B:3C:4D:5E]";
        QTest::newRow("three parts") << iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "10.0.0"}})
                                     << "STUDIO A [00:1A:2B:3C:4D:5E]";
        QTest::newRow("broadcast") << iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "255.255.255.255"}})
                                   << "STUDIO A [00:1A:2B:3C:4D:5E]";
        QTest::newRow("multicast") << iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "224.0.0.9"}})
                                   << "STUDIO A [00:1A:2B:3C:4D:5E]";
        QTest::newRow("zero") << iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "0.0.0.0"}})
                              << "STUDIO A [00:1A:2B:3C:4D:5E]";
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
        QCOMPARE(s->boxes.shown().at(1).icon, platform::MsgIcon::Critical);
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
