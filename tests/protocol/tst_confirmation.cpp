// A checked report as a discovery answer (stored whole) or the answer to a sent configuration
// (compared with the panel, stored field by field), and the MAC wait. The ARP service is the test's.
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeWidget>

#include "StationFixture.h"

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kMacMissing = corrupted(QStringLiteral("An error occured while retrieving 'Element MAC':"));
const QString kNoMatch = QStringLiteral("The response received does not match the selected element.\rCannot save this element info.");

QString saving(const char *field) { return corrupted(QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(field))); }

void compareStored(const QString &path, const Keys &expected)
{
    for (const auto &key : expected)
        QCOMPARE(key.first + '=' + value(sectionContents(kSection, path), key.first), key.first + '=' + key.second);
}

using Mutation = std::function<void(ElementFeedback &)>;

} // namespace

Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(ElementFeedback)

class TestConfirmation : public QObject {
    Q_OBJECT
private slots:
    void fieldsComparedWithPanel_data()
    {
        QTest::addColumn<Mutation>("panel");     // applied to what the panel shows (MAC: the one selected)
        QTest::addColumn<Mutation>("element");   // applied to what the element reports
        QTest::addColumn<QStringList>("messages"); QTest::addColumn<Keys>("expectedKeys");  // a few checked afterwards
        QTest::addColumn<int>("extraKeys");      // added to the stored record
        const Mutation none = [](ElementFeedback &) {};
        QTest::newRow("all match") << none << none << QStringList{kSuccess}
                                   << Keys{{"name", "STUDIO A"}, {"ip", "192.168.1.10"}, {"remote", "192.168.1.20"}} << 0;
        QTest::newRow("name matches after trimming and case") << Mutation([](ElementFeedback &f) { f.UDP_Response_Name = "  studio a"; })
            << none << QStringList{kSuccess} << Keys{{"name", "STUDIO A"}} << 0;
        QTest::newRow("zero-padded panel address is another text") << Mutation([](ElementFeedback &f) { f.UDP_Response_IP = "192.168.001.010"; })
            << none << QStringList{saving("Element IP")} << Keys{{"ip", "10.0.0.99"}} << 0;
        QTest::newRow("two fields differ, reported in table order")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; f.UDP_Response_Mask = "255.255.0.0"; })
            << QStringList{saving("Element Mask"), saving("Audio TX")}   // the mask first, though later in the message
            << Keys{{"mask", "255.0.0.0"}, {"tx", "0"}, {"gw", "192.168.1.1"}, {"multi", "192.168.1.20"}} << 0;
        QTest::newRow("multicast group differs")
            << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; })
            << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; f.UDP_Response_Remote_IP = "239.1.1.1"; })
            << QStringList{saving("Multicast IP")} << Keys{{"multi", "<absent>"}, {"tx", "1"}} << 0;
        QTest::newRow("unicast destination differs") << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Remote_IP = "192.168.1.21"; })
            << QStringList{saving("Remote IP")} << Keys{{"remote", "<absent>"}, {"multi", "<absent>"}} << 0;
        QTest::newRow("element name differs") << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Name = "STUDIO B"; })
            << QStringList{saving("Element Name")} << Keys{{"name", "OLD NAME"}} << 0;
        QTest::newRow("audio lists differ")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Audio_Input = f.UDP_Response_Audio_Type = 0; })
            << QStringList{saving("Audio Input"), saving("Audio Type")} << Keys{{"input", "<absent>"}} << 0;
        QTest::newRow("unknown element type: stored, success withheld silently")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Role = 0; }) << QStringList()
            << Keys{{"role", "0"}, {"name", "STUDIO A"}} << 0;
        QTest::newRow("another element selected") << Mutation([](ElementFeedback &f) { f.UDP_Response_MAC = "00:1A:2B:3C:4D:5F"; })
            << none << QStringList{kNoMatch} << Keys{{"name", "OLD NAME"}} << 0;
        QTest::newRow("late answer, nothing selected") << Mutation([](ElementFeedback &f) { f.UDP_Response_MAC = "-"; })
            << none << QStringList{kNoMatch} << Keys{{"name", "OLD NAME"}} << 0;
        QTest::newRow("record of 20 keys") << none << none << QStringList{kSuccess} << Keys{{"name", "STUDIO A"}} << 15;
        QTest::newRow("record of 21 keys") << none << none
            << QStringList{"The data stored in your computer about this element, is corrupted.\rCannot save this element info."}
            << Keys{{"name", "OLD NAME"}} << 16;
    }
    void fieldsComparedWithPanel()
    {
        QFETCH(Mutation, panel); QFETCH(Mutation, element); QFETCH(QStringList, messages);
        QFETCH(Keys, expectedKeys); QFETCH(int, extraKeys);
        Station s;
        FakeArp arp;
        // The stored record before the answer: an old name, address and mask.
        Keys record{{"name", "OLD NAME"}, {"ip", "10.0.0.99"}, {"mask", "255.0.0.0"}, {"tx", "0"}, {"role", "1"}};
        for (int i = 0; i < extraKeys; ++i) record.append({QStringLiteral("x%1").arg(i), "1"});
        s.env.writeIni(iniSection(kSection, record));
        ElementFeedback shown = encoderReport(), reported = encoderReport();
        panel(shown), element(reported);
        s.showInPanel(shown, shown.UDP_Response_MAC.isEmpty() ? kMacText : shown.UDP_Response_MAC);
        s.w->udpClient_DataArrival(encodeFeedback(reported));

        QCOMPARE(s.boxes.texts(), messages);
        compareStored(s.env.iniPath(), expectedKeys);
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);   // whatever the outcome, rebuilt
        QCOMPARE(arp.attempts, 1);
        if (messages == QStringList{kSuccess})
            QCOMPARE(s.boxes.shown().at(0).title, QStringLiteral("Configuration changed"));
        if (reported.UDP_Response_Role == 0)
            QCOMPARE(s.w->lblElementType->text(), QStringLiteral("UNKNOWN"));
    }

    // Settings out of range are clamped, shown and stored; a silence mode beyond the list is stored as is.
    void settingsBroughtIntoRanges()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"role", "2"}}));
        s.showInPanel(decoderReport());
        ElementFeedback f = decoderReport();
        f.UDP_Response_Attenuation = 10, f.UDP_Response_Buffer = 30, f.UDP_Response_SilDet_Mode = 7;
        f.UDP_Response_SilDet_Level = 0, f.UDP_Response_SilDet_Time = 250, f.UDP_Response_SFN = 5;
        f.UDP_Response_Low_Latency = 2;
        s.w->udpClient_DataArrival(encodeFeedback(f));

        QCOMPARE(s.boxes.texts(), QStringList{kSuccess});
        QCOMPARE((QList<int>{s.w->scrlAtten->value(), s.w->scrlBuffer->value(), s.w->scrlSilDetLevel->value(),
                             s.w->scrlSilDetTime->value(), s.w->cmbSilDetMode->currentIndex()}),
                 (QList<int>{14, 22, 1, 220, -1}));
        compareStored(s.env.iniPath(), {{"att", "14"}, {"buf", "22"}, {"sdm", "7"}, {"sdl", "1"}, {"sdt", "220"},
                                        {"sfn", "0"}, {"llo", "0"}, {"sn", "4711"}, {"ver", "3.4"}});
    }

    // An encoder's message has no decoder settings: the record keeps its own; the low latency a
    // short message lacks is stored as 0, not as what the previous message said.
    void encoderAnswerKeepsDecoderKeysAndZeroesWhatItLacks()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"role", "1"}, {"att", "100"}, {"sdm", "1"}, {"sdl", "50"}, {"sdt", "60"}, {"llo", "1"}}));
        ElementFeedback earlier = decoderReport();   // a whole decoder message first, while another element is selected
        earlier.UDP_Response_Low_Latency = 1;
        s.showInPanel(encoderReport(), QStringLiteral("00:00:00:00:00:01"));
        s.w->udpClient_DataArrival(encodeFeedback(earlier));
        QCOMPARE(s.w->feedback.UDP_Response_Low_Latency, quint8(1));
        s.boxes.clear();

        s.showInPanel(encoderReport());
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()).left(44));   // no byte 44
        QCOMPARE(s.boxes.texts(), QStringList{kSuccess});
        compareStored(s.env.iniPath(), {{"att", "100"}, {"sdm", "1"}, {"sdl", "50"}, {"sdt", "60"}, {"llo", "0"}});
    }

    // Without the MAC nothing is stored: a configuration answer waits (and gives up), discovery does not.
    void withoutMacNothingIsStored_data()
    {
        QTest::addColumn<bool>("discovery"); QTest::addColumn<int>("attempts");
        QTest::newRow("configuration answer: the wait gives up") << false << 21;
        QTest::newRow("discovery answer: no wait") << true << 1;
    }
    void withoutMacNothingIsStored()
    {
        QFETCH(bool, discovery); QFETCH(int, attempts);
        Station s;
        FakeArp arp{QByteArray::fromHex("000000000001")};   // an incomplete entry
        s.env.writeIni(iniSection(kSection, {{"name", "OLD"}, {"role", "1"}}));
        s.showInPanel(encoderReport());
        s.w->AutoDiscoverAwaiting = discovery;
        s.w->timerRemoteSent.start(60000);
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(arp.attempts, attempts);
        QCOMPARE(s.boxes.texts(), QStringList{kMacMissing});
        QCOMPARE(s.w->getMACTimeoutCount, quint8(0));
        QCOMPARE(sectionContents(kSection, s.env.iniPath()), (Keys{{"name", "OLD"}, {"role", "1"}}));
        QVERIFY(!s.w->timerRemoteSent.isActive());
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), discovery ? 0 : 1);
    }

    // A second answer arriving during the first one's MAC wait is handled after it; the first keeps its values.
    void answerArrivingDuringMacWaitWaitsItsTurn()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"role", "1"}}));
        s.showInPanel(encoderReport());
        ElementFeedback second = encoderReport();
        second.UDP_Response_Name = QStringLiteral("INTRUDER");
        QString nameDuringWait;
        arp.onAttempt = [&](int attempt) {
            if (attempt == 1)
                s.w->udpClient_DataArrival(encodeFeedback(second)), nameDuringWait = s.w->feedback.UDP_Response_Name;
        };
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(nameDuringWait, QStringLiteral("STUDIO A        "));
        QCOMPARE(s.boxes.texts(), (QStringList{kSuccess, saving("Element Name")}));
        QCOMPARE(ReadFromINI(kSection, "name", s.env.iniPath()), QStringLiteral("STUDIO A"));
        QCOMPARE(arp.attempts, 2);
    }

    void discoveryStoresTheWholeRecord_data()
    {
        QTest::addColumn<QString>("before");   // the database before the answer
        QTest::addColumn<ElementFeedback>("report");
        QTest::addColumn<QStringList>("keys");
        const QStringList common{"name", "ip", "mask", "gw", "input", "type", "tx"};
        const QStringList tail{"role", "sn", "ver", "sfn", "buf"};
        ElementFeedback multicast = encoderReport(), decoderUnicast = decoderReport();
        multicast.UDP_Response_TX_Type = 1, decoderUnicast.UDP_Response_TX_Type = 0;
        QTest::newRow("encoder unicast") << QString() << encoderReport() << common + QStringList{"remote"} + tail + QStringList{"llo"};
        QTest::newRow("encoder multicast leaves an old remote key")
            << iniSection(kSection, {{"remote", "10.1.1.1"}}) << multicast
            << QStringList{"remote"} + common + QStringList{"multi"} + tail + QStringList{"llo"};
        QTest::newRow("decoder, whatever its tx") << QString() << decoderUnicast << common + QStringList{"multi"} + tail + QStringList{"att", "sdm", "sdl", "sdt", "llo"};
    }
    void discoveryStoresTheWholeRecord()
    {
        QFETCH(QString, before); QFETCH(ElementFeedback, report); QFETCH(QStringList, keys);
        Station s;
        FakeArp arp;
        s.env.writeIni(before);
        QSignalSpy stored(s.w.get(), &frmMain::discoveryAnswerStored);
        s.w->AutoDiscoverAwaiting = true;
        s.w->udpClient_DataArrival(encodeFeedback(report));

        QCOMPARE(s.boxes.count(), 0);
        QCOMPARE(stored.count(), 1);
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 0);   // the paging window rebuilds it
        QStringList names;
        for (const auto &k : sectionContents(kSection, s.env.iniPath()))
            names << k.first;
        QCOMPARE(names, keys);
        compareStored(s.env.iniPath(), {{"name", report.UDP_Response_Name.trimmed()}, {"ver", "3.4"}, {"sn", "4711"}});
        if (!before.isEmpty())
            compareStored(s.env.iniPath(), {{"remote", "10.1.1.1"}, {"multi", "192.168.1.20"}});
        if (report.UDP_Response_Role == 2)
            compareStored(s.env.iniPath(), {{"att", "200"}, {"sdm", "1"}, {"sdl", "77"}, {"sdt", "22"}});
    }

    // Answers that arrived during the paging window are stored even when a box kept them waiting past
    // its end, instead of being taken for replies to a configuration never sent.
    void discoveryAnswersQueuedPastTheWindowAreStored()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(QString());
        s.w->AutoDiscoverAwaiting = true;
        ElementFeedback broken = encoderReport();
        broken.UDP_Response_Role = 3;
        s.boxes.onShow([&](const platform::MessageSpec &) {
            if (s.boxes.count() != 1) return;
            s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
            s.w->AutoDiscoverAwaiting = false;   // the window's time ran out meanwhile
        });
        s.w->udpClient_DataArrival(encodeFeedback(broken));
        QCOMPARE(s.boxes.texts().value(0), corrupted(QStringLiteral("An error occured while retrieving 'Element Type':")));
        QVERIFY2(!s.boxes.texts().contains(kNoMatch), qPrintable(s.boxes.texts().join(QLatin1Char('|'))));
        QCOMPARE(ReadFromINI(kSection, "ip", s.env.iniPath()), QStringLiteral("192.168.1.10"));
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
    }

    void waitWindow_data()
    {
        QTest::addColumn<int>("answerAt");    // attempt that finds the address, 0: never
        QTest::addColumn<int>("closeAfter");  // attempts before the operator closes, 0: never
        QTest::addColumn<int>("attempts"); QTest::addColumn<QString>("result");
        QTest::newRow("never answers") << 0 << 0 << 21 << QString();
        QTest::newRow("answers at the third") << 3 << 0 << 3 << kMacText;
        QTest::newRow("closed by the operator") << 0 << 5 << 5 << QString();
    }
    void waitWindow()
    {
        QFETCH(int, answerAt); QFETCH(int, closeAfter); QFETCH(int, attempts); QFETCH(QString, result);
        Station s;
        FakeArp arp{QByteArray()};
        arp.onAttempt = [&](int attempt) {
            if (attempt == answerAt)
                arp.answer = kMacBytes;
            if (attempt == closeAfter)   // the operator's click is handled once the attempt has returned
                QMetaObject::invokeMethod(s.w.get(), [&s] {
                    if (auto *wait = s.w->findChild<frmWaiting *>()) wait->close();
                }, Qt::QueuedConnection);
        };
        // Twice: a second wait starts counting afresh.
        for (int round = 0; round < 2; ++round) {
            arp.attempts = 0, arp.answer.clear(), s.w->sRemoteMacAddress2.clear();
            s.w->UDP_Response_IP = QStringLiteral("192.168.1.10"), s.w->getMACTimeout = 20;
            frmWaiting(s.w.get()).exec();
            QCOMPARE(arp.attempts, attempts);
            QCOMPARE(s.w->sRemoteMacAddress2, result);
            QCOMPARE(s.w->getMACTimeoutCount, quint8(0));
        }
    }
};

QTEST_MAIN(TestConfirmation)
#include "tst_confirmation.moc"
