// A checked element report handled as a discovery answer (stored whole) or as the answer
// to a sent configuration (compared with the panel, stored field by field), and the MAC
// wait in between. No network: the ARP service is the test's.
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeWidget>

#include "StationFixture.h"

namespace {

const QString kSuccess = QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kMacMissing = corrupted(QStringLiteral("An error occured while retrieving 'Element MAC':"));

QString saving(const char *field)
{
    return corrupted(QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(field)));
}

using Mutation = std::function<void(ElementFeedback &)>;

} // namespace

Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(ElementFeedback)

class TestConfirmation : public QObject {
    Q_OBJECT
private slots:
    // ---- confirmation ---------------------------------------------------------------

    void fieldsComparedWithPanel_data()
    {
        QTest::addColumn<Mutation>("panel");     // applied to what the panel shows
        QTest::addColumn<Mutation>("element");   // applied to what the element reports
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<Keys>("expectedKeys");  // a few keys checked afterwards

        const Mutation none = [](ElementFeedback &) {};
        QTest::newRow("all match")
            << none << none << QStringList{kSuccess}
            << Keys{{"name", "STUDIO A"}, {"ip", "192.168.1.10"}, {"remote", "192.168.1.20"}};
        QTest::newRow("name matches after trimming and case")
            << Mutation([](ElementFeedback &f) { f.UDP_Response_Name = QStringLiteral("  studio a"); })
            << none << QStringList{kSuccess} << Keys{{"name", "STUDIO A"}};
        QTest::newRow("zero-padded panel address is another text")
            << Mutation([](ElementFeedback &f) { f.UDP_Response_IP = QStringLiteral("192.168.001.010"); })
            << none << QStringList{saving("Element IP")} << Keys{{"ip", "10.0.0.99"}};
        QTest::newRow("two fields differ, reported in table order")
            << none
            << Mutation([](ElementFeedback &f) {
                   f.UDP_Response_TX_Type = 1;   // reported after the mask although later in the message
                   f.UDP_Response_Mask = QStringLiteral("255.255.0.0");
               })
            << QStringList{saving("Element Mask"), saving("Audio TX")}
            << Keys{{"mask", "255.0.0.0"}, {"tx", "0"}, {"gw", "192.168.1.1"}, {"multi", "192.168.1.20"}};
        QTest::newRow("multicast group differs")
            << Mutation([](ElementFeedback &f) { f.UDP_Response_TX_Type = 1; })
            << Mutation([](ElementFeedback &f) {
                   f.UDP_Response_TX_Type = 1;
                   f.UDP_Response_Remote_IP = QStringLiteral("239.1.1.1");
               })
            << QStringList{saving("Multicast IP")} << Keys{{"multi", "<absent>"}, {"tx", "1"}};
        QTest::newRow("unicast destination differs")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Remote_IP = QStringLiteral("192.168.1.21"); })
            << QStringList{saving("Remote IP")} << Keys{{"remote", "<absent>"}, {"multi", "<absent>"}};
        QTest::newRow("element name differs")
            << none << Mutation([](ElementFeedback &f) { f.UDP_Response_Name = QStringLiteral("STUDIO B"); })
            << QStringList{saving("Element Name")} << Keys{{"name", "OLD NAME"}};
        QTest::newRow("audio lists differ")
            << none
            << Mutation([](ElementFeedback &f) {
                   f.UDP_Response_Audio_Input = 0;
                   f.UDP_Response_Audio_Type = 0;
               })
            << QStringList{saving("Audio Input"), saving("Audio Type")} << Keys{{"input", "<absent>"}};
    }
    void fieldsComparedWithPanel()
    {
        QFETCH(Mutation, panel);
        QFETCH(Mutation, element);
        QFETCH(QStringList, messages);
        QFETCH(Keys, expectedKeys);

        Station s;
        FakeArp arp;
        // The stored record before the answer: an old name, address and mask.
        s.env.writeIni(iniSection(kSection, {{"name", "OLD NAME"}, {"ip", "10.0.0.99"},
                                             {"mask", "255.0.0.0"}, {"tx", "0"}, {"role", "1"}}));
        ElementFeedback shown = encoderReport();
        panel(shown);
        s.showInPanel(shown);
        ElementFeedback reported = encoderReport();
        element(reported);

        s.w->udpClient_DataArrival(encodeFeedback(reported));

        QCOMPARE(s.boxes.texts(), messages);
        const Keys stored = sectionContents(kSection, s.env.iniPath());
        for (const auto &key : expectedKeys)
            QCOMPARE(value(stored, key.first), key.second);
        // Whatever the outcome, the tree is rebuilt from the database.
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
        QCOMPARE(arp.attempts, 1);
    }

    void successMessageHasItsOwnTitle()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"role", "1"}}));
        s.showInPanel(encoderReport());
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(s.boxes.count(), 1);
        QCOMPARE(s.boxes.shown().at(0).title, QStringLiteral("Configuration changed"));
        QCOMPARE(s.boxes.shown().at(0).icon, platform::MsgIcon::Information);
    }

    void unknownElementTypeWithholdsSuccessSilently()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"role", "1"}}));
        ElementFeedback f = encoderReport();
        f.UDP_Response_Role = 0;
        s.showInPanel(encoderReport());
        s.w->udpClient_DataArrival(encodeFeedback(f));
        QCOMPARE(s.boxes.count(), 0);
        QCOMPARE(s.w->lblElementType->text(), QStringLiteral("UNKNOWN"));
        QCOMPARE(ReadFromINI(kSection, "role", s.env.iniPath()), QStringLiteral("0"));
    }

    void sectionKeyLimit_data()
    {
        QTest::addColumn<int>("keys");
        QTest::addColumn<bool>("stored");
        QTest::newRow("20 keys") << 20 << true;
        QTest::newRow("21 keys") << 21 << false;
    }
    void sectionKeyLimit()
    {
        QFETCH(int, keys);
        QFETCH(bool, stored);
        Station s;
        FakeArp arp;
        Keys record{{"role", "1"}, {"name", "OLD"}};
        for (int i = int(record.size()); i < keys; ++i)
            record.append({QStringLiteral("x%1").arg(i), QStringLiteral("1")});
        s.env.writeIni(iniSection(kSection, record));
        s.showInPanel(encoderReport());
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        const QString name = ReadFromINI(kSection, "name", s.env.iniPath());
        if (stored) {
            QCOMPARE(s.boxes.texts(), QStringList{kSuccess});
            QCOMPARE(name, QStringLiteral("STUDIO A"));
        } else {
            QCOMPARE(s.boxes.texts(),
                     QStringList{QStringLiteral("The data stored in your computer about this element, "
                                                "is corrupted.\rCannot save this element info.")});
            QCOMPARE(name, QStringLiteral("OLD"));
        }
    }

    void settingsBroughtIntoRanges()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, storedRecord(decoderReport())));
        s.showInPanel(decoderReport());
        ElementFeedback f = decoderReport();
        f.UDP_Response_Attenuation = 10;
        f.UDP_Response_Buffer = 30;
        f.UDP_Response_SilDet_Mode = 0;
        f.UDP_Response_SilDet_Level = 0;
        f.UDP_Response_SilDet_Time = 250;
        f.UDP_Response_SFN = 5;
        f.UDP_Response_Low_Latency = 2;
        s.w->udpClient_DataArrival(encodeFeedback(f));

        QCOMPARE(s.boxes.texts(), QStringList{kSuccess});
        QCOMPARE(s.w->scrlAtten->value(), 14);
        QCOMPARE(s.w->scrlBuffer->value(), 22);
        QCOMPARE(s.w->scrlSilDetLevel->value(), 1);
        QCOMPARE(s.w->scrlSilDetTime->value(), 220);
        const Keys stored = sectionContents(kSection, s.env.iniPath());
        QCOMPARE(value(stored, "att"), QStringLiteral("14"));
        QCOMPARE(value(stored, "buf"), QStringLiteral("22"));
        QCOMPARE(value(stored, "sdl"), QStringLiteral("1"));
        QCOMPARE(value(stored, "sdt"), QStringLiteral("220"));
        QCOMPARE(value(stored, "sfn"), QStringLiteral("0"));
        QCOMPARE(value(stored, "llo"), QStringLiteral("0"));
        QCOMPARE(value(stored, "sn"), QStringLiteral("4711"));
        QCOMPARE(value(stored, "ver"), QStringLiteral("3.4"));
        QCOMPARE(s.w->lblSerialNumber->text(), QStringLiteral("4711"));
        QCOMPARE(s.w->lblVersion->text(), QStringLiteral("3.4"));
    }

    void silenceModeBeyondTheList()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, storedRecord(decoderReport())));
        s.showInPanel(decoderReport());
        ElementFeedback f = decoderReport();
        f.UDP_Response_SilDet_Mode = 7;
        s.w->udpClient_DataArrival(encodeFeedback(f));
        QCOMPARE(s.w->cmbSilDetMode->currentIndex(), -1);
        QCOMPARE(ReadFromINI(kSection, "sdm", s.env.iniPath()), QStringLiteral("7"));
    }

    // An encoder's message has no decoder settings: the record keeps its own, and the low
    // latency option that a short message does not carry is stored as 0, not as what the
    // previous message said.
    void encoderAnswerKeepsDecoderKeysAndZeroesWhatItLacks()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, storedRecord(encoderReport())
                                                + Keys{{"att", "100"}, {"sdm", "1"}, {"sdl", "50"},
                                                       {"sdt", "60"}, {"llo", "1"}}));
        s.showInPanel(encoderReport());
        ElementFeedback earlier = decoderReport();
        earlier.UDP_Response_Low_Latency = 1;
        // A whole decoder message first (its reply is not ours: it names another element).
        s.showInPanel(encoderReport(), QStringLiteral("00:00:00:00:00:01"));
        s.w->udpClient_DataArrival(encodeFeedback(earlier));
        QCOMPARE(s.w->feedback.UDP_Response_Low_Latency, quint8(1));
        s.boxes.clear();

        s.showInPanel(encoderReport());
        const QByteArray shortMessage = encodeFeedback(encoderReport()).left(44);   // no byte 44
        s.w->udpClient_DataArrival(shortMessage);
        QCOMPARE(s.boxes.texts(), QStringList{kSuccess});
        const Keys stored = sectionContents(kSection, s.env.iniPath());
        QCOMPARE(value(stored, "att"), QStringLiteral("100"));
        QCOMPARE(value(stored, "sdm"), QStringLiteral("1"));
        QCOMPARE(value(stored, "sdl"), QStringLiteral("50"));
        QCOMPARE(value(stored, "sdt"), QStringLiteral("60"));
        QCOMPARE(value(stored, "llo"), QStringLiteral("0"));
    }

    void answerFromAnotherElement_data()
    {
        QTest::addColumn<QString>("shownMac");
        QTest::newRow("another element selected") << QStringLiteral("00:1A:2B:3C:4D:5F");
        QTest::newRow("nothing selected") << QStringLiteral("-");
    }
    void answerFromAnotherElement()
    {
        QFETCH(QString, shownMac);
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"name", "OLD"}, {"role", "1"}}));
        s.showInPanel(encoderReport(), shownMac);
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(s.boxes.texts(),
                 QStringList{QStringLiteral("The response received does not match the selected element."
                                            "\rCannot save this element info.")});
        QCOMPARE(ReadFromINI(kSection, "name", s.env.iniPath()), QStringLiteral("OLD"));
    }

    void macWaitGivesUp()
    {
        Station s;
        FakeArp arp{QByteArray()};
        s.env.writeIni(iniSection(kSection, {{"name", "OLD"}, {"role", "1"}}));
        s.showInPanel(encoderReport());
        s.w->timerRemoteSent.start(60000);
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(arp.attempts, 21);
        QCOMPARE(s.boxes.texts(), QStringList{kMacMissing});
        QCOMPARE(s.w->getMACTimeoutCount, quint8(0));
        QVERIFY(!s.w->timerRemoteSent.isActive());
        QCOMPARE(ReadFromINI(kSection, "name", s.env.iniPath()), QStringLiteral("OLD"));
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
    }

    // A second answer that arrives while the first waits for its MAC address is handled
    // after it, and the first is compared with its own values.
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
            if (attempt != 1)
                return;
            s.w->udpClient_DataArrival(encodeFeedback(second));
            nameDuringWait = s.w->feedback.UDP_Response_Name;
        };
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(nameDuringWait, QStringLiteral("STUDIO A        "));
        QCOMPARE(s.boxes.texts(), (QStringList{kSuccess, saving("Element Name")}));
        QCOMPARE(ReadFromINI(kSection, "name", s.env.iniPath()), QStringLiteral("STUDIO A"));
        QCOMPARE(arp.attempts, 2);
    }

    // ---- discovery ------------------------------------------------------------------

    void discoveryStoresTheWholeRecord_data()
    {
        QTest::addColumn<ElementFeedback>("report");
        QTest::addColumn<QStringList>("keys");
        const QStringList common{"name", "ip", "mask", "gw", "input", "type", "tx"};
        const QStringList tail{"role", "sn", "ver", "sfn", "buf"};
        QTest::newRow("encoder unicast") << encoderReport()
                                         << common + QStringList{"remote"} + tail + QStringList{"llo"};
        ElementFeedback multicast = encoderReport();
        multicast.UDP_Response_TX_Type = 1;
        QTest::newRow("encoder multicast") << multicast
                                           << common + QStringList{"multi"} + tail + QStringList{"llo"};
        ElementFeedback decoderUnicast = decoderReport();
        decoderUnicast.UDP_Response_TX_Type = 0;
        QTest::newRow("decoder, whatever its tx")
            << decoderUnicast
            << common + QStringList{"multi"} + tail + QStringList{"att", "sdm", "sdl", "sdt", "llo"};
    }
    void discoveryStoresTheWholeRecord()
    {
        QFETCH(ElementFeedback, report);
        QFETCH(QStringList, keys);
        Station s;
        FakeArp arp;
        s.env.writeIni(QString());
        QSignalSpy stored(s.w.get(), &frmMain::discoveryAnswerStored);
        s.w->AutoDiscoverAwaiting = true;
        s.w->udpClient_DataArrival(encodeFeedback(report));

        QCOMPARE(s.boxes.count(), 0);
        QCOMPARE(stored.count(), 1);
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 0);   // the paging window rebuilds it
        const Keys record = sectionContents(kSection, s.env.iniPath());
        QStringList names;
        for (const auto &k : record)
            names << k.first;
        QCOMPARE(names, keys);
        QCOMPARE(value(record, "name"), report.UDP_Response_Name.trimmed());
        QCOMPARE(value(record, "ver"), QStringLiteral("3.4"));
        QCOMPARE(value(record, "sn"), QStringLiteral("4711"));
        if (report.UDP_Response_Role == 2) {
            QCOMPARE(value(record, "att"), QStringLiteral("200"));
            QCOMPARE(value(record, "sdm"), QStringLiteral("1"));
            QCOMPARE(value(record, "sdl"), QStringLiteral("77"));
            QCOMPARE(value(record, "sdt"), QStringLiteral("22"));
        }
    }

    void discoveryAddressKeyLeavesTheOtherOne()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(iniSection(kSection, {{"remote", "10.1.1.1"}}));
        ElementFeedback f = encoderReport();
        f.UDP_Response_TX_Type = 1;
        s.w->AutoDiscoverAwaiting = true;
        s.w->udpClient_DataArrival(encodeFeedback(f));
        QCOMPARE(ReadFromINI(kSection, "remote", s.env.iniPath()), QStringLiteral("10.1.1.1"));
        QCOMPARE(ReadFromINI(kSection, "multi", s.env.iniPath()), QStringLiteral("192.168.1.20"));
    }

    void discoveryWithoutMacStoresNothing()
    {
        Station s;
        FakeArp arp{QByteArray::fromHex("000000000001")};   // an incomplete entry
        s.env.writeIni(QString());
        s.w->AutoDiscoverAwaiting = true;
        s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
        QCOMPARE(arp.attempts, 1);   // no wait window during a discovery
        QCOMPARE(s.boxes.texts(), QStringList{kMacMissing});
        QStringList sections;
        LoadIniSectionsLB(sections, s.env.iniPath());
        QVERIFY(sections.isEmpty());
    }

    // Answers that arrived while the paging window collected them are stored even when a
    // message box kept them waiting past its end, instead of being taken for replies to a
    // configuration that was never sent.
    void discoveryAnswersQueuedPastTheWindowAreStored()
    {
        Station s;
        FakeArp arp;
        s.env.writeIni(QString());
        s.w->AutoDiscoverAwaiting = true;
        ElementFeedback broken = encoderReport();
        broken.UDP_Response_Role = 3;
        s.boxes.onShow([&](const platform::MessageSpec &) {
            if (s.boxes.count() != 1)
                return;
            s.w->udpClient_DataArrival(encodeFeedback(encoderReport()));
            s.w->AutoDiscoverAwaiting = false;   // the window's time ran out meanwhile
        });
        s.w->udpClient_DataArrival(encodeFeedback(broken));
        QCOMPARE(s.boxes.texts().value(0),
                 corrupted(QStringLiteral("An error occured while retrieving 'Element Type':")));
        for (const QString &text : s.boxes.texts())
            QVERIFY2(!text.startsWith(QStringLiteral("The response received does not match")), qPrintable(text));
        QCOMPARE(ReadFromINI(kSection, "ip", s.env.iniPath()), QStringLiteral("192.168.1.10"));
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
    }

    // ---- the wait window ------------------------------------------------------------

    void waitWindow_data()
    {
        QTest::addColumn<int>("answerAt");    // attempt that finds the address, 0: never
        QTest::addColumn<int>("closeAfter");  // attempts before the operator closes, 0: never
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("result");
        QTest::newRow("never answers") << 0 << 0 << 21 << QString();
        QTest::newRow("answers at the third") << 3 << 0 << 3 << kMacText;
        QTest::newRow("closed by the operator") << 0 << 5 << 5 << QString();
    }
    void waitWindow()
    {
        QFETCH(int, answerAt);
        QFETCH(int, closeAfter);
        QFETCH(int, attempts);
        QFETCH(QString, result);
        Station s;
        FakeArp arp{QByteArray()};
        arp.onAttempt = [&](int attempt) {
            if (attempt == answerAt)
                arp.answer = kMacBytes;
            if (attempt == closeAfter) {
                // The operator's click is handled once the attempt has returned.
                QMetaObject::invokeMethod(s.w.get(), [&s] {
                    if (auto *wait = s.w->findChild<frmWaiting *>())
                        wait->close();
                }, Qt::QueuedConnection);
            }
        };
        for (int round = 0; round < 2; ++round) {
            arp.attempts = 0;
            arp.answer.clear();
            s.w->UDP_Response_IP = QStringLiteral("192.168.1.10");
            s.w->sRemoteMacAddress2.clear();
            s.w->getMACTimeout = 20;
            frmWaiting wait(s.w.get());
            QCOMPARE(wait.windowTitle(), QStringLiteral("Waiting remote response..."));
            wait.exec();
            QCOMPARE(arp.attempts, attempts);
            QCOMPARE(s.w->sRemoteMacAddress2, result);
            QCOMPARE(s.w->getMACTimeoutCount, quint8(0));
        }
    }
};

QTEST_MAIN(TestConfirmation)
#include "tst_confirmation.moc"
