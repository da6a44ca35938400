// A discovery's start and end around the database file, without a network: the
// interfaces are the test's own (indexes no interface has, so nothing can leave this
// host); the full discovery runs against simulated elements in the lab tests.
#include <QDir>
#include <QFile>

#include "StationCore.h"
#include "platform/Interfaces.h"
#include "station/DiscoveryRun.h"
#include "store/CrashLeftovers.h"

namespace {

const QString kRecord = iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "10.0.0.5"}, {"role", "1"}});
const QString kTwo = iniSection(QStringLiteral("0A0000000001"), {{"name", "X"}, {"role", "1"}})
                     + iniSection(QStringLiteral("0A0000000002"), {{"name", "Y"}, {"role", "2"}});
constexpr int kNoSuchIndex = 0x7ffffff0;

QString fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).replace("\r\n", "\n") : QStringLiteral("<missing>");
}

platform::NetInterface fakeInterface(const QString &name, bool up)
{
    platform::NetInterface i;
    i.index = kNoSuchIndex, i.name = name, i.up = up, i.broadcast = true;
    return i;
}

} // namespace

class TestDiscoveryRun : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        platform::setInterfaceLister({});
        platform::setPagingInterfaceNames({});
    }

    // A discovery that sends nothing gives back the database as it was; the backup is
    // never replaced by an empty or smaller database.
    void nothingSentLosesNothing_data()
    {
        QTest::addColumn<QList<platform::NetInterface>>("interfaces");
        QTest::addColumn<QStringList>("only");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("oldBackup");   // "<missing>": none
        QTest::addColumn<QString>("reasons");
        QTest::addColumn<QString>("backupAfter");
        const QString none = QStringLiteral("<missing>");
        const auto down = fakeInterface(QStringLiteral("lan9"), false);
        const auto up = fakeInterface(QStringLiteral("lan9"), true);
        QTest::newRow("no interface up") << QList<platform::NetInterface>{down} << QStringList() << kRecord << kTwo
                                         << "no network interface is up" << kTwo;
        QTest::newRow("named interface down") << QList<platform::NetInterface>{down} << QStringList{"lan9"} << kRecord
                                              << none << "lan9: is down" << none;
        QTest::newRow("named interface missing") << QList<platform::NetInterface>{} << QStringList{"nosuch0"} << kRecord
                                                 << none << "nosuch0: no such interface" << none;
        QTest::newRow("send fails, database kept as backup")
            << QList<platform::NetInterface>{up} << QStringList() << kRecord << none << "lan9: No such device" << kRecord;
        QTest::newRow("send fails, larger backup kept")
            << QList<platform::NetInterface>{up} << QStringList() << kRecord << kTwo << "lan9: No such device" << kTwo;
        QTest::newRow("send fails, empty database, backup kept")
            << QList<platform::NetInterface>{up} << QStringList() << QString() << kTwo << "lan9: No such device" << kTwo;
    }
    void nothingSentLosesNothing()
    {
        QFETCH(QList<platform::NetInterface>, interfaces); QFETCH(QStringList, only); QFETCH(QString, database);
        QFETCH(QString, oldBackup); QFETCH(QString, reasons); QFETCH(QString, backupAfter);
        Core c;
        QVERIFY(c.s.open(0).ok());
        platform::setInterfaceLister([interfaces](bool) { return interfaces; });
        platform::setPagingInterfaceNames(only);
        c.env.writeIni(database);
        const QString backup = c.env.iniPath() + QStringLiteral(".bak");
        if (oldBackup != QLatin1String("<missing>")) {
            QFile f(backup);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(oldBackup.toLatin1()) > 0);
        }
        const QString before = fileText(c.env.iniPath());
        c.s.socket().setRemote(QStringLiteral("10.0.0.5"), 2976);

        station::DiscoveryRun run(c.s);
        const station::Result started = run.start();

        QCOMPARE(started.outcome, station::Outcome::Refused);
        QCOMPARE(started.message.text, QStringLiteral("The paging request could not be sent: %1.\r"
                                                      "The local database was left as it was.").arg(reasons));
        QCOMPARE(fileText(c.env.iniPath()), before);
        QCOMPARE(fileText(backup), backupAfter);
        QCOMPARE(c.s.socket().remoteHost() + ':' + QString::number(c.s.socket().remotePort()), QStringLiteral("10.0.0.5:2976"));
        QVERIFY(!c.s.discoveryActive() && !run.isRunning());
        QVERIFY(!QFile::exists(DiscoveryMark::path(c.env.iniPath())));
    }

    // When the copy cannot be made the database is left as it was and nothing is sent.
    void databaseThatCannotBeReplaced()
    {
        Core c;
        platform::setInterfaceLister([](bool) { return QList<platform::NetInterface>{fakeInterface("lan9", true)}; });
        c.env.writeIni(kRecord);
        const QString before = fileText(c.env.iniPath());
        // A folder with something in it where the copy should go cannot be replaced.
        QVERIFY(QDir().mkpath(c.env.iniPath() + QStringLiteral(".bak/inside")));
        station::DiscoveryRun run(c.s);
        const station::Result started = run.start();
        QVERIFY2(started.message.text.startsWith(QStringLiteral("The local database could not be replaced: ")),
                 qPrintable(started.message.text));
        QVERIFY(started.message.text.endsWith(QStringLiteral("\rAuto discovery was not started.")));
        QCOMPARE(fileText(c.env.iniPath()), before);
        QVERIFY(!c.s.discoveryActive());
        QVERIFY(!QFile::exists(DiscoveryMark::path(c.env.iniPath())));
    }

    // Which interfaces a request goes out on, from what the kernel lists.
    void pagingTargets()
    {
        using platform::NetInterface;
        NetInterface lo{1, "lo", 0x0100007f, 0xff, true, true, false};
        NetInterface lan{2, "lan0", 1, 0xffffff, true, false, true};
        NetInterface wifi{3, "wlan0", 2, 0xffffff, true, false, true};
        NetInterface down{4, "eth1", 3, 0xffffff, false, false, true};
        NetInterface tun{5, "tun0", 4, 0xffffffff, true, false, false};
        const QList<NetInterface> all{lo, lan, wifi, down, tun};
        const auto describe = [](const QList<platform::PagingTarget> &targets) {
            QStringList out;
            for (const auto &t : targets)
                out << t.name + (t.problem.isEmpty() ? QString() : QLatin1Char('=') + t.problem);
            return out.join(QLatin1Char(' '));
        };
        QCOMPARE(describe(platform::selectPagingTargets(all, {})), QStringLiteral("lan0 wlan0"));
        QCOMPARE(describe(platform::selectPagingTargets(all, {"wlan0", "eth1", "tun0", "lo"})),
                 QStringLiteral("wlan0 eth1=is down tun0=cannot broadcast lo=cannot broadcast"));
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryRun)
#include "tst_discoveryrun.moc"
