// A configuration leaving for the element: the checks before it, the address it goes to
// (the stored one, checked), the datagram as the element receives it (a socket of the
// test on 127.0.0.2:2976), the wait for the answer.
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "StationCore.h"

namespace {

const QHostAddress kElementAddress(QStringLiteral("127.0.0.2"));
const QString kTimedOut = QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save.");

// The worked example: encoder "abc" at 10.0.0.5/24, gw .1, unicast to .9, Analog, MPX, SFN off, low latency.
station::ConfigRequest example()
{
    return {kMacText, ConfigCommand{false, "10.0.0.5", "255.255.255.0", "10.0.0.1", "10.0.0.9", 1, 1, 0, 0, "abc", 0, 0, 0, 0, 1}};
}

using Change = std::function<void(station::ConfigRequest &)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestConfigExchange : public QObject {
    Q_OBJECT
    std::unique_ptr<Core> c;
    std::unique_ptr<QUdpSocket> element;

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

private slots:
    void init()
    {
        c = std::make_unique<Core>();
        c->env.writeIni(iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "127.0.0.2"}, {"role", "1"}}));
        element = std::make_unique<QUdpSocket>();
        QVERIFY2(element->bind(kElementAddress, kMainPort), "another program holds UDP port 2976 on 127.0.0.2");
        QVERIFY(c->s.open(0).ok());
    }
    void cleanup() { element.reset(); c.reset(); }

    // Sent once, from the main socket, to the stored address; the wait starts.
    void commandReachesStoredAddress()
    {
        QCOMPARE(c->s.config().send(example()).outcome, station::Outcome::Done);
        const QNetworkDatagram d = received();
        QCOMPARE(d.data(), encodeConfigCommand(example().command));
        QCOMPARE(d.senderPort(), int(c->s.socket().localPort()));
        QVERIFY(c->s.config().isWaiting());
        QVERIFY(nothingReachedElement());   // one datagram, no retry
    }

    // The checks, and stored addresses that cannot be used: nothing sent, no wait.
    void nothingSent_data()
    {
        QTest::addColumn<Change>("change"); QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("checked");   // refused by the checks (title "Error!") rather than by the address
        const auto refused = [](const char *problem) { return QString::fromLatin1(problem) + "\rCannot save."; };
        const QString ips = refused("Please verify that all IP fields are correct!");
        const QString audio = refused("Please verify that all audio fields are correct!");
        const QString none = refused("No Network Element selected!");
        QTest::newRow("nothing selected") << Change([](auto &r) { r.mac = "-"; }) << none << true;
        QTest::newRow("selection checked before the lists") << Change([](auto &r) { r.mac = "-", r.command.audioType = -1; }) << none << true;
        QTest::newRow("no tx selection") << Change([](auto &r) { r.command.audioTx = -1; }) << audio << true;
        QTest::newRow("a decoder's hidden input list") << Change([](auto &r) { r.command.decoder = true, r.command.audioInput = -1; })
                                                       << audio << true;
        QTest::newRow("empty name") << Change([](auto &r) { r.command.name.clear(); })
                                    << refused("Please verify that the name field is correct!") << true;
        QTest::newRow("ip") << Change([](auto &r) { r.command.ip = "10.0.0"; }) << ips << true;
        QTest::newRow("mask") << Change([](auto &r) { r.command.mask = "255.255.255.256"; }) << ips << true;
        QTest::newRow("gateway") << Change([](auto &r) { r.command.gw = "a.b.c.d"; }) << ips << true;
        QTest::newRow("remote") << Change([](auto &r) { r.command.remote = "10.0.0.9."; }) << ips << true;
        QTest::newRow("database missing") << Change([](auto &) { QFile::remove(platform::databasePath()); })
                                          << refused("The local database in your computer, is corrupted!") << true;
        const QString named = "STUDIO A [00:1A:2B:3C:4D:5E] has no valid stored address; nothing was sent.";
        const auto stored = [](const QString &ip) {
            return Change([ip](auto &) {
                ip.isNull() ? DeleteIniKey(kSection, "ip", platform::databasePath())
                            : WriteToINI(kSection, "ip", ip, platform::databasePath());
            });
        };
        QTest::newRow("no ip key") << stored(QString()) << named << false;
        for (const char *ip : {"10.0.0", "255.255.255.255", "224.0.0.9", "0.0.0.0"})
            QTest::addRow("%s", ip) << stored(QString::fromLatin1(ip)) << named << false;
        QTest::newRow("no record") << Change([](auto &r) { r.mac = "00:11:22:33:44:AA"; })
                                   << "[00:11:22:33:44:AA] has no valid stored address; nothing was sent." << false;
    }
    void nothingSent()
    {
        QFETCH(Change, change); QFETCH(QString, message); QFETCH(bool, checked);
        station::ConfigRequest r = example();
        change(r);
        const station::Result check = station::ConfigExchange::check(r, platform::databasePath());
        QCOMPARE(check.ok(), !checked);
        const station::Result result = checked ? check : c->s.config().send(r);
        QCOMPARE(result.outcome, station::Outcome::Refused);
        QCOMPARE(result.message.text, message);
        QCOMPARE(result.message.title, checked ? QStringLiteral("Error!") : QString());
        QCOMPARE(result.message.icon, platform::MsgIcon::Critical);
        QVERIFY(!c->s.config().isWaiting());
        QVERIFY(nothingReachedElement());
    }

    void questionBeforeSending()
    {
        const MessageSpec q = station::ConfigExchange::question();
        QCOMPARE(q.text, "This configuration will be sent to selected Network Element and\r"
                         "will also be saved to local database in your computer. \rAre you sure?");
        QVERIFY(q.title == "Send configuration" && q.buttons == platform::MsgButtons::YesNo
                && q.icon == platform::MsgIcon::Question);
    }

    void silentElementTimesOutOnce()
    {
        QVERIFY(c->s.config().send(example()).ok());
        QCOMPARE(received().data().size(), 37);
        QTRY_VERIFY_WITH_TIMEOUT(c->shown.size() == 1, 15000);
        QCOMPARE(c->texts(), QStringList{kTimedOut});
        QCOMPARE(c->shown.at(0).title, QStringLiteral("Error!"));
        QVERIFY(!c->s.config().isWaiting());
        QTest::qWait(200);
        QCOMPARE(c->shown.size(), 1);   // once
    }

    void secondSendRestartsTheWait()
    {
        QVERIFY(c->s.config().send(example()).ok());
        QTest::qWait(1000);
        const int left = c->s.config().remainingWait();
        QVERIFY(c->s.config().send(example()).ok());
        QVERIFY(c->s.config().remainingWait() > left);
        QCOMPARE(received().data().size(), 37);
        QCOMPARE(received().data().size(), 37);
    }

    void unusableSocketIsThePortMessage()
    {
        c->s.socket().close();
        const station::Result result = c->s.config().send(example());
        QCOMPARE(result.outcome, station::Outcome::PortBusy);
        QCOMPARE(result.message.text, QStringLiteral("Unable to use UDP port 2976: occupied."));
        QVERIFY(!c->s.config().isWaiting());
    }
};

QTEST_GUILESS_MAIN(TestConfigExchange)
#include "tst_configexchange.moc"
