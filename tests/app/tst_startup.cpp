// Start-up as an operator meets it (argument rule, second instance, port taken, the notice
// until accepted once, a clean start after a station that ended abruptly), and the tree,
// encoder list and caption built from nms.ini around "Refresh list" and "Auto discover".
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <optional>
#include <unistd.h>

#include "platform/FolderUse.h"
#include "platform/InstanceLock.h"
#include "platform/Settings.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/Startup.h"
#include "windows/frmDisclaimer.h"
#include "windows/frmMain.h"

namespace {

const QString kStudio = "[0011223344AA]\nNAME=STUDIO\nROLE=1\n";

// Answers the start-up notice when it shows: clicks the box `clicks` times and closes it.
// Gives up after 200 polls.
struct NoticeAnswerer {
    explicit NoticeAnswerer(int clicks)
    {
        timer.callOnTimeout([this, clicks] {
            auto *notice = qobject_cast<frmDisclaimer *>(QApplication::activeModalWidget());
            if (notice) {
                ++shown;
                for (int i = 0; i < clicks; ++i)
                    QTest::mouseClick(notice->chkAgree, Qt::LeftButton);
                QTest::mouseClick(notice->cmdClose, Qt::LeftButton);
            }
            if (notice || ++polls > 200)
                timer.stop();
        });
        timer.start(10);
    }
    int shown = 0, polls = 0;
    QTimer timer;
};

#define NEED_PORT_2976()                                                                              \
    if (!QUdpSocket().bind(QHostAddress::AnyIPv4, 2976, QAbstractSocket::DontShareAddress))           \
    QSKIP("UDP port 2976 is in use on this machine (a running station?)")

// Stands in for the discovery window: the broadcast never leaves the test.
class StationWithoutBroadcast : public frmMain {
public:
    StationWithoutBroadcast() : frmMain(false, false) {}
    int pagingOpened = 0;
    void openPagingWindow() override { ++pagingOpened; }
};

QStringList texts(const QTreeWidget *tree, const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    for (int i = 0; i < combo->count(); ++i)
        out << "list: " + combo->itemText(i);
    return out;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        platform::writeSetting("EULA1", "1");   // accepted once, so most tests see no notice
    }
    void cleanup() { m_env.reset(); }

    void argumentRule_data()
    {
        QTest::addColumn<QStringList>("arguments"); QTest::addColumn<bool>("gps");
        QTest::addColumn<bool>("lowLatency"); QTest::addColumn<int>("bufferMaximum");
        QTest::addColumn<QString>("titleTail");
        const QString plain = " - Quorvane Broadcast";
        QTest::newRow("GPS") << QStringList{"GPS"} << true << false << 23 << " [GPSDO version]" + plain;
        QTest::newRow("ll small") << QStringList{"ll"} << false << true << 44 << " [Low Latency Option]" + plain;
        QTest::newRow("GPS LL matches neither") << QStringList{"GPS", "LL"} << false << false << 22 << plain;
        QTest::newRow("GPSX") << QStringList{"GPSX"} << false << false << 22 << plain;
    }
    void argumentRule()
    {
        QFETCH(QStringList, arguments);
        NEED_PORT_2976();
        ScriptedMessageBox boxes;
        m_env->writeIni(kStudio);
        StartupResult started = startStation(arguments, /*show=*/false);
        QVERIFY(started.window);
        QTEST(started.window->GPSDOVersion, "gps");
        QTEST(started.window->LowLatencyOption, "lowLatency");
        QTEST(started.window->scrlBuffer->maximum(), "bufferMaximum");
        QFETCH(QString, titleTail);
        QVERIFY2(started.window->windowTitle().endsWith(titleTail), qPrintable(started.window->windowTitle()));
        QCOMPARE(boxes.count(), 0);
    }

    void unwritableDatabaseFolderIsReported()
    {
        NEED_PORT_2976();
        // A folder below a regular file can be neither created nor written, even by root.
        QFile blocker(m_env->dir() + "/not-a-folder");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("BRIVOLTE_NMS_DIR", QFile::encodeName(blocker.fileName() + "/db"));
        ScriptedMessageBox boxes;
        StartupResult started = startStation({}, false);
        QVERIFY(started.window);   // the station still starts: elements can be shown and pinged
        QCOMPARE(boxes.count(), 2);
        QVERIFY(boxes.shown().at(0).text.startsWith("Local database is empty."));
        QVERIFY(boxes.shown().at(1).text.startsWith("The local database folder cannot be written:"));
        QCOMPARE(boxes.shown().at(1).icon, platform::MsgIcon::Critical);
    }

    void secondInstanceIsRefused()
    {
        ScriptedMessageBox boxes;
        platform::InstanceLock first;
        QVERIFY(first.tryAcquire());
        QVERIFY(!startStation({}, false).window);
        QCOMPARE(boxes.texts(), QStringList{"Quorvane Brivolte NMS is already running (check the icon in system tray)!"});
        QCOMPARE(boxes.shown().first().icon, platform::MsgIcon::Information);
        QVERIFY(QFile::exists(first.path()));   // the first instance keeps its lock
    }

    void lockOfCrashedInstanceDoesNotBlock()
    {
        // A child takes the lock and is killed without releasing it.
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"--hold-lock"});
        QVERIFY(child.waitForStarted(5000) && child.waitForReadyRead(5000));
        QCOMPARE(child.readAll().trimmed(), QByteArray("locked"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(5000));
        NEED_PORT_2976();
        ScriptedMessageBox boxes;
        m_env->writeIni(kStudio);
        QVERIFY2(startStation({}, false).window, qPrintable(boxes.texts().join('|')));
    }

    void portTakenEndsAfterTreeIsBuilt()
    {
        QUdpSocket holder;
        if (!holder.bind(QHostAddress::AnyIPv4, 2976, QAbstractSocket::DontShareAddress))
            QSKIP("UDP port 2976 is in use on this machine (a running station?)");
        ScriptedMessageBox boxes;
        // Missing database: its message comes first (the tree is built before the bind).
        StartupResult started = startStation({}, false);
        QVERIFY(!started.window);
        QCOMPARE(started.exitCode, 1);
        QCOMPARE(boxes.count(), 2);
        QVERIFY(boxes.shown().at(0).text.startsWith("Local database is empty."));
        QCOMPARE(boxes.shown().at(1).text, "Unable to use UDP port 2976: occupied.");
        QCOMPARE(boxes.shown().at(1).icon, platform::MsgIcon::Critical);
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<frmMain *>(w));   // no main window left behind
    }

    // What a station that ended abruptly left: the store's temporary files go (when no other
    // station uses the folder), and a discovery that did not finish is told once, with the
    // previous database put back on Yes.
    void cleanStart_data()
    {
        QTest::addColumn<bool>("unfinished"); QTest::addColumn<bool>("backup"); QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("otherStation"); QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("database");   // which content nms.ini has afterwards
        QTest::newRow("unfinished, Yes: previous back") << true << true << true << false << true << "previous";
        QTest::newRow("unfinished, No: partial kept") << true << true << false << false << true << "partial";
        QTest::newRow("unfinished, nothing to put back") << true << false << true << false << false << "partial";
        QTest::newRow("finished") << false << true << true << false << false << "partial";
        QTest::newRow("another station in the folder") << true << true << true << true << false << "partial";
    }
    void cleanStart()
    {
        QFETCH(bool, unfinished); QFETCH(bool, backup); QFETCH(bool, yes); QFETCH(bool, otherStation);
        QFETCH(bool, asked); QFETCH(QString, database);
        NEED_PORT_2976();
        const QString ini = m_env->iniPath();
        const QMap<QString, QString> content{{"partial", "[0011223344AA]\nNAME=STUDIO\n"},
                                             {"previous", "[0011223344AA]\nNAME=STUDIO\n[0011223344BB]\nNAME=SITE\n"}};
        const QStringList leftovers{".nms.ini.Ab12Cd", ".nms.ini.000000"};
        const QStringList others{".nms.ini.Ab12C", ".nms.ini.Ab12Cd7", ".nms.ini.Ab-2Cd", "nms.ini.Ab12Cd",
                                 ".nms.ini.bak.Ab12Cd", ".brivolte-nms-probe-Ab12Cd"};
        for (const QString &name : leftovers + others + QStringList{"nms.ini.bak", "nms.ini.discovering"}) {
            QFile f(QFileInfo(ini).dir().filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content["previous"].toLatin1());
        }
        if (!unfinished)
            QFile::remove(ini + ".discovering");
        if (!backup)
            QFile::remove(ini + ".bak");
        m_env->writeIni(content["partial"]);
        std::optional<platform::FolderUse> other;
        if (otherStation)
            other.emplace(QFileInfo(ini).path()).share();

        ScriptedMessageBox boxes;
        boxes.answerNext(yes ? platform::MsgAnswer::Yes : platform::MsgAnswer::No);
        StartupResult started = startStation({}, false);
        QVERIFY(started.window);
        const QString question = QStringLiteral("The last auto discovery did not finish: the local database may "
                                                "hold only some of the elements.\rThe previous database is kept in "
                                                "%1.bak. Do you want to put it back?").arg(ini);
        QCOMPARE(boxes.texts().contains(question), asked);
        if (asked)
            QCOMPARE(boxes.shown().at(0).title, QStringLiteral("Restore database"));
        QCOMPARE(QFile::exists(ini + ".discovering"), otherStation);
        QCOMPARE(m_env->readIni().remove('\r'), content[database]);
        QCOMPARE(started.window->TreeView1->topLevelItemCount(), database == "previous" ? 2 : 1);
        for (const QString &name : leftovers)
            QCOMPARE(QFileInfo::exists(QFileInfo(ini).dir().filePath(name)), otherStation);
        for (const QString &name : others)
            QVERIFY2(QFileInfo::exists(QFileInfo(ini).dir().filePath(name)), qPrintable(name));
    }

    void noticeUntilAcceptedOnce_data()
    {
        QTest::addColumn<QString>("stored");   // null: absent
        QTest::addColumn<int>("clicks"); QTest::addColumn<bool>("shownFirst"); QTest::addColumn<bool>("shownNext");
        QTest::newRow("fresh account, closed without tick") << QString() << 0 << true << true;
        QTest::newRow("fresh account, ticked") << QString() << 1 << true << false;
        QTest::newRow("ticked and unticked again") << QString() << 2 << true << true;
        QTest::newRow("stored junk counts as 0") << "yes please" << 0 << true << true;
    }
    void noticeUntilAcceptedOnce()
    {
        QFETCH(QString, stored); QFETCH(int, clicks); QFETCH(bool, shownFirst); QFETCH(bool, shownNext);
        NEED_PORT_2976();
        m_env = std::make_unique<TestEnvironment>();   // a fresh account for each row
        if (!stored.isNull())
            platform::writeSetting("EULA1", stored);
        m_env->writeIni(kStudio);
        ScriptedMessageBox boxes;
        for (int run = 0; run < 2; ++run) {
            NoticeAnswerer answerer(run == 0 ? clicks : 0);
            QVERIFY(startStation({}, false).window);
            QCOMPARE(answerer.shown > 0, run == 0 ? shownFirst : shownNext);
        }
    }

    // Encoders, decoders, role 0, no name, a name that looks like markup, a role that is no
    // number; the toolbar's separator indexes do nothing.
    void buildsTreeListAndCaption()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(kStudio + "[0011223344BB]\nNAME=TX SITE\nROLE=2\n[0011223344CC]\nNAME=ODD ONE\nROLE=0\n"
                        "[0011223344DD]\nROLE=2\n[0011223344EE]\nNAME=<b>HTML</b>\nROLE=1.0\n"
                        "[0011223344FF]\nNAME=NOROLE\nROLE=x\n");
        frmMain w(false, false);
        w.Load_Config();
        w.Load_Config();   // a rebuild replaces, never appends
        const QString before = m_env->readIni();
        w.Toolbar1_ButtonClick(3);
        w.Toolbar1_ButtonClick(5);
        QCOMPARE(m_env->readIni(), before);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(texts(w.TreeView1, w.cmbEncoders),
                 (QStringList{"STUDIO [00:11:22:33:44:AA]", "TX SITE [00:11:22:33:44:BB]", "ODD ONE [00:11:22:33:44:CC]",
                              " [00:11:22:33:44:DD]", "<b>HTML</b> [00:11:22:33:44:EE]", "NOROLE [00:11:22:33:44:FF]",
                              "list: <None>", "list: STUDIO [00:11:22:33:44:AA]", "list: <b>HTML</b> [00:11:22:33:44:EE]"}));
        const int images[] = {6, 7, 7, 7, 6, 7};
        for (int i = 0; i < 6; ++i) {
            const QTreeWidgetItem *item = w.TreeView1->topLevelItem(i);
            QCOMPARE(item->data(0, frmMain::kImageRole).toInt(), images[i]);
            QCOMPARE(item->data(0, Qt::UserRole).toString(), item->text(0).section('[', 1).chopped(1));
        }
        QCOMPARE(w.frmTreeView->title(), "Select element: (6 items)");
    }

    void emptyDatabaseMessages_data()
    {
        QTest::addColumn<QString>("content"); QTest::addColumn<QString>("message");   // content null: no file
        const QString existing = "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.";
        QTest::newRow("missing file") << QString()
                                      << "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.";
        QTest::newRow("empty file") << "" << existing;
        QTest::newRow("no sections") << "NAME=X\nROLE=1\n" << existing;
    }
    void emptyDatabaseMessages()
    {
        QFETCH(QString, content);
        if (!content.isNull())
            m_env->writeIni(content);
        ScriptedMessageBox boxes;
        frmMain w(false, false);
        w.Load_Config();
        QFETCH(QString, message);
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(boxes.shown().first().icon, platform::MsgIcon::Information);
        QCOMPARE(w.frmTreeView->title(), "Select element: (0 items)");
        QCOMPARE(texts(w.TreeView1, w.cmbEncoders), QStringList{"list: <None>"});
    }

    // "Refresh list" keeps the tree; "Auto discover" asks first when the database has
    // elements, and No leaves everything as it was.
    void refreshAndAutoDiscover()
    {
        {
            ScriptedMessageBox boxes;
            m_env->writeIni(kStudio + "IP=10.0.0.5\n");
            StationWithoutBroadcast w;
            w.Load_Config();
            w.TreeView1_NodeClick(w.TreeView1->topLevelItem(0));
            w.toolbarButton(2)->trigger();
            QCOMPARE(w.TreeView1->topLevelItemCount(), 1);
            const QString before = m_env->readIni();
            boxes.answerNext(platform::MsgAnswer::No);
            w.toolbarButton(1)->trigger();
            QCOMPARE(boxes.count(), 1);
            QCOMPARE(boxes.shown().first().buttons, platform::MsgButtons::YesNo);
            QVERIFY(boxes.shown().first().text.endsWith("(if any). \rAre you sure?"));
            QCOMPARE((QList<int>{w.pagingOpened, int(w.TreeView1->topLevelItemCount())}), (QList<int>{0, 1}));
            QCOMPARE(m_env->readIni(), before);
            boxes.answerNext(platform::MsgAnswer::Yes);
            w.toolbarButton(1)->trigger();
            QCOMPARE((QList<int>{w.pagingOpened, int(w.TreeView1->topLevelItemCount())}), (QList<int>{1, 0}));
        }
        QFile::remove(m_env->iniPath());
        ScriptedMessageBox boxes;
        StationWithoutBroadcast w;
        w.Load_Config();
        boxes.clear();
        w.toolbarButton(1)->trigger();
        QCOMPARE(boxes.count(), 0);   // empty database: discovery starts without the question
        QCOMPARE(w.pagingOpened, 1);
    }
};

int main(int argc, char *argv[])
{
    // Child mode for the crashed-instance test: hold the lock until killed.
    if (argc > 1 && qstrcmp(argv[1], "--hold-lock") == 0) {
        QCoreApplication app(argc, argv);
        platform::InstanceLock lock;
        if (!lock.tryAcquire())
            return 2;
        std::printf("locked\n");
        std::fflush(stdout);
        ::sleep(30);
        return 0;
    }
    QApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
