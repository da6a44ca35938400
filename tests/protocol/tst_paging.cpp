// The discovery window's start and end around the database file, without a network: the
// interfaces are the test's own (indexes no interface has, so nothing can leave this
// host); the full discovery runs against simulated elements in the lab tests.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTreeWidget>

#include "StationFixture.h"
#include "platform/Interfaces.h"
#include "store/CrashLeftovers.h"

namespace {

const QString kRecord = iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "10.0.0.5"}, {"role", "1"}});
const QString kTwo = iniSection(QStringLiteral("0A0000000001"), {{"name", "X"}, {"role", "1"}})
                     + iniSection(QStringLiteral("0A0000000002"), {{"name", "Y"}, {"role", "2"}});
constexpr int kNoSuchIndex = 0x7ffffff0;

QString fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QStringLiteral("<missing>");
}

platform::NetInterface fakeInterface(const QString &name, bool up)
{
    platform::NetInterface i;
    i.index = kNoSuchIndex;
    i.name = name;
    i.up = up;
    i.broadcast = true;
    return i;
}

} // namespace

class TestPaging : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        platform::setInterfaceLister({});
        platform::setPagingInterfaceNames({});
    }

    // A discovery that sends nothing gives back the database as it was, file and tree;
    // the backup is never replaced by an empty or smaller database.
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
        QFETCH(QList<platform::NetInterface>, interfaces);
        QFETCH(QStringList, only);
        QFETCH(QString, database);
        QFETCH(QString, oldBackup);
        QFETCH(QString, reasons);
        QFETCH(QString, backupAfter);
        Station s;
        QVERIFY(s.w->bindMainSocket());
        platform::setInterfaceLister([interfaces](bool) { return interfaces; });
        platform::setPagingInterfaceNames(only);
        s.env.writeIni(database);
        const QString backup = s.env.iniPath() + QStringLiteral(".bak");
        if (oldBackup != QLatin1String("<missing>")) {
            QFile f(backup);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QString(oldBackup).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toLatin1());
        }
        const QString before = fileText(s.env.iniPath());
        const QString backupExpected =
            backupAfter == QLatin1String("<missing>") ? backupAfter : QString(backupAfter).replace("\n", "\r\n");
        s.w->Load_Config();
        const int nodes = s.w->TreeView1->topLevelItemCount();
        s.w->chkGetVolume->setChecked(true);
        s.w->udpClient.setRemote(QStringLiteral("10.0.0.5"), 2976);
        s.boxes.clear();

        s.w->openPagingWindow();

        QVERIFY(!s.boxes.texts().isEmpty());
        QCOMPARE(s.boxes.texts().at(0), QStringLiteral("The paging request could not be sent: %1.\r"
                                                       "The local database was left as it was.")
                                            .arg(reasons));
        QCOMPARE(fileText(s.env.iniPath()), before);
        QCOMPARE(fileText(backup), backupExpected);
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), nodes);
        QCOMPARE(s.w->udpClient.remoteHost(), QStringLiteral("10.0.0.5"));
        QCOMPARE(s.w->udpClient.remotePort(), quint16(2976));
        QVERIFY(!s.w->AutoDiscoverAwaiting);
        QVERIFY(!s.w->chkGetVolume->isChecked());
        QVERIFY(!QFile::exists(DiscoveryMark::path(s.env.iniPath())));
    }

    // When the copy cannot be made the database is left as it was and nothing is sent.
    void databaseThatCannotBeReplaced()
    {
        Station s;
        platform::setInterfaceLister([](bool) { return QList<platform::NetInterface>{fakeInterface("lan9", true)}; });
        s.env.writeIni(kRecord);
        const QString before = fileText(s.env.iniPath());
        // A folder with something in it where the copy should go cannot be replaced.
        QVERIFY(QDir().mkpath(s.env.iniPath() + QStringLiteral(".bak/inside")));
        s.w->Load_Config();

        s.w->openPagingWindow();

        QCOMPARE(s.boxes.count(), 1);
        QVERIFY2(s.boxes.texts().at(0).startsWith(QStringLiteral("The local database could not be replaced: ")),
                 qPrintable(s.boxes.texts().at(0)));
        QVERIFY(s.boxes.texts().at(0).endsWith(QStringLiteral("\rAuto discovery was not started.")));
        QCOMPARE(fileText(s.env.iniPath()), before);
        QVERIFY(!QFile::exists(DiscoveryMark::path(s.env.iniPath())));
        QVERIFY(!s.w->AutoDiscoverAwaiting);
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 1);
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

QTEST_MAIN(TestPaging)
#include "tst_paging.moc"
