// The tree, the encoder list and the caption as built from nms.ini, and the toolbar's
// "Refresh list" and "Auto discover elements" around them.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTreeWidget>
#include <QtTest>

#include "windows/frmMain.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {

// Stands in for the discovery window: the broadcast never leaves the test.
class StationWithoutBroadcast : public frmMain {
public:
    StationWithoutBroadcast() : frmMain(false, false) {}
    int pagingOpened = 0;
    void openPagingWindow() override { ++pagingOpened; }
};

QStringList nodeTexts(const QTreeWidget *tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    return out;
}

QStringList comboTexts(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

const QString kEmptyMissing =
    QStringLiteral("Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.");
const QString kEmptyExisting =
    QStringLiteral("Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.");

} // namespace

class TestElementTree : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void buildsTreeListAndCaption()
    {
        ScriptedMessageBox boxes;
        // Encoders, decoders, role 0, no name, a name that looks like markup, a role that is no number.
        m_env->writeIni(QStringLiteral("[0011223344AA]\nNAME=STUDIO\nROLE=1\n[0011223344BB]\nNAME=TX SITE\nROLE=2\n"
                                       "[0011223344CC]\nNAME=ODD ONE\nROLE=0\n[0011223344DD]\nROLE=2\n"
                                       "[0011223344EE]\nNAME=<b>HTML</b>\nROLE=1.0\n[0011223344FF]\nNAME=NOROLE\nROLE=x\n"));
        frmMain w(false, false);
        w.Load_Config();
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(nodeTexts(w.TreeView1).join(u'|'),
                 QStringLiteral("STUDIO [00:11:22:33:44:AA]|TX SITE [00:11:22:33:44:BB]|ODD ONE [00:11:22:33:44:CC]|"
                                " [00:11:22:33:44:DD]|<b>HTML</b> [00:11:22:33:44:EE]|NOROLE [00:11:22:33:44:FF]"));
        const int images[] = {6, 7, 7, 7, 6, 7};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(w.TreeView1->topLevelItem(i)->data(0, frmMain::kImageRole).toInt(), images[i]);
            QCOMPARE(w.TreeView1->topLevelItem(i)->data(0, Qt::UserRole).toString(),
                     w.TreeView1->topLevelItem(i)->text(0).section(QLatin1Char('['), 1).chopped(1));
        }
        QCOMPARE(comboTexts(w.cmbEncoders).join(u'|'),
                 QStringLiteral("<None>|STUDIO [00:11:22:33:44:AA]|<b>HTML</b> [00:11:22:33:44:EE]"));
        QCOMPARE(w.frmTreeView->title(), QStringLiteral("Select element: (6 items)"));
        QCOMPARE(w.lstHidden.size(), 6);
    }

    void emptyDatabaseMessages_data()
    {
        QTest::addColumn<QString>("content");   // null: no file
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QString() << kEmptyMissing;
        QTest::newRow("empty file") << QStringLiteral("") << kEmptyExisting;
        QTest::newRow("no sections") << QStringLiteral("NAME=X\nROLE=1\n") << kEmptyExisting;
    }
    void emptyDatabaseMessages()
    {
        QFETCH(QString, content); QFETCH(QString, message);
        if (!content.isNull())
            m_env->writeIni(content);
        ScriptedMessageBox boxes;
        frmMain w(false, false);
        w.Load_Config();
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(boxes.shown().first().icon, platform::MsgIcon::Information);
        QCOMPARE(w.frmTreeView->title(), QStringLiteral("Select element: (0 items)"));
        QCOMPARE(nodeTexts(w.TreeView1) + comboTexts(w.cmbEncoders), QStringList{QStringLiteral("<None>")});
    }

    void twoHundredElementsInFileOrder()
    {
        QString ini;
        for (int i = 0; i < 200; ++i)
            ini += QStringLiteral("[0000000%1]\nNAME=EL %2\nROLE=%3\n").arg(i, 5, 16, QLatin1Char('0')).arg(i).arg(2 - i % 2);
        m_env->writeIni(ini);
        ScriptedMessageBox boxes;
        frmMain w(false, false);
        w.Load_Config();
        w.Load_Config();   // a rebuild replaces, never appends
        QCOMPARE(w.TreeView1->topLevelItemCount(), 200);
        QCOMPARE(w.cmbEncoders->count(), 101);
        QCOMPARE(w.frmTreeView->title(), QStringLiteral("Select element: (200 items)"));
        QCOMPARE(w.TreeView1->topLevelItem(199)->text(0), QStringLiteral("EL 199 [00:00:00:00:00:C7]"));
    }

    void junkDatabaseDoesNotCrash()
    {
        QByteArray junk;
        for (int i = 0; i < 5000; ++i)
            junk.append(char((i * 131 + 7) % 256));
        QFile f(m_env->iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly)
                && f.write(junk + "\r\n[0011223344AA]\r\nNAME=" + QByteArray(1 << 20, 'A') + "\r\nROLE=1\r\n") > 0);
        f.close();
        ScriptedMessageBox boxes;
        frmMain w(false, false);
        w.Load_Config();
        QVERIFY(w.TreeView1->topLevelItemCount() >= 1);
    }

    void refreshAndAutoDiscover()
    {
        {
            ScriptedMessageBox boxes;
            m_env->writeIni(QStringLiteral("[0011223344AA]\nNAME=STUDIO\nROLE=1\nIP=10.0.0.5\n"));
            StationWithoutBroadcast w;
            w.Load_Config();
            // "Refresh list" empties the element panel and keeps the tree.
            w.TreeView1_NodeClick(w.TreeView1->topLevelItem(0));
            w.toolbarButton(2)->trigger();
            QCOMPARE(w.TreeView1->topLevelItemCount(), 1);
            QCOMPARE(w.lblElementMAC->text(), QStringLiteral("-"));
            const QString before = m_env->readIni();
            boxes.answerNext(platform::MsgAnswer::No);
            w.toolbarButton(1)->trigger();
            QCOMPARE(boxes.count(), 1);
            QCOMPARE(boxes.shown().first().buttons, platform::MsgButtons::YesNo);
            QVERIFY(boxes.shown().first().text.endsWith(QStringLiteral("(if any). \rAre you sure?")));
            // No leaves everything as it was.
            QCOMPARE(QList<int>({w.pagingOpened, int(w.TreeView1->topLevelItemCount())}), QList<int>({0, 1}));
            QCOMPARE(m_env->readIni(), before);

            boxes.answerNext(platform::MsgAnswer::Yes);
            w.toolbarButton(1)->trigger();
            QCOMPARE(QList<int>({w.pagingOpened, int(w.TreeView1->topLevelItemCount())}), QList<int>({1, 0}));
        }
        {
            // Empty database: discovery starts without the question.
            QFile::remove(m_env->iniPath());
            ScriptedMessageBox boxes;
            StationWithoutBroadcast w;
            w.Load_Config();
            boxes.clear();
            w.toolbarButton(1)->trigger();
            QCOMPARE(boxes.count(), 0);
            QCOMPARE(w.pagingOpened, 1);
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestElementTree)
#include "tst_elementtree.moc"
