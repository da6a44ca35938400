// The SFN adjustment window as the operator uses it: opening from the stored values,
// records shown, auto refresh that yields to any adjustment, the set-delay command with
// its optional counter reset, and what closing leaves in the database.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "LoopbackPeer.h"
#include "platform/AppDir.h"
#include "platform/Settings.h"
#include "sfn/StatusRecord.h"
#include "sfn/frmAdjust.h"
#include "store/IniStore.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

const QString kSection = QStringLiteral("0011223344BB");
const QString kDecoder = QStringLiteral("DECODER");

struct Stored {
    QString ip = QStringLiteral("127.0.0.1");
    QString sfn = QStringLiteral("1");
    QString dly;   // null: key absent
    QString srv;
};

QString ini(const Stored &s)
{
    QString text = QStringLiteral("[0011223344BB]\nNAME=RX SITE\nROLE=2\n");
    const std::pair<const char *, QString> keys[] = {{"IP", s.ip}, {"SFN", s.sfn}, {"DLY", s.dly}, {"SRV", s.srv}};
    for (const auto &[key, value] : keys) {
        if (!value.isNull())
            text += QString::fromLatin1(key) + QLatin1Char('=') + value + QLatin1Char('\n');
    }
    return text;
}

QString stored(const QString &key)
{
    return ReadFromINI(kSection, key, platform::databasePath(), QStringLiteral("<absent>"));
}

QByteArray record(qint32 avg, qint32 additional, quint8 servoFlag, qint32 servo)
{
    StatusRecord r;
    r.delayAvg = avg;
    r.delayMin = avg - 1000;
    r.delayMax = avg + 1000;
    r.additionalDelay = additional;
    r.autoServo = servoFlag;
    r.servoCorrection = servo;
    return encodeStatusRecord(r);
}

// The window and what comes back to its socket: its own commands (stored address
// 127.0.0.1) and the answers the test sends as the element.
struct Opened {
    explicit Opened(const QString &type = kDecoder)
        : window(kSection, type)
        , arrived(&window.udpClient3)
    {
    }
    frmAdjust window;
    Received arrived;
    LoopbackPeer element;

    // Sends `datagram` as the element and waits until the window has taken it.
    bool answer(const QByteArray &datagram)
    {
        const int before = arrived.count();
        element.answer(datagram);
        return arrived.waitFor(before + 1);
    }
};

// A check box takes a click on its box or caption, not on the empty space a layout gives it.
void clickBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

} // namespace

class TestAdjustWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void opensFromStoredValuesAndAsksForDelay_data()
    {
        QTest::addColumn<QString>("dly");
        QTest::addColumn<QString>("srv");
        QTest::addColumn<QString>("autoClearSetting");
        QTest::addColumn<int>("slider");
        QTest::addColumn<bool>("servo");
        QTest::addColumn<bool>("autoClear");
        QTest::addColumn<QString>("delayText");
        QTest::newRow("stored values") << "1000" << "1" << "1" << 1000 << true << true << "100 uS, 0 nS";
        QTest::newRow("nothing stored") << QString() << QString() << QString() << 0 << false << false
                                        << "0 nS";
        QTest::newRow("not numbers") << "abc" << "yes" << "on" << 0 << false << false << "0 nS";
        QTest::newRow("above the range") << "30000" << "2" << "0" << 25000 << false << false
                                         << "2 mS, 500 uS, 0 nS";
        QTest::newRow("below the range") << "-5" << "0" << "0" << 0 << false << false << "0 nS";
    }
    void opensFromStoredValuesAndAsksForDelay()
    {
        QFETCH(QString, dly);
        QFETCH(QString, srv);
        QFETCH(QString, autoClearSetting);
        QFETCH(int, slider);
        QFETCH(bool, servo);
        QFETCH(bool, autoClear);
        QFETCH(QString, delayText);
        ScriptedMessageBox boxes;
        Stored s;
        s.dly = dly;
        s.srv = srv;
        m_env->writeIni(ini(s));
        if (!autoClearSetting.isNull())
            platform::writeSetting(QStringLiteral("AutoClearCounters"), autoClearSetting);

        Opened o;
        frmAdjust &w = o.window;
        QVERIFY(w.isOpen());
        QCOMPARE(w.windowTitle(), QStringLiteral("SFN Adjustment"));
        QCOMPARE(w.Frame1->title(), QStringLiteral("Measurements:"));
        QCOMPARE(w.Frame2->title(), QStringLiteral("Adjustments:"));
        for (QLabel *l : {w.lblCurrentDelayMIN, w.lblCurrentDelayMAX, w.lblCurrentDelayAVG,
                          w.lblFixedLatencyMAC, w.lblFixedLatencyAUDIO, w.lblDelaySumMIN,
                          w.lblDelaySumMAX, w.lblDelaySumAVG}) {
            QCOMPARE(l->text(), QStringLiteral("-"));
            QCOMPARE(l->textFormat(), Qt::PlainText);
        }
        QCOMPARE(w.scrlAdditionalDelay->value(), slider);
        QCOMPARE(w.AdditionalDelayNs, slider * 100);
        QCOMPARE(w.lblAdditionalDelay->text(), delayText);
        QCOMPARE(w.chkAutoServo->isChecked(), servo);
        QCOMPARE(w.chkAutoClear->isChecked(), autoClear);
        QVERIFY(!w.chkAutoUpdate->isChecked());
        QVERIFY(!w.Timer2.isActive());
        QVERIFY(!w.UnsavedParameters);
        QCOMPARE(w.chkAutoUpdate->text(), QStringLiteral("&Auto"));
        QCOMPARE(w.chkAutoUpdate->toolTip(), QStringLiteral("Auto refresh (every 1 sec)"));
        QCOMPARE(w.chkAutoServo->text(), QStringLiteral("Auto &delay compensation"));
        QCOMPARE(w.chkAutoServo->toolTip(), QStringLiteral("Enables auto compansation of Network latency"));
        QCOMPARE(w.chkAutoClear->text(), QStringLiteral("Auto clea&r counters"));
        QCOMPARE(w.chkAutoClear->toolTip(), QStringLiteral("Clear counters after each 'Set' command"));
        QCOMPARE(w.cmdResetStats->text(), QStringLiteral("&Clear"));
        QCOMPARE(w.cmdRefresh->text(), QStringLiteral("&Refresh"));
        QCOMPARE(w.cmdSet->text(), QStringLiteral("&Set"));
        QCOMPARE(w.scrlAdditionalDelay->maximum(), 25000);
        QCOMPARE(w.scrlAdditionalDelay->pageStep(), 100);

        QVERIFY(o.arrived.waitFor(1));
        QCOMPARE(o.arrived.at(0), QByteArray("GetDel"));
        QCOMPARE(boxes.count(), 0);
        // Opening stores nothing.
        QCOMPARE(stored(QStringLiteral("dly")), dly.isNull() ? QStringLiteral("<absent>") : dly);
    }

    // Texts are given as "objectName=text"; a label not named keeps "-".
    void showsRecord_data()
    {
        QTest::addColumn<QString>("sfn");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("slider");   // expected position (stored dly is 7)
        QTest::addColumn<bool>("servo");   // stored srv is 1
        QTest::addColumn<QString>("servoCaption");
        const QString fixed = QStringLiteral("lblFixedLatencyMAC=265 nS|lblFixedLatencyAUDIO=395 uS, 833 nS");
        const QString servoDefault = QStringLiteral("Auto &delay compensation");
        QTest::newRow("servo off, no compensation")
            << "1" << kDecoder << record(120000, 0, 0, 999)
            << (fixed + "|lblCurrentDelayAVG=120 uS, 0 nS|lblDelaySumAVG=516 uS, 98 nS"
                        "|lblCurrentDelayMIN=119 uS, 0 nS|lblDelaySumMIN=515 uS, 98 nS"
                        "|lblCurrentDelayMAX=121 uS, 0 nS|lblDelaySumMAX=517 uS, 98 nS"
                        "|lblAdditionalDelay=0 nS")
                   .split('|')
            << 0 << false << "Auto servo";
        QTest::newRow("servo on, correction -150")
            << "1" << kDecoder << record(120000, 0, 1, -150)
            << (fixed + "|lblCurrentDelayAVG=119 uS, 850 nS|lblDelaySumAVG=515 uS, 948 nS"
                        "|lblCurrentDelayMIN=118 uS, 850 nS|lblDelaySumMIN=514 uS, 948 nS"
                        "|lblCurrentDelayMAX=120 uS, 850 nS|lblDelaySumMAX=516 uS, 948 nS"
                        "|lblAdditionalDelay=0 nS")
                   .split('|')
            << 0 << true << "Auto servo (-150 nS)";
        QTest::newRow("compensation 12345 ns moves the slider to 123")
            << "1" << kDecoder << record(0, 12345, 0, 0)
            << (fixed + "|lblCurrentDelayAVG=12 uS, 345 nS|lblDelaySumAVG=408 uS, 443 nS"
                        "|lblCurrentDelayMIN=11 uS, 345 nS|lblDelaySumMIN=407 uS, 443 nS"
                        "|lblCurrentDelayMAX=13 uS, 345 nS|lblDelaySumMAX=409 uS, 443 nS"
                        "|lblAdditionalDelay=12 uS, 300 nS")
                   .split('|')
            << 123 << false << "Auto servo";
        QTest::newRow("SFN off: only the fixed latencies")
            << "0" << kDecoder << record(120000, 12345, 0, 0)
            << (fixed + "|lblAdditionalDelay=700 nS").split('|') << 7 << true << servoDefault;
        QTest::newRow("encoder: only the fixed latencies")
            << "1" << QStringLiteral("ENCODER") << record(120000, 12345, 0, 0)
            << (fixed + "|lblAdditionalDelay=700 nS").split('|') << 7 << true << servoDefault;
        QTest::newRow("60 bytes ignored")
            << "1" << kDecoder << record(120000, 12345, 0, 0).left(60)
            << QStringList{"lblAdditionalDelay=700 nS"} << 7 << true << servoDefault;
        QTest::newRow("62 bytes ignored")
            << "1" << kDecoder << (record(120000, 12345, 0, 0) + 'x')
            << QStringList{"lblAdditionalDelay=700 nS"} << 7 << true << servoDefault;
    }
    void showsRecord()
    {
        QFETCH(QString, sfn);
        QFETCH(QString, type);
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, texts);
        QFETCH(int, slider);
        QFETCH(bool, servo);
        QFETCH(QString, servoCaption);
        ScriptedMessageBox boxes;
        Stored s;
        s.sfn = sfn;
        s.dly = QStringLiteral("7");
        s.srv = QStringLiteral("1");
        m_env->writeIni(ini(s));
        Opened o(type);
        frmAdjust &w = o.window;
        QVERIFY(o.arrived.waitFor(1));   // its own "GetDel", which it ignores
        QVERIFY(o.answer(datagram));

        QMap<QString, QString> want;
        for (QLabel *l : w.findChildren<QLabel *>(QRegularExpression(QStringLiteral("^lbl"))))
            want[l->objectName()] = QStringLiteral("-");
        for (const QString &pair : texts)
            want[pair.section('=', 0, 0)] = pair.section('=', 1);
        for (auto it = want.cbegin(); it != want.cend(); ++it)
            QCOMPARE(w.findChild<QLabel *>(it.key())->text(), it.value());
        QCOMPARE(w.scrlAdditionalDelay->value(), slider);
        QCOMPARE(w.AdditionalDelayNs, slider * 100);
        QCOMPARE(w.chkAutoServo->isChecked(), servo);
        QCOMPARE(w.chkAutoServo->text(), servoCaption);
        QCOMPARE(boxes.count(), 0);
    }

    void variablesReadableFromOutside()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(Stored{}));
        Opened o;
        QVERIFY(o.answer(record(120000, 30000000, 1, -150)));
        const DelayVariables &v = o.window.responses();
        QCOMPARE(v.UDP_Response_PTP_Additional_Delay, 25000.0);   // clamped to the slider
        QCOMPARE(int(v.UDP_Response_PTP_Auto_Servo), 1);
        QCOMPARE(v.UDP_Response_PTP_Propagation_Delay_Average, 120000 + 30000000 - 150);
        QCOMPARE(o.window.scrlAdditionalDelay->value(), 25000);
    }

    // Auto refresh asks every second until the operator adjusts something, so that the
    // answers do not overwrite the adjustment in progress. A record that moves the slider
    // or flips the servo box counts as such a change; one that changes neither does not.
    void autoRefreshStopsOnAdjustment_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("stillRefreshing");
        QTest::newRow("slider by keyboard") << "slider" << false;
        QTest::newRow("servo box click") << "servo" << false;
        QTest::newRow("auto clear click") << "autoclear" << false;
        QTest::newRow("Set") << "set" << false;
        QTest::newRow("Clear, answered No") << "clear" << false;
        QTest::newRow("record moves the slider") << "recordSlider" << false;
        QTest::newRow("record flips the servo box") << "recordServo" << false;
        QTest::newRow("record that changes nothing") << "recordSame" << true;
        QTest::newRow("Refresh") << "refresh" << true;
    }
    void autoRefreshStopsOnAdjustment()
    {
        QFETCH(QString, action);
        QFETCH(bool, stillRefreshing);
        ScriptedMessageBox boxes;
        Stored s;
        s.dly = QStringLiteral("50");
        s.srv = QStringLiteral("0");
        m_env->writeIni(ini(s));
        Opened o;
        frmAdjust &w = o.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(o.arrived.waitFor(1));

        clickBox(w.chkAutoUpdate);
        QVERIFY(w.chkAutoUpdate->isChecked());
        QVERIFY(w.Timer2.isActive());

        if (action == "slider") {
            w.scrlAdditionalDelay->setFocus();
            QTest::keyClick(w.scrlAdditionalDelay, Qt::Key_Right);
            QCOMPARE(w.scrlAdditionalDelay->value(), 51);
            QCOMPARE(w.lblAdditionalDelay->text(), QStringLiteral("5 uS, 100 nS"));
        } else if (action == "servo") {
            clickBox(w.chkAutoServo);
        } else if (action == "autoclear") {
            clickBox(w.chkAutoClear);
        } else if (action == "set") {
            QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        } else if (action == "clear") {
            QTest::mouseClick(w.cmdResetStats, Qt::LeftButton);
            QCOMPARE(boxes.count(), 1);
        } else if (action == "recordSlider") {
            QVERIFY(o.answer(record(1000, 5100, 0, 0)));
            QCOMPARE(w.scrlAdditionalDelay->value(), 51);
        } else if (action == "recordServo") {
            QVERIFY(o.answer(record(1000, 5000, 1, 20)));
            QVERIFY(w.chkAutoServo->isChecked());
        } else if (action == "recordSame") {
            QVERIFY(o.answer(record(1000, 5000, 0, 0)));
            QCOMPARE(w.lblCurrentDelayAVG->text(), QStringLiteral("6 uS, 0 nS"));
        } else if (action == "refresh") {
            QTest::mouseClick(w.cmdRefresh, Qt::LeftButton);
        }
        QCOMPARE(w.chkAutoUpdate->isChecked(), stillRefreshing);
        QCOMPARE(w.Timer2.isActive(), stillRefreshing);

        if (stillRefreshing) {
            // The periodic requests go on: two more "GetDel" arrive by themselves.
            const int before = o.arrived.count();
            QVERIFY(o.arrived.waitFor(before + 2, 10000));
            QCOMPARE(o.arrived.all().mid(before).count(QByteArray("GetDel")), 2);
        }
    }

    // With the slider at 1000 and auto servo on, Set sends 53 00 01 86 A0 01; with auto
    // clear the counter reset follows by itself, without a question.
    void setSendsDelayAndOptionalReset_data()
    {
        QTest::addColumn<bool>("autoClear");
        QTest::newRow("auto clear on") << true;
        QTest::newRow("auto clear off") << false;
    }
    void setSendsDelayAndOptionalReset()
    {
        QFETCH(bool, autoClear);
        ScriptedMessageBox boxes;
        Stored s;
        s.dly = QStringLiteral("1000");
        s.srv = QStringLiteral("0");
        m_env->writeIni(ini(s));
        platform::writeSetting(QStringLiteral("AutoClearCounters"), autoClear ? "1" : "0");
        Opened o;
        frmAdjust &w = o.window;
        w.show();
        QVERIFY(o.arrived.waitFor(1));
        clickBox(w.chkAutoServo);
        QVERIFY(!w.UnsavedParameters);

        QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        QVERIFY(w.UnsavedParameters);
        QVERIFY(o.arrived.waitFor(2));
        QCOMPARE(o.arrived.at(1), QByteArray::fromHex("530001 86A001"));
        if (autoClear) {
            QVERIFY(o.arrived.waitFor(3));
            QCOMPARE(o.arrived.at(2), QByteArray("RstStats"));
        } else {
            // Well past the reset's moment, the next datagram is the marker.
            QTest::qWait(750);
            QTest::mouseClick(w.cmdRefresh, Qt::LeftButton);
            QVERIFY(o.arrived.waitFor(3));
            QCOMPARE(o.arrived.at(2), QByteArray("GetDel"));
        }
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!w.Timer1.isActive());
    }

    void autoClearClickIsStored()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(Stored{}));
        Opened o;
        o.window.show();
        clickBox(o.window.chkAutoClear);
        QCOMPARE(platform::readSetting(QStringLiteral("AutoClearCounters"), QString()), QStringLiteral("1"));
        clickBox(o.window.chkAutoClear);
        QCOMPARE(platform::readSetting(QStringLiteral("AutoClearCounters"), QString()), QStringLiteral("0"));
    }

    void closingStoresOnlyAfterSet_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<int>("stepsAfterSet");   // slider moved after Set, before closing
        QTest::addColumn<QString>("dly");
        QTest::addColumn<QString>("srv");
        QTest::newRow("without Set") << false << 0 << "1000" << "0";
        QTest::newRow("after Set") << true << 0 << "1000" << "1";
        QTest::newRow("values at closing time") << true << 3 << "1003" << "1";
    }
    void closingStoresOnlyAfterSet()
    {
        QFETCH(bool, set);
        QFETCH(int, stepsAfterSet);
        QFETCH(QString, dly);
        QFETCH(QString, srv);
        ScriptedMessageBox boxes;
        Stored s;
        s.dly = QStringLiteral("1000");
        s.srv = QStringLiteral("0");
        m_env->writeIni(ini(s));
        Opened o;
        frmAdjust &w = o.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        clickBox(w.chkAutoServo);
        if (set)
            QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        w.scrlAdditionalDelay->setFocus();
        for (int i = 0; i < stepsAfterSet; ++i)
            QTest::keyClick(w.scrlAdditionalDelay, Qt::Key_Right);

        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(stored(QStringLiteral("dly")), dly);
        QCOMPARE(stored(QStringLiteral("srv")), srv);
        if (set) {
            QCOMPARE(boxes.texts(), QStringList{"There are unsaved parameters. Don't forget to click "
                                                "the 'Save' button."});
            QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Information);
            QVERIFY(boxes.shown().at(0).title.isEmpty());   // the application's title
        } else {
            QCOMPARE(boxes.count(), 0);
        }
        QVERIFY(!w.UnsavedParameters);
    }

    void unreadableRecordReportsError4()
    {
        ScriptedMessageBox boxes;
        Stored s;
        s.sfn = QStringLiteral("yes");
        m_env->writeIni(ini(s));
        Opened o;
        frmAdjust &w = o.window;
        w.show();
        clickBox(w.chkAutoUpdate);
        QVERIFY(o.answer(record(120000, 0, 0, 0)));
        QCOMPARE(boxes.texts(),
                 QStringList{"Error 4 while retrieving values. Please reset the device and try again."});
        QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Critical);
        QCOMPARE(w.lblFixedLatencyMAC->text(), QStringLiteral("265 nS"));
        QCOMPARE(w.lblCurrentDelayAVG->text(), QStringLiteral("-"));
        // The same record would come back every second, each with a box on the last one.
        QVERIFY(!w.Timer2.isActive());
        QVERIFY(w.isVisible());
        QCOMPARE(m_env->endProgramCalls(), 0);
    }

    // A record without a usable address used to end the whole program; now the operator is
    // told what is wrong, nothing is sent, and the station keeps running.
    void unusableStoredAddressIsReported_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("problem");
        QTest::newRow("absent") << QString() << QStringLiteral("No IP address is stored for this element.");
        QTest::newRow("not an address")
            << QStringLiteral("rx-site")
            << QStringLiteral("The stored IP address \"rx-site\" of this element is not valid.");
        QTest::newRow("five parts")
            << QStringLiteral("10.0.0.1.5")
            << QStringLiteral("The stored IP address \"10.0.0.1.5\" of this element is not valid.");
        QTest::newRow("broadcast")
            << QStringLiteral("255.255.255.255")
            << QStringLiteral("The stored IP address \"255.255.255.255\" of this element is not an "
                              "element's address.");
    }
    void unusableStoredAddressIsReported()
    {
        QFETCH(QString, ip);
        QFETCH(QString, problem);
        ScriptedMessageBox boxes;
        Stored s;
        s.ip = ip;
        s.dly = QStringLiteral("10");
        m_env->writeIni(ini(s));
        Opened o;
        frmAdjust &w = o.window;
        QVERIFY(w.isOpen());
        QCOMPARE(boxes.texts(), QStringList{problem + "\rThe values were not requested."});
        QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Critical);
        w.show();

        // Set: reported, and nothing counts as unsaved.
        QTest::mouseClick(w.cmdSet, Qt::LeftButton);
        QCOMPARE(boxes.texts().value(1), problem + "\rThe delay was not set.");
        QVERIFY(!w.UnsavedParameters);

        // An auto refresh tick: one report, and auto refresh stops instead of repeating it.
        clickBox(w.chkAutoUpdate);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 3, 5000);
        QCOMPARE(boxes.texts().value(2), problem + "\rThe values were not requested.");
        QVERIFY(!w.chkAutoUpdate->isChecked());
        QVERIFY(!w.Timer2.isActive());
        QCOMPARE(m_env->endProgramCalls(), 0);
        QCOMPARE(o.arrived.count(), 0);
    }

    void occupiedPortEndsProgram()
    {
        ScriptedMessageBox boxes;
        m_env->writeIni(ini(Stored{}));
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 2978, QAbstractSocket::DontShareAddress));
        frmAdjust w(kSection, kDecoder);
        QVERIFY(!w.isOpen());
        QCOMPARE(boxes.texts(), QStringList{"Unable to use UDP port 2978: occupied."});
        QCOMPARE(boxes.shown().at(0).icon, MsgIcon::Critical);
        QCOMPARE(m_env->endProgramCalls(), 1);
        QCOMPARE(m_env->lastExitCode(), 1);
        QTest::qWait(100);
        QVERIFY(!holder.hasPendingDatagrams());
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestAdjustWindow)
#include "tst_adjust.moc"
