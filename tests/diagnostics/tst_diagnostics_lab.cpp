// The statistics and SFN windows against a simulated decoder with SFN on in the test
// network, with the element's own port 2978 beside the station's. The ping and the
// level monitor against real elements are the command line's (tst_nmsctl_lab).
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "LoopbackPeer.h"
#include "windows/frmStatistics.h"
#include "windows/frmAdjust.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

namespace {

const QString kEncoderSection = QStringLiteral("027700000001");
const QString kDecoderSection = QStringLiteral("027700000002");
bool matches(const QLabel *label, const char *pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern)).match(label->text()).hasMatch();
}

} // namespace

class TestDiagnosticsLab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QStringList elements =
            QString::fromLocal8Bit(qgetenv("BRIVOLTE_LAB_ELEMENTS")).split(' ', Qt::SkipEmptyParts);
        if (elements.size() < 2)
            QSKIP("needs the test network with two elements (lab/run-in-lab.sh 2)");
        m_encoder = elements.at(0);
        m_decoder = elements.at(1);
    }
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_env->writeIni(QStringLiteral("[%1]\nNAME=STUDIO 1\nIP=%2\nROLE=1\nSFN=0\n"
                                       "[%3]\nNAME=SITE 2\nIP=%4\nROLE=2\nSFN=1\n")
                            .arg(kEncoderSection, m_encoder, kDecoderSection, m_decoder));
        m_boxes = std::make_unique<ScriptedMessageBox>();
    }
    void cleanup()
    {
        m_boxes.reset();
        m_env.reset();
    }

    void statisticsFromDecoder()
    {
        frmStatistics w(kDecoderSection, QStringLiteral("DECODER"));
        QVERIFY(w.isOpen());
        w.show();
        Received answers(&w.udpClient2);
        QVERIFY(answers.waitFor(1));
        QCOMPARE(answers.at(0).size(), 61);
        for (QLabel *l : {w.lblMACTxOK, w.lblMACRxOK, w.lblAudioRxFramesOK, w.lblPTPRxOK, w.lblPTPRxErr})
            QVERIFY2(matches(l, "^[0-9]+$"), qPrintable(l->objectName() + ": " + l->text()));
        for (QLabel *l : {w.lblMACTxErr, w.lblMACRxErr, w.lblAudioRxFramesErr})
            QVERIFY2(matches(l, "^[0-9]+ \\([0-9]+(\\.[0-9]{1,2})?%\\)$"),
                     qPrintable(l->objectName() + ": " + l->text()));
        QVERIFY(matches(w.lblPTPClkAdj, " nS$") && matches(w.lblPTPLatency, " nS$"));

        // Clear, confirmed, then Refresh: the counters start again from zero.
        QTest::qWait(1100);   // let the element count for a while
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(answers.waitFor(2));
        const qint32 before = w.responses().UDP_Response_Rx_Frames_OK;
        QVERIFY(before > 0);
        m_boxes->answerNext(platform::MsgAnswer::Yes);
        QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
        QTest::mouseClick(w.cmdRefreshStats, Qt::LeftButton);
        QVERIFY(answers.waitFor(3));
        QVERIFY(w.responses().UDP_Response_Rx_Frames_OK < before);
        QCOMPARE(answers.count(), 3);   // no answer to the reset itself
        QCOMPARE(m_boxes->count(), 1);
    }

    void sfnAdjustmentOfDecoder()
    {
        frmAdjust w(kDecoderSection, QStringLiteral("DECODER"));
        QVERIFY(w.isOpen());
        w.show();
        Received answers(&w.udpClient3);
        QVERIFY(answers.waitFor(1));
        // The simulator's defaults: average 120 us, no compensation, servo off.
        QCOMPARE(w.lblCurrentDelayAVG->text(), QStringLiteral("120 uS, 0 nS"));
        QCOMPARE(w.lblDelaySumAVG->text(), QStringLiteral("516 uS, 98 nS"));
        QCOMPARE(w.chkAutoServo->text(), QStringLiteral("Auto servo"));

        // Set 100 us with auto servo: the element applies it and reports it back.
        w.scrlAdditionalDelay->setValue(1000);
        QTest::mouseClick(w.chkAutoServo, Qt::LeftButton, {}, QPoint(6, w.chkAutoServo->height() / 2));
        QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        const int seen = answers.count();
        QTest::mouseClick(w.cmdRefresh, Qt::LeftButton);
        QVERIFY(answers.waitFor(seen + 1));
        QCOMPARE(w.scrlAdditionalDelay->value(), 1000);
        QVERIFY(w.chkAutoServo->isChecked());
        QCOMPARE(w.chkAutoServo->text(), QStringLiteral("Auto servo (-150 nS)"));
        QCOMPARE(w.lblCurrentDelayAVG->text(), QStringLiteral("219 uS, 850 nS"));
        QCOMPARE(m_boxes->count(), 0);
    }

private:
    QString m_encoder;
    QString m_decoder;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
};

QTEST_MAIN(TestDiagnosticsLab)
#include "tst_diagnostics_lab.moc"
