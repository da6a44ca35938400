// The discovery window's start and end around the database file, without a network: the
// main socket is left unbound here, so the paging request cannot leave this host (the
// full discovery runs against simulated elements in tst_discovery_lab).
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTreeWidget>

#include "StationFixture.h"
#include "store/CrashLeftovers.h"

namespace {

const QString kRecord = iniSection(kSection, {{"name", "STUDIO A"}, {"ip", "10.0.0.5"}, {"role", "1"}});

QString fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QStringLiteral("<missing>");
}

} // namespace

class TestPaging : public QObject {
    Q_OBJECT
private slots:
    void previousDatabaseIsKeptAsBackup()
    {
        Station s;
        s.env.writeIni(kRecord);
        const QString before = fileText(s.env.iniPath());
        QFile old(s.env.iniPath() + QStringLiteral(".bak"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("[OLDER]\r\nNAME=X\r\n");
        old.close();
        s.w->Load_Config();
        s.w->chkGetVolume->setChecked(true);
        s.w->udpClient.setRemote(QStringLiteral("10.0.0.5"), 2976);
        // Marked unfinished from the moment the database is emptied until the window has ended.
        QList<bool> marked;
        s.boxes.onShow([&](const platform::MessageSpec &) { marked << QFile::exists(DiscoveryMark::path(s.env.iniPath())); });

        s.w->openPagingWindow();

        QCOMPARE(fileText(s.env.iniPath() + QStringLiteral(".bak")), before);
        QCOMPARE(fileText(s.env.iniPath()), QString());
        QCOMPARE(s.boxes.texts(),
                 (QStringList{QStringLiteral("The paging request could not be sent: the socket is not bound."),
                              QStringLiteral("Local database is empty.\rPlease click the 'Auto Discover' "
                                             "icon to probe the network.")}));
        QCOMPARE(s.w->udpClient.remoteHost(), QStringLiteral("10.0.0.5"));
        QCOMPARE(s.w->udpClient.remotePort(), quint16(2976));
        QVERIFY(!s.w->AutoDiscoverAwaiting);
        QVERIFY(!s.w->chkGetVolume->isChecked());
        QCOMPARE(s.w->TreeView1->topLevelItemCount(), 0);
        QCOMPARE(marked, (QList<bool>{true, true}));
        QVERIFY(!QFile::exists(DiscoveryMark::path(s.env.iniPath())));
    }

    void firstDiscoveryHasNothingToKeep()
    {
        Station s;
        s.w->openPagingWindow();
        QVERIFY(QFile::exists(s.env.iniPath()));
        QVERIFY(!QFile::exists(s.env.iniPath() + QStringLiteral(".bak")));
    }

    // When the copy cannot be made the database is left as it was and nothing is sent.
    void databaseThatCannotBeReplaced()
    {
        Station s;
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
};

QTEST_MAIN(TestPaging)
#include "tst_paging.moc"
