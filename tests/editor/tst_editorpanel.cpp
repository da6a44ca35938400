// The properties panel as the operator uses it: clicking elements of a real nms.ini,
// switching lists, moving bars, typing into fields.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "PanelFixture.h"
#include "diagnostics/VuMeter.h"
#include "editor/ButtonColour.h"

namespace {

const QString kEncMac = QStringLiteral("00:11:22:33:44:AA");
const QString kDecMac = QStringLiteral("00:11:22:33:44:BB");
const QString kDec2Mac = QStringLiteral("00:11:22:33:44:CC");
const QString kUnkMac = QStringLiteral("00:11:22:33:44:DD");
const QString kBadMac = QStringLiteral("00:11:22:33:44:EE");

QString sectionOf(const QString &mac)
{
    return QString(mac).remove(QLatin1Char(':'));
}

const Keys kEncoder = {{"name", "STUDIO"}, {"ip", "127.0.0.5"}, {"mask", "255.255.255.0"},
                       {"gw", "127.0.0.1"}, {"input", "1"}, {"type", "1"}, {"tx", "0"},
                       {"remote", "127.0.0.9"}, {"multi", "239.1.2.3"}, {"role", "1"},
                       {"sn", "1234"}, {"ver", "2.1"}, {"sfn", "1"}, {"buf", "5"}, {"llo", "0"}};
// SFN decoder bound to the encoder.
const Keys kDecoder = {{"name", "TX SITE"}, {"ip", "127.0.0.6"}, {"mask", "255.255.0.0"},
                       {"gw", "127.0.0.2"}, {"input", "0"}, {"type", "0"}, {"tx", "1"},
                       {"remote", "127.9.9.9"}, {"multi", "239.9.9.9"}, {"role", "2"},
                       {"sn", "5678"}, {"ver", "2.3"}, {"sfn", "1"}, {"buf", "22"},
                       {"att", "200"}, {"sdm", "0"}, {"sdl", "77"}, {"sdt", "22"},
                       {"llo", "0"}, {"bound", "1"}};
// Low-latency decoder without SFN, detector forced external, no multicast group stored.
const Keys kDecoder2 = {{"name", "SITE B"}, {"ip", "127.0.0.8"}, {"role", "2.0"}, {"sfn", "0"},
                        {"buf", "1"}, {"att", "255"}, {"sdm", "2"}, {"llo", "1"}};
const Keys kUnknown = {{"name", "ODD"}, {"ip", "127.0.0.7"}, {"role", "3"}, {"tx", "1"},
                       {"multi", "239.7.7.7"}, {"sfn", "1"}};

QString database(const Keys &extra = {})
{
    QString ini = iniSection(sectionOf(kEncMac), kEncoder) + iniSection(sectionOf(kDecMac), kDecoder)
                  + iniSection(sectionOf(kDec2Mac), kDecoder2) + iniSection(sectionOf(kUnkMac), kUnknown);
    if (!extra.isEmpty())
        ini += iniSection(sectionOf(kBadMac), extra);
    return ini;
}

QString value(const Keys &keys, const char *key, const QString &absent = QString())
{
    for (const auto &pair : keys)
        if (pair.first == QLatin1String(key))
            return pair.second;
    return absent;
}

int indexOr(const Keys &keys, const char *key, int absent)
{
    const QString text = value(keys, key);
    return text.isNull() ? absent : text.toInt();
}

template<typename T>
T *child(frmMain &w, const QString &name)
{
    return w.findChild<T *>(name);
}

// Steps from widget to widget with Tab until `target` has the focus (bounded).
bool tabInto(QWidget *start, QWidget *target)
{
    start->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 40 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}

} // namespace

class TestEditorPanel : public QObject {
    Q_OBJECT
private slots:
    void loadsElement_data();
    void loadsElement();
    void keyLimit_data();
    void keyLimit();
    void encoderDestinationFollowsTxType_data();
    void encoderDestinationFollowsTxType();
    void silenceDetectorMode();
    void displayedValues_data();
    void displayedValues();
    void addressColour_data();
    void addressColour();
    void statisticsButton_data();
    void statisticsButton();
    void nameUpperCasedOnLeaving();
    void enteringFieldSelectsAll_data();
    void enteringFieldSelectsAll();
    void badRecord_data();
    void badRecord();
};

void TestEditorPanel::loadsElement_data()
{
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("label9");
    QTest::addColumn<QString>("label7");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<bool>("decoderLayout");   // attenuation bar shown, source lists hidden
    QTest::addColumn<bool>("bufferEnabled");
    QTest::addColumn<QString>("latency");
    QTest::addColumn<bool>("adjust");
    QTest::addColumn<bool>("levelStart");   // toolbar button 6
    QTest::addColumn<bool>("silenceEditable");

    QTest::newRow("encoder, unicast, SFN flag ignored")
        << QString() << kEncMac << "ENCODER" << "Audio source:" << "Remote IP:" << "127.0.0.9"
        << false << false << "2.5mS" << false << true << false;
    QTest::newRow("SFN decoder, auto detect")
        << QString() << kDecMac << "DECODER" << "Audio atten:" << "Multicast IP:" << "239.9.9.9"
        << true << true << "57.5mS" << true << false << true;
    QTest::newRow("low-latency decoder, forced external, default group")
        << QString() << kDec2Mac << "DECODER" << "Audio atten:" << "Multicast IP:"
        << "239.255.255.239" << true << true << "3.75mS" << false << false << false;
    QTest::newRow("unknown on an empty panel keeps the start layout")
        << QString() << kUnkMac << "UNKNOWN" << "Audio source:" << "Remote IP:" << ""
        << false << true << "2.5mS" << false << false << true;
    QTest::newRow("unknown after a decoder keeps the decoder layout")
        << kDecMac << kUnkMac << "UNKNOWN" << "Audio atten:" << "Multicast IP:" << "239.9.9.9"
        << true << true << "57.5mS" << false << false << true;
    QTest::newRow("decoder after an encoder")
        << kEncMac << kDecMac << "DECODER" << "Audio atten:" << "Multicast IP:" << "239.9.9.9"
        << true << true << "57.5mS" << true << false << true;
}

void TestEditorPanel::loadsElement()
{
    QFETCH(QString, previous);
    QFETCH(QString, mac);
    Panel p(database());
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    if (!previous.isEmpty())
        QVERIFY(p.click(previous));
    QVERIFY(p.click(mac));
    QCOMPARE(p.boxes.count(), 0);

    const Keys keys = mac == kEncMac ? kEncoder : mac == kDecMac ? kDecoder
                                     : mac == kDec2Mac ? kDecoder2 : kUnknown;
    QCOMPARE(w.lblElementMAC->text(), mac);
    QCOMPARE(w.txtElementName->text(), value(keys, "name"));
    QCOMPARE(w.txtElementIP->text(), value(keys, "ip"));
    QCOMPARE(w.txtElementMask->text(), value(keys, "mask", ""));
    QCOMPARE(w.txtElementGW->text(), value(keys, "gw", ""));
    QCOMPARE(w.cmbAudioInput->currentIndex(), indexOr(keys, "input", -1));
    QCOMPARE(w.cmbAudioType->currentIndex(), indexOr(keys, "type", -1));
    QCOMPARE(w.cmbAudioTX->currentIndex(), indexOr(keys, "tx", -1));
    QCOMPARE(w.cmbEncoders->currentIndex(), indexOr(keys, "bound", 0));
    QCOMPARE(w.lblVersion->text(), value(keys, "ver", "2.00"));
    QCOMPARE(w.lblSerialNumber->text(), value(keys, "sn", ""));
    QCOMPARE(w.chkSFNEnabled->isChecked(), value(keys, "sfn") == QLatin1String("1"));
    QCOMPARE(w.chkLowLatency->isChecked(), value(keys, "llo") == QLatin1String("1"));
    QCOMPARE(w.LowLatencyOption, w.chkLowLatency->isChecked());

    QTEST(w.lblElementType->text(), "type");
    QTEST(w.Label9->text(), "label9");
    QTEST(w.Label7->text(), "label7");
    QTEST(w.txtRemoteIP->text(), "remote");
    QFETCH(bool, decoderLayout);
    QCOMPARE(w.scrlAtten->isHidden(), !decoderLayout);
    QCOMPARE(w.lblAttenDB->isHidden(), !decoderLayout);
    QCOMPARE(w.cmbAudioInput->isHidden(), decoderLayout);
    QCOMPARE(w.cmbAudioTX->isHidden(), decoderLayout);
    QTEST(w.scrlBuffer->isEnabled(), "bufferEnabled");
    QTEST(w.lblLatency->text(), "latency");
    QTEST(w.cmdAdjust->isEnabled(), "adjust");
    QTEST(w.toolbarButton(6)->isEnabled(), "levelStart");
    QTEST(w.scrlSilDetLevel->isEnabled(), "silenceEditable");
    QTEST(w.scrlSilDetTime->isEnabled(), "silenceEditable");
    QTEST(w.Label24->isEnabled(), "silenceEditable");
    if (mac == kDecMac) {
        QCOMPARE(w.scrlAtten->value(), 200);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-27.5 dB"));
        QCOMPARE(w.lblSilDetLevel->text(), QStringLiteral("-12dBu"));
        QCOMPARE(w.lblSilDetTime->text(), QStringLiteral("10Sec"));
    }

    // The diagnostics are at rest for every selection.
    QVERIFY(!w.toolbarButton(7)->isEnabled());
    QVERIFY(!w.chkGetVolume->isChecked());
    QCOMPARE(w.cmdPing->text(), QStringLiteral("<Click to test>"));
    QCOMPARE(buttonBackground(w.cmdPing), kPaleYellow);
    QCOMPARE(w.VUMeter->widthTwips(), 0);
    QCOMPARE(w.lblVolume->text(), QStringLiteral("-oodBFS"));
}

void TestEditorPanel::keyLimit_data()
{
    QTest::addColumn<bool>("withBound");
    QTest::newRow("21 keys load") << false;
    QTest::newRow("22 keys are corrupted") << true;
}

void TestEditorPanel::keyLimit()
{
    QFETCH(bool, withBound);
    // Every key the station writes, plus "bound", which nothing writes.
    Keys keys = {{"name", "FULL"}, {"ip", "127.0.0.30"}, {"mask", "255.0.0.0"}, {"gw", "127.0.0.1"},
                 {"input", "0"}, {"type", "0"}, {"tx", "0"}, {"remote", "127.0.0.31"},
                 {"multi", "239.0.0.1"}, {"role", "2"}, {"sn", "1"}, {"ver", "2.0"},
                 {"sfn", "0"}, {"buf", "3"}, {"att", "100"}, {"sdm", "0"}, {"sdl", "37"},
                 {"sdt", "43"}, {"llo", "0"}, {"dly", "0"}, {"srv", "0"}};
    if (withBound)
        keys.append(qMakePair(QStringLiteral("bound"), QStringLiteral("0")));
    Panel p(database(keys));
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    QVERIFY(p.click(kEncMac));
    QVERIFY(p.click(kBadMac));
    if (!withBound) {
        QCOMPARE(p.boxes.count(), 0);
        QCOMPARE(w.txtElementName->text(), QStringLiteral("FULL"));
        QCOMPARE(w.lblElementMAC->text(), kBadMac);
        return;
    }
    QCOMPARE(p.boxes.count(), 1);
    const platform::MessageSpec box = p.boxes.shown().first();
    QCOMPARE(box.text, QStringLiteral("The data stored in your computer about this element, is "
                                      "corrupted (1).\rCannot load this element info."));
    QCOMPARE(box.icon, platform::MsgIcon::Critical);
    QCOMPARE(box.buttons, platform::MsgButtons::Ok);
    QVERIFY(box.title.isEmpty());
    // The panel still shows the encoder.
    QCOMPARE(w.txtElementName->text(), QStringLiteral("STUDIO"));
    QCOMPARE(w.lblElementMAC->text(), kEncMac);
    QCOMPARE(w.lblElementType->text(), QStringLiteral("ENCODER"));
    QVERIFY(!w.toolbarButton(6)->isEnabled());
}

void TestEditorPanel::encoderDestinationFollowsTxType_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("multicastLabel");
    QTest::addColumn<QString>("multicastText");
    QTest::addColumn<QString>("unicastLabel");
    QTest::addColumn<QString>("unicastText");
    QTest::newRow("encoder with both stored") << kEncMac << "Multicast IP:" << "239.1.2.3"
                                              << "Remote IP:" << "127.0.0.9";
    QTest::newRow("encoder with neither stored") << kBadMac << "Multicast IP:" << "239.255.255.239"
                                                 << "Remote IP:" << "192.168.1.91";
    QTest::newRow("decoder is not touched") << kDecMac << "Multicast IP:" << "127.1.1.1"
                                            << "Multicast IP:" << "127.1.1.1";
}

void TestEditorPanel::encoderDestinationFollowsTxType()
{
    QFETCH(QString, mac);
    Panel p(database({{"name", "BARE"}, {"role", "1"}, {"tx", "0"}}));
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    const Keys before = sectionContents(sectionOf(mac), p.env.iniPath());
    QVERIFY(p.click(mac));
    w.cmbAudioTX->setCurrentIndex(0);   // every row starts from "Unicast"
    // What the operator typed for one mode is not carried to the other.
    w.txtRemoteIP->setFocus();
    QTest::keyClicks(w.txtRemoteIP, QStringLiteral("127.1.1.1"));

    w.cmbAudioTX->setFocus();
    QTest::keyClick(w.cmbAudioTX, Qt::Key_Down);
    QCOMPARE(w.cmbAudioTX->currentIndex(), 1);
    QTEST(w.Label7->text(), "multicastLabel");
    QTEST(w.txtRemoteIP->text(), "multicastText");
    QTest::keyClick(w.cmbAudioTX, Qt::Key_Up);
    QCOMPARE(w.cmbAudioTX->currentIndex(), 0);
    QTEST(w.Label7->text(), "unicastLabel");
    QTEST(w.txtRemoteIP->text(), "unicastText");
    // Switching shows the record; it never writes it.
    QCOMPARE(sectionContents(sectionOf(mac), p.env.iniPath()), before);
}

void TestEditorPanel::silenceDetectorMode()
{
    Panel p(database());
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    const QList<QWidget *> detector = {w.scrlSilDetLevel, w.scrlSilDetTime, w.lblSilDetLevel,
                                       w.lblSilDetTime, w.Label24, w.Label26};
    auto enabled = [&] {
        return std::count_if(detector.begin(), detector.end(), [](QWidget *c) { return c->isEnabled(); });
    };
    QVERIFY(p.click(kDecMac));
    w.cmbSilDetMode->setFocus();
    QTest::keyClick(w.cmbSilDetMode, Qt::Key_End);
    QCOMPARE(w.cmbSilDetMode->currentText(), QStringLiteral("Force external"));
    QCOMPARE(enabled(), 0);
    QTest::keyClick(w.cmbSilDetMode, Qt::Key_Home);
    QCOMPARE(enabled(), 6);
    // In the encoder layout the detector stays off whatever the list shows.
    QVERIFY(p.click(kEncMac));
    w.cmbSilDetMode->setCurrentIndex(1);
    w.cmbSilDetMode->setCurrentIndex(0);
    QCOMPARE(enabled(), 0);
}

void TestEditorPanel::displayedValues_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<bool>("gpsdo");
    QTest::addColumn<bool>("toggleLowLatency");   // the operator toggles the box once
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("expected");

    // kDecoder2 has the low-latency box checked, kDecoder SFN on.
    const QString buf = QStringLiteral("scrlBuffer"), lat = QStringLiteral("lblLatency");
    QTest::newRow("buffer 22") << kDec2Mac << false << true << buf << 22 << lat << "60mS";
    QTest::newRow("buffer 0") << kDec2Mac << false << true << buf << 0 << lat << "5mS";
    QTest::newRow("buffer 22 SFN") << kDecMac << false << false << buf << 22 << lat << "57.5mS";
    QTest::newRow("buffer 0 SFN") << kDecMac << false << false << buf << 0 << lat << "2.5mS";
    QTest::newRow("buffer 22 low latency") << kDecMac << false << true << buf << 22 << lat << "30mS";
    QTest::newRow("buffer 0 low latency") << kDecMac << false << true << buf << 0 << lat << "2.5mS";
    QTest::newRow("buffer 1 low latency") << kDec2Mac << false << false << buf << 1 << lat << "3.75mS";
    QTest::newRow("buffer 23 GPSDO") << kDec2Mac << true << true << buf << 23 << lat << "60mS";
    QTest::newRow("buffer 0 GPSDO") << kDec2Mac << true << true << buf << 0 << lat << "2.5mS";

    const QString lvl = QStringLiteral("scrlSilDetLevel"), lvlL = QStringLiteral("lblSilDetLevel");
    QTest::newRow("level 1") << kDecMac << false << false << lvl << 1 << lvlL << "-49.8dBu";
    QTest::newRow("level 77") << kDecMac << false << false << lvl << 77 << lvlL << "-12dBu";
    QTest::newRow("level 154") << kDecMac << false << false << lvl << 154 << lvlL << "-6dBu";
    const QString tim = QStringLiteral("scrlSilDetTime"), timL = QStringLiteral("lblSilDetTime");
    QTest::newRow("time 1") << kDecMac << false << false << tim << 1 << timL << "0.5Sec";
    QTest::newRow("time 22") << kDecMac << false << false << tim << 22 << timL << "10Sec";
    QTest::newRow("time 220") << kDecMac << false << false << tim << 220 << timL << "100.1Sec";
    const QString att = QStringLiteral("scrlAtten"), attL = QStringLiteral("lblAttenDB");
    QTest::newRow("atten 255") << kDecMac << false << false << att << 255 << attL << "0 dB";
    QTest::newRow("atten 254") << kDecMac << false << false << att << 254 << attL << "-0.5 dB";
    QTest::newRow("atten 15") << kDecMac << false << false << att << 15 << attL << "-120 dB";
    QTest::newRow("atten 14") << kDecMac << false << false << att << 14 << attL << "Mute";
}

void TestEditorPanel::displayedValues()
{
    QFETCH(QString, mac);
    QFETCH(bool, gpsdo);
    QFETCH(bool, toggleLowLatency);
    QFETCH(QString, bar);
    QFETCH(int, position);
    QFETCH(QString, label);
    Panel p(database(), gpsdo);
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    QVERIFY(p.click(mac));
    if (toggleLowLatency) {
        w.chkLowLatency->setFocus();
        QTest::keyClick(w.chkLowLatency, Qt::Key_Space);
    }
    QScrollBar *scroll = child<QScrollBar>(w, bar);
    QVERIFY(scroll);
    scroll->setValue(position);
    QCOMPARE(scroll->value(), position);
    QTEST(child<QLabel>(w, label)->text(), "expected");
    QCOMPARE(p.boxes.count(), 0);   // a bar moved by the program sends nothing
}

void TestEditorPanel::addressColour_data()
{
    QTest::addColumn<QString>("field");
    for (const char *name : {"txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestEditorPanel::addressColour()
{
    QFETCH(QString, field);
    Panel p(database());
    QVERIFY(p.exposed);
    QLineEdit *edit = child<QLineEdit>(*p.w, field);
    QVERIFY(edit);
    edit->setFocus();
    const QString address = QStringLiteral("192.168.1.2");
    for (int i = 0; i < address.size(); ++i) {
        QTest::keyClick(edit, address.at(i).toLatin1());
        const bool complete = i == address.size() - 1;
        QVERIFY2(fieldColour(edit) == (complete ? standardFieldColour(edit) : kLightRed),
                 qPrintable(edit->text()));
    }
    QTest::keyClick(edit, '.');
    QCOMPARE(fieldColour(edit), kLightRed);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString());
    QCOMPARE(fieldColour(edit), standardFieldColour(edit));
    QTest::keyClicks(edit, QStringLiteral("192.168.1.256"));
    QCOMPARE(fieldColour(edit), kLightRed);
    // Filling the field from a record checks it the same way.
    edit->setText(QStringLiteral("127.0.0.1"));
    QCOMPARE(fieldColour(edit), standardFieldColour(edit));
}

void TestEditorPanel::statisticsButton_data()
{
    QTest::addColumn<QString>("mac");      // empty: no element selected
    QTest::addColumn<QString>("typed");    // null: no typing; empty: the field is emptied
    QTest::addColumn<bool>("refresh");     // toolbar "Refresh list" afterwards
    QTest::addColumn<bool>("enabled");

    QTest::newRow("nothing selected, valid address typed") << "" << "127.0.0.1" << false << false;
    QTest::newRow("element with a valid address") << kEncMac << QString() << false << true;
    QTest::newRow("element, address made invalid") << kEncMac << "127.0.0." << false << false;
    QTest::newRow("element, new valid address") << kEncMac << "127.0.0.77" << false << true;
    QTest::newRow("element, address emptied") << kEncMac << "" << false << false;
    QTest::newRow("element stored with a broken address") << kBadMac << QString() << false << false;
    QTest::newRow("broken address repaired") << kBadMac << "127.0.0.40" << false << true;
    QTest::newRow("panel cleared by refresh") << kEncMac << QString() << true << false;
}

void TestEditorPanel::statisticsButton()
{
    QFETCH(QString, mac);
    QFETCH(QString, typed);
    QFETCH(bool, refresh);
    Panel p(database({{"name", "BROKEN"}, {"ip", "127.0.0"}, {"role", "2"}}));
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    if (!mac.isEmpty())
        QVERIFY(p.click(mac));
    if (!typed.isNull()) {
        w.txtElementIP->setFocus();
        QTest::keyClick(w.txtElementIP, Qt::Key_A, Qt::ControlModifier);
        if (typed.isEmpty())
            QTest::keyClick(w.txtElementIP, Qt::Key_Backspace);
        else
            QTest::keyClicks(w.txtElementIP, typed);
        QCOMPARE(w.txtElementIP->text(), typed);
    }
    if (refresh) {
        w.toolbarButton(2)->trigger();
        QCOMPARE(w.lblElementMAC->text(), QStringLiteral("-"));
        QCOMPARE(w.lblElementType->text(), QStringLiteral("-"));
        QCOMPARE(w.cmdPing->text(), QStringLiteral("<Unknown>"));
        QCOMPARE(w.lblLatency->text(), QStringLiteral("-mS"));
        QCOMPARE(w.txtElementIP->text(), QString());
        QCOMPARE(w.cmbAudioInput->currentIndex(), -1);
        QCOMPARE(w.cmbAudioType->currentIndex(), -1);
        QCOMPARE(w.cmbAudioTX->currentIndex(), -1);
    }
    QTEST(w.cmdGetStats->isEnabled(), "enabled");
}

void TestEditorPanel::nameUpperCasedOnLeaving()
{
    Panel p(database());
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    QVERIFY(p.click(kEncMac));
    w.txtElementName->setFocus();
    QTest::keyClicks(w.txtElementName, QStringLiteral("studio a"));
    QCOMPARE(w.txtElementName->text(), QStringLiteral("studio a"));
    QTest::keyClick(w.txtElementName, Qt::Key_Tab);
    QVERIFY(!w.txtElementName->hasFocus());
    QCOMPARE(w.txtElementName->text(), QStringLiteral("STUDIO A"));
}

void TestEditorPanel::enteringFieldSelectsAll_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("byMouse");
    for (const char *name : {"txtElementName", "txtElementIP", "txtElementMask", "txtElementGW",
                             "txtRemoteIP"}) {
        QTest::addRow("%s by tab", name) << QString::fromLatin1(name) << false;
        QTest::addRow("%s by click", name) << QString::fromLatin1(name) << true;
    }
}

void TestEditorPanel::enteringFieldSelectsAll()
{
    QFETCH(QString, field);
    QFETCH(bool, byMouse);
    Panel p(database());
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    QVERIFY(p.click(kEncMac));
    QLineEdit *edit = child<QLineEdit>(w, field);
    QVERIFY(edit && !edit->text().isEmpty());
    const QString before = edit->text();
    if (byMouse) {
        QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
        QTRY_COMPARE(edit->selectedText(), before);
    } else {
        QVERIFY(tabInto(w.TreeView1, edit));
        QCOMPARE(edit->selectedText(), before);
    }
    QTest::qWait(0);   // nothing left to run that could change the selection
    QTest::keyClick(edit, '9');
    QCOMPARE(edit->text(), QStringLiteral("9"));
}

void TestEditorPanel::badRecord_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QList<int>>("lists");   // input, type, tx, bound, sdm
    QTest::addColumn<QList<int>>("bars");    // att, buf, sdl, sdt, sfn, llo
    QTest::addColumn<QString>("attStored");  // null: the record is left as it was

    const char *all[] = {"name", "ip", "mask", "gw", "input", "type", "tx", "ver", "bound",
                         "remote", "multi", "att", "buf", "sdl", "sdt", "sdm", "sn", "sfn", "llo"};
    auto every = [&](const QString &text) {
        Keys keys = {{"role", "2"}};
        for (const char *key : all)
            keys.append(qMakePair(QString::fromLatin1(key), text));
        return keys;
    };
    const QString huge = QStringLiteral("99999999999999999999");

    QTest::newRow("every key missing") << Keys{{"role", "2"}} << "DECODER"
                                       << QList<int>{-1, -1, -1, 0, 0}
                                       << QList<int>{14, 1, 37, 43, 0, 0} << "14";
    QTest::newRow("every key empty") << every("") << "DECODER" << QList<int>{-1, -1, -1, -1, -1}
                                     << QList<int>{14, 0, 1, 1, 0, 0} << "14";
    QTest::newRow("every key not a number") << every("x") << "DECODER"
                                            << QList<int>{-1, -1, -1, -1, -1}
                                            << QList<int>{14, 0, 1, 1, 0, 0} << "14";
    QTest::newRow("20-digit numbers") << every(huge) << "DECODER" << QList<int>{-1, -1, -1, -1, -1}
                                      << QList<int>{255, 22, 154, 220, 1, 1} << QString();
    QTest::newRow("20-digit negatives") << every(QLatin1Char('-') + huge) << "DECODER"
                                        << QList<int>{-1, -1, -1, -1, -1}
                                        << QList<int>{14, 0, 1, 1, 0, 0} << "14";
    QTest::newRow("one past each end")
        << Keys{{"role", "2"}, {"input", "2"}, {"type", "-1"}, {"tx", "2"}, {"bound", "2"},
                {"sdm", "3"}, {"att", "256"}, {"buf", "23"}, {"sdl", "155"}, {"sdt", "221"},
                {"sfn", "2"}, {"llo", "-1"}}
        << "DECODER" << QList<int>{-1, -1, -1, -1, -1} << QList<int>{255, 22, 154, 220, 1, 0}
        << QString();
    QTest::newRow("one below each start")
        << Keys{{"role", "2"}, {"att", "13"}, {"buf", "-1"}, {"sdl", "0"}, {"sdt", "0"}}
        << "DECODER" << QList<int>{-1, -1, -1, 0, 0} << QList<int>{14, 0, 1, 1, 0, 0} << "14";
    QTest::newRow("at each end")
        << Keys{{"role", "2"}, {"input", "1"}, {"type", "0"}, {"tx", "1"}, {"bound", "1"},
                {"sdm", "2"}, {"att", "14"}, {"buf", "22"}, {"sdl", "1"}, {"sdt", "220"},
                {"sfn", "1"}, {"llo", "0"}}
        << "DECODER" << QList<int>{1, 0, 1, 1, 2} << QList<int>{14, 22, 1, 220, 1, 0} << QString();
    QTest::newRow("attenuation with trailing text")
        << Keys{{"role", "2"}, {"att", "12abc"}} << "DECODER" << QList<int>{-1, -1, -1, 0, 0}
        << QList<int>{14, 1, 37, 43, 0, 0} << "14";
    // Not a decoder: nothing of the decoder's is read, nothing written.
    QTest::newRow("role not a number") << [&] { Keys k = every("x"); k[0].second = "x"; return k; }()
                                       << "UNKNOWN" << QList<int>{-1, -1, -1, -1, -1}
                                       << QList<int>{255, 0, 1, 1, 0, 0} << QString();
}

void TestEditorPanel::badRecord()
{
    QFETCH(Keys, keys);
    QFETCH(QList<int>, lists);
    QFETCH(QList<int>, bars);
    QFETCH(QString, attStored);
    Panel p(database(keys));
    QVERIFY(p.exposed);
    frmMain &w = *p.w;
    const QString section = sectionOf(kBadMac);
    Keys expected = sectionContents(section, p.env.iniPath());
    QVERIFY(p.click(kBadMac));

    QCOMPARE(p.boxes.count(), 0);
    QCOMPARE(p.env.endProgramCalls(), 0);
    QCOMPARE(w.lblElementMAC->text(), kBadMac);
    QTEST(w.lblElementType->text(), "type");
    QCOMPARE((QList<int>{w.cmbAudioInput->currentIndex(), w.cmbAudioType->currentIndex(),
                         w.cmbAudioTX->currentIndex(), w.cmbEncoders->currentIndex(),
                         w.cmbSilDetMode->currentIndex()}),
             lists);
    QCOMPARE((QList<int>{w.scrlAtten->value(), w.scrlBuffer->value(), w.scrlSilDetLevel->value(),
                         w.scrlSilDetTime->value(), int(w.chkSFNEnabled->isChecked()),
                         int(w.chkLowLatency->isChecked())}),
             bars);

    // Only the attenuation is ever written back, and only when it was below range.
    if (!attStored.isNull()) {
        auto it = std::find_if(expected.begin(), expected.end(),
                               [](const auto &pair) { return pair.first == QLatin1String("ATT"); });
        if (it != expected.end())
            it->second = attStored;
        else
            expected.append(qMakePair(QStringLiteral("ATT"), attStored));
    }
    QCOMPARE(sectionContents(section, p.env.iniPath()), expected);
}

QTEST_MAIN(TestEditorPanel)
#include "tst_editorpanel.moc"
