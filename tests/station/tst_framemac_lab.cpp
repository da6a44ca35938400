// A discovery takes each element's MAC from the frame its answer came in: with the
// station's neighbour table holding a wrong address for every element (as a table that
// is full, stale or poisoned would), each element is still found under its own MAC.
#include <QtTest>

#include "station/DiscoveryRun.h"
#include "station/Station.h"
#include "support/LabNetwork.h"
#include "support/TestEnvironment.h"

class TestFrameMac : public QObject {
    Q_OBJECT
private slots:
    void answersCarryTheirOwnMac()
    {
        if (qEnvironmentVariableIsEmpty("BRIVOLTE_LAB_ELEMENTS"))
            QSKIP("needs the test network: run through lab/run-in-lab.sh 3");
        TestEnvironment env;
        const QList<LabElement> elements = labElements();
        for (const LabElement &e : elements)
            QVERIFY(ip({"neigh", "replace", e.ip, "lladdr", "02:00:00:00:00:99", "nud", "permanent", "dev", "lan0"}));
        station::Station s;
        QVERIFY(s.open().ok());
        station::DiscoveryRun run(s, /*store=*/false);
        QSignalSpy finished(&run, &station::DiscoveryRun::finished);
        QVERIFY(run.start().ok());
        QVERIFY(finished.wait(station::DiscoveryRun::kCollectMilliseconds + 5000));
        QStringList found, expected;
        for (const ElementFeedback &f : run.answers())
            found << f.UDP_Response_IP + QLatin1Char(' ') + f.UDP_Response_MAC;
        for (const LabElement &e : elements)
            expected << e.ip + QLatin1Char(' ') + e.mac;
        found.sort(), expected.sort();
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(TestFrameMac)
#include "tst_framemac_lab.moc"
