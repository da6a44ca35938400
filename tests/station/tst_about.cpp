// The About box must name the folder and file the station really reads and writes,
// wherever the environment puts them.
#include <QtTest>

#include "platform/Settings.h"
#include "station/About.h"
#include "support/TestEnvironment.h"

class tst_About : public QObject {
    Q_OBJECT
private slots:
    void namesTheFilesInUse();
};

void tst_About::namesTheFilesInUse()
{
    TestEnvironment env;
    platform::writeSetting(QStringLiteral("EULA1"), QStringLiteral("1"));
    const station::AboutFacts facts = station::currentAboutFacts();
    QCOMPARE(facts.databaseFolder, QFileInfo(env.iniPath()).absolutePath());
    QVERIFY2(QFile::exists(facts.settingsFile), qPrintable(facts.settingsFile));
    QVERIFY(facts.settingsFile.startsWith(env.dir()));
    QCOMPARE(facts.qtVersion, QString::fromLatin1(qVersion()));

    const QString text = station::aboutBox(facts).text;
    for (const QString &fact : {facts.version, facts.qtVersion, facts.databaseFolder, facts.settingsFile})
        QVERIFY2(text.contains(fact), qPrintable(fact));
}

QTEST_GUILESS_MAIN(tst_About)
#include "tst_about.moc"
