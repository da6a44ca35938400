// The properties panel as the operator uses it: clicking elements of a real nms.ini,
// switching lists, moving bars, typing into fields.
#include <QtWidgets>

#include "PanelFixture.h"

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
    std::unique_ptr<Panel> m_p;

    // A shown panel over `ini` with the given elements clicked in turn; false if a step failed.
    bool open(const QString &ini, const QStringList &clicks = {}, bool gpsdo = false)
    {
        m_p = std::make_unique<Panel>(ini, gpsdo);
        bool ok = m_p->exposed;
        for (const QString &mac : clicks)
            ok = ok && m_p->click(mac);
        return ok;
    }

private slots:
    void cleanup() { m_p.reset(); }

    void loadsElement_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("decoderLayout");   // attenuation bar shown, source lists hidden
        QTest::addColumn<QString>("remote");
        QTest::addColumn<bool>("bufferEnabled");
        QTest::addColumn<QString>("latency");
        QTest::addColumn<bool>("adjust");
        QTest::addColumn<bool>("levelStart");   // toolbar button 6
        QTest::addColumn<bool>("silenceEditable");
        QTest::newRow("encoder, unicast, SFN flag ignored")
            << QStringList{kEncMac} << "ENCODER" << false << "127.0.0.9" << false << "2.5mS" << false << true
            << false;
        QTest::newRow("SFN decoder, auto detect") << QStringList{kDecMac} << "DECODER" << true << "239.9.9.9"
                                                  << true << "57.5mS" << true << false << true;
        QTest::newRow("low-latency decoder, forced external, default group")
            << QStringList{kDec2Mac} << "DECODER" << true << "239.255.255.239" << true << "3.75mS" << false
            << false << false;
        QTest::newRow("unknown on an empty panel keeps the start layout")
            << QStringList{kUnkMac} << "UNKNOWN" << false << "" << true << "2.5mS" << false << false << true;
        QTest::newRow("unknown after a decoder keeps the decoder layout")
            << QStringList{kDecMac, kUnkMac} << "UNKNOWN" << true << "239.9.9.9" << true << "57.5mS" << false
            << false << true;
        QTest::newRow("decoder after an encoder") << QStringList{kEncMac, kDecMac} << "DECODER" << true
                                                  << "239.9.9.9" << true << "57.5mS" << true << false << true;
    }
    void loadsElement()
    {
        QFETCH(QStringList, clicks);
        QFETCH(bool, decoderLayout);
        QVERIFY(open(database(), clicks));
        frmMain &w = *m_p->w;
        QCOMPARE(m_p->boxes.count(), 0);

        const QString mac = clicks.last();
        const Keys keys = mac == kEncMac ? kEncoder : mac == kDecMac ? kDecoder
                                         : mac == kDec2Mac ? kDecoder2 : kUnknown;
        QCOMPARE(w.lblElementMAC->text(), mac);
        QCOMPARE((QStringList{w.txtElementName->text(), w.txtElementIP->text(), w.txtElementMask->text(),
                              w.txtElementGW->text(), w.lblVersion->text(), w.lblSerialNumber->text()}),
                 (QStringList{value(keys, "name"), value(keys, "ip"), value(keys, "mask", ""),
                              value(keys, "gw", ""), value(keys, "ver", "2.00"), value(keys, "sn", "")}));
        QCOMPARE((QList<int>{w.cmbAudioInput->currentIndex(), w.cmbAudioType->currentIndex(),
                             w.cmbAudioTX->currentIndex(), w.cmbEncoders->currentIndex()}),
                 (QList<int>{value(keys, "input", "-1").toInt(), value(keys, "type", "-1").toInt(),
                             value(keys, "tx", "-1").toInt(), value(keys, "bound", "0").toInt()}));
        QCOMPARE(w.chkSFNEnabled->isChecked(), value(keys, "sfn") == QLatin1String("1"));
        QCOMPARE(w.chkLowLatency->isChecked(), value(keys, "llo") == QLatin1String("1"));
        QCOMPARE(w.LowLatencyOption, w.chkLowLatency->isChecked());

        QTEST(w.lblElementType->text(), "type");
        QCOMPARE(w.Label9->text() + ' ' + w.Label7->text(),
                 QString(decoderLayout ? "Audio atten: Multicast IP:" : "Audio source: Remote IP:"));
        QTEST(w.txtRemoteIP->text(), "remote");
        QCOMPARE((QList<bool>{w.scrlAtten->isHidden(), w.lblAttenDB->isHidden(), w.cmbAudioInput->isHidden(),
                              w.cmbAudioTX->isHidden()}),
                 (QList<bool>{!decoderLayout, !decoderLayout, decoderLayout, decoderLayout}));
        QTEST(w.scrlBuffer->isEnabled(), "bufferEnabled");
        QTEST(w.lblLatency->text(), "latency");
        QTEST(w.cmdAdjust->isEnabled(), "adjust");
        QTEST(w.toolbarButton(6)->isEnabled(), "levelStart");
        QFETCH(bool, silenceEditable);
        QCOMPARE((QList<bool>{w.scrlSilDetLevel->isEnabled(), w.scrlSilDetTime->isEnabled(),
                              w.Label24->isEnabled()}),
                 QList<bool>(3, silenceEditable));
    }

    // 21 keys is every key the station writes; a 22nd ("bound", which nothing writes) marks
    // the record as corrupted and the panel keeps the element shown before.
    void keyLimit_data()
    {
        QTest::addColumn<bool>("withBound");
        QTest::newRow("21 keys load") << false;
        QTest::newRow("22 keys are corrupted") << true;
    }
    void keyLimit()
    {
        QFETCH(bool, withBound);
        Keys keys = kDecoder.mid(0, 19) + Keys{{"dly", "0"}, {"srv", "0"}};
        keys[0].second = QStringLiteral("FULL");
        if (withBound)
            keys.append(kDecoder.last());
        QVERIFY(open(database(keys), {kEncMac, kBadMac}));
        frmMain &w = *m_p->w;
        QCOMPARE(m_p->boxes.texts(), withBound ? QStringList{"The data stored in your computer about this "
                                                             "element, is corrupted (1).\rCannot load this "
                                                             "element info."}
                                               : QStringList());
        QCOMPARE(w.txtElementName->text(), withBound ? QStringLiteral("STUDIO") : QStringLiteral("FULL"));
        QCOMPARE(w.lblElementMAC->text(), withBound ? kEncMac : kBadMac);
        if (withBound) {
            QCOMPARE(m_p->boxes.shown().first().icon, platform::MsgIcon::Critical);
            QCOMPARE(w.lblElementType->text(), QStringLiteral("ENCODER"));
            QVERIFY(!w.toolbarButton(6)->isEnabled());
        }
    }

    // The destination field follows "Unicast"/"Multicast" for an encoder only; what the
    // operator typed for one mode is not carried to the other, and nothing is written.
    void encoderDestinationFollowsTxType_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("multicastText");
        QTest::addColumn<QString>("unicastLabel");
        QTest::addColumn<QString>("unicastText");
        QTest::newRow("encoder with both stored") << kEncMac << "239.1.2.3" << "Remote IP:" << "127.0.0.9";
        QTest::newRow("encoder with neither stored") << kBadMac << "239.255.255.239" << "Remote IP:"
                                                     << "192.168.1.91";
        QTest::newRow("decoder is not touched") << kDecMac << "127.1.1.1" << "Multicast IP:" << "127.1.1.1";
    }
    void encoderDestinationFollowsTxType()
    {
        QFETCH(QString, mac);
        QVERIFY(open(database({{"name", "BARE"}, {"role", "1"}, {"tx", "0"}}), {mac}));
        frmMain &w = *m_p->w;
        const Keys before = sectionContents(sectionOf(mac), m_p->env.iniPath());
        w.cmbAudioTX->setCurrentIndex(0);   // every row starts from "Unicast"
        w.txtRemoteIP->setFocus();
        QTest::keyClicks(w.txtRemoteIP, QStringLiteral("127.1.1.1"));

        w.cmbAudioTX->setFocus();
        QTest::keyClick(w.cmbAudioTX, Qt::Key_Down);
        QCOMPARE(w.cmbAudioTX->currentIndex(), 1);
        QCOMPARE(w.Label7->text(), QStringLiteral("Multicast IP:"));
        QTEST(w.txtRemoteIP->text(), "multicastText");
        QTest::keyClick(w.cmbAudioTX, Qt::Key_Up);
        QCOMPARE(w.cmbAudioTX->currentIndex(), 0);
        QTEST(w.Label7->text(), "unicastLabel");
        QTEST(w.txtRemoteIP->text(), "unicastText");
        QCOMPARE(sectionContents(sectionOf(mac), m_p->env.iniPath()), before);
    }

    void silenceDetectorMode()
    {
        QVERIFY(open(database(), {kDecMac}));
        frmMain &w = *m_p->w;
        const QList<QWidget *> detector = {w.scrlSilDetLevel, w.scrlSilDetTime, w.lblSilDetLevel,
                                           w.lblSilDetTime, w.Label24, w.Label26};
        auto enabled = [&] { return int(std::count_if(detector.begin(), detector.end(),
                                                      [](QWidget *c) { return c->isEnabled(); })); };
        w.cmbSilDetMode->setFocus();
        QTest::keyClick(w.cmbSilDetMode, Qt::Key_End);   // "Force external"
        QCOMPARE(enabled(), 0);
        QTest::keyClick(w.cmbSilDetMode, Qt::Key_Home);
        QCOMPARE(enabled(), 6);
        QVERIFY(m_p->click(kEncMac));   // the encoder layout keeps it off whatever the list shows
        w.cmbSilDetMode->setCurrentIndex(1);
        w.cmbSilDetMode->setCurrentIndex(0);
        QCOMPARE(enabled(), 0);
    }

    // The label beside each bar at the ends of its range and at the worked examples, as
    // "position=text" steps. kDecoder2 has the low-latency box checked, kDecoder SFN on.
    void displayedValues_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<bool>("gpsdo");
        QTest::addColumn<bool>("toggleLowLatency");   // the operator toggles the box once
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QStringList>("steps");
        const QString buf = QStringLiteral("scrlBuffer");
        QTest::newRow("buffer") << kDec2Mac << false << true << buf << QStringList{"22=60mS", "0=5mS"};
        QTest::newRow("SFN") << kDecMac << false << false << buf << QStringList{"22=57.5mS", "0=2.5mS"};
        QTest::newRow("low latency") << kDecMac << false << true << buf << QStringList{"22=30mS", "0=2.5mS"};
        QTest::newRow("low latency stored") << kDec2Mac << false << false << buf << QStringList{"1=3.75mS"};
        QTest::newRow("GPSDO") << kDec2Mac << true << true << buf << QStringList{"23=60mS", "0=2.5mS"};
        QTest::newRow("level") << kDecMac << false << false << "scrlSilDetLevel"
                               << QStringList{"1=-49.8dBu", "77=-12dBu", "154=-6dBu"};
        QTest::newRow("time") << kDecMac << false << false << "scrlSilDetTime"
                              << QStringList{"1=0.5Sec", "22=10Sec", "220=100.1Sec"};
        QTest::newRow("attenuation") << kDecMac << false << false << "scrlAtten"
                                     << QStringList{"255=0 dB", "254=-0.5 dB", "15=-120 dB", "14=Mute"};
    }
    void displayedValues()
    {
        QFETCH(QString, mac);
        QFETCH(bool, gpsdo);
        QFETCH(QString, bar);
        QFETCH(QStringList, steps);
        QVERIFY(open(database(), {mac}, gpsdo));
        frmMain &w = *m_p->w;
        QFETCH(bool, toggleLowLatency);
        if (toggleLowLatency) {
            w.chkLowLatency->setFocus();
            QTest::keyClick(w.chkLowLatency, Qt::Key_Space);
        }
        const QHash<QString, QLabel *> labels = {{"scrlBuffer", w.lblLatency},
                                                 {"scrlSilDetLevel", w.lblSilDetLevel},
                                                 {"scrlSilDetTime", w.lblSilDetTime},
                                                 {"scrlAtten", w.lblAttenDB}};
        QScrollBar *scroll = w.findChild<QScrollBar *>(bar);
        for (const QString &step : steps) {
            scroll->setValue(step.section('=', 0, 0).toInt());
            QCOMPARE(QString::number(scroll->value()) + '=' + labels.value(bar)->text(), step);
        }
        QCOMPARE(m_p->boxes.count(), 0);   // a bar moved by the program sends nothing
    }

    // Each character typed: light red until the address is complete and valid.
    void addressColour_data()
    {
        QTest::addColumn<QString>("field");
        for (const char *name : {"txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void addressColour()
    {
        QFETCH(QString, field);
        QVERIFY(open(database()));
        QLineEdit *edit = m_p->w->findChild<QLineEdit *>(field);
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
        QCOMPARE(fieldColour(edit), standardFieldColour(edit));   // empty is not an error
        QTest::keyClicks(edit, QStringLiteral("192.168.1.256"));
        QCOMPARE(fieldColour(edit), kLightRed);
        edit->setText(QStringLiteral("127.0.0.1"));   // filled from a record: checked the same way
        QCOMPARE(fieldColour(edit), standardFieldColour(edit));
    }

    // Statistics can be asked for only with an element selected and a valid address in the
    // field, re-checked as the address is typed.
    void statisticsButton_data()
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
    void statisticsButton()
    {
        QFETCH(QString, mac);
        QFETCH(QString, typed);
        QFETCH(bool, refresh);
        QVERIFY(open(database({{"name", "BROKEN"}, {"ip", "127.0.0"}, {"role", "2"}}),
                     mac.isEmpty() ? QStringList() : QStringList{mac}));
        frmMain &w = *m_p->w;
        if (!typed.isNull()) {
            w.txtElementIP->setFocus();
            QTest::keyClick(w.txtElementIP, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(w.txtElementIP, Qt::Key_Backspace);
            QTest::keyClicks(w.txtElementIP, typed);
            QCOMPARE(w.txtElementIP->text(), typed);
        }
        if (refresh) {
            w.toolbarButton(2)->trigger();
            QCOMPARE(w.lblElementMAC->text(), QStringLiteral("-"));
            QCOMPARE(w.txtElementIP->text(), QString());
        }
        QTEST(w.cmdGetStats->isEnabled(), "enabled");
    }

    // Entering a field by Tab or by mouse selects its text, so typing replaces it; the name
    // is upper-cased on leaving its field.
    void enteringFieldSelectsAll_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("byMouse");
        for (const char *name : {"txtElementName", "txtElementIP", "txtElementMask", "txtElementGW",
                                 "txtRemoteIP"}) {
            QTest::addRow("%s by tab", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s by click", name) << QString::fromLatin1(name) << true;
        }
    }
    void enteringFieldSelectsAll()
    {
        QFETCH(QString, field);
        QFETCH(bool, byMouse);
        QVERIFY(open(database(), {kEncMac}));
        QLineEdit *edit = m_p->w->findChild<QLineEdit *>(field);
        const QString before = edit->text();
        QVERIFY(!before.isEmpty());
        if (byMouse)
            QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
        else
            QVERIFY(tabInto(m_p->w->TreeView1, edit));
        QTRY_COMPARE(edit->selectedText(), before);
        QTest::qWait(0);   // nothing left to run that could change the selection
        QTest::keyClicks(edit, QStringLiteral("a b"));
        QCOMPARE(edit->text(), QStringLiteral("a b"));
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(edit->text(), edit == m_p->w->txtElementName ? QStringLiteral("A B") : QStringLiteral("a b"));
    }

    // Stored numbers that are missing, empty, not numbers, too long for any integer or out
    // of range load without a message or an end; lists stay unselected, bars take an end.
    void badRecord_data()
    {
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QList<int>>("controls");   // lists input, type, tx, bound, sdm; bars att,
                                                    // buf, sdl, sdt; boxes sfn, llo
        QTest::addColumn<QString>("attStored");     // null: the record is left as it was
        auto every = [](const QString &text, const QString &role = QStringLiteral("2")) {
            Keys keys = {{"role", role}};
            for (const char *key : {"name", "ip", "mask", "gw", "input", "type", "tx", "ver", "bound", "remote",
                                    "multi", "att", "buf", "sdl", "sdt", "sdm", "sn", "sfn", "llo"})
                keys.append({QString::fromLatin1(key), text});
            return keys;
        };
        const QString huge = QStringLiteral("99999999999999999999");
        const QList<int> unset = {-1, -1, -1, -1, -1}, defaults = {-1, -1, -1, 0, 0};
        const QList<int> lowest = {14, 0, 1, 1, 0, 0}, start = {14, 1, 37, 43, 0, 0};
        QTest::newRow("every key missing") << Keys{{"role", "2"}} << "DECODER" << defaults + start << "14";
        QTest::newRow("every key empty") << every("") << "DECODER" << unset + lowest << "14";
        QTest::newRow("every key not a number") << every("x") << "DECODER" << unset + lowest << "14";
        QTest::newRow("20-digit numbers") << every(huge) << "DECODER"
                                          << unset + QList<int>{255, 22, 154, 220, 1, 1} << QString();
        QTest::newRow("20-digit negatives") << every("-" + huge) << "DECODER" << unset + lowest << "14";
        QTest::newRow("one past each end")
            << Keys{{"role", "2"}, {"input", "2"}, {"type", "-1"}, {"tx", "2"}, {"bound", "2"},
                    {"sdm", "3"}, {"att", "256"}, {"buf", "23"}, {"sdl", "155"}, {"sdt", "221"},
                    {"sfn", "2"}, {"llo", "-1"}}
            << "DECODER" << unset + QList<int>{255, 22, 154, 220, 1, 0} << QString();
        QTest::newRow("one below each start")
            << Keys{{"role", "2"}, {"att", "13"}, {"buf", "-1"}, {"sdl", "0"}, {"sdt", "0"}}
            << "DECODER" << defaults + lowest << "14";
        QTest::newRow("at each end")
            << Keys{{"role", "2"}, {"input", "1"}, {"type", "0"}, {"tx", "1"}, {"bound", "1"},
                    {"sdm", "2"}, {"att", "14"}, {"buf", "22"}, {"sdl", "1"}, {"sdt", "220"},
                    {"sfn", "1"}, {"llo", "0"}}
            << "DECODER" << QList<int>{1, 0, 1, 1, 2, 14, 22, 1, 220, 1, 0} << QString();
        QTest::newRow("attenuation with trailing text")
            << Keys{{"role", "2"}, {"att", "12abc"}} << "DECODER" << defaults + start << "14";
        // Not a decoder: nothing of the decoder's is read, nothing written.
        QTest::newRow("role not a number") << every("x", "x") << "UNKNOWN"
                                           << unset + QList<int>{255, 0, 1, 1, 0, 0} << QString();
    }
    void badRecord()
    {
        QFETCH(Keys, keys);
        QFETCH(QString, attStored);
        const QString section = sectionOf(kBadMac);
        m_p = std::make_unique<Panel>(database(keys));
        const QString path = m_p->env.iniPath();
        auto withoutAtt = [&] {
            Keys k = sectionContents(section, path);
            k.removeIf([](const auto &pair) { return pair.first == QLatin1String("ATT"); });
            return k;
        };
        const Keys before = withoutAtt();
        const QString attBefore = ReadFromINI(section, QStringLiteral("att"), path);
        QVERIFY(m_p->exposed && m_p->click(kBadMac));
        frmMain &w = *m_p->w;

        QCOMPARE(m_p->boxes.count(), 0);
        QCOMPARE(m_p->env.endProgramCalls(), 0);
        QCOMPARE(w.lblElementMAC->text(), kBadMac);
        QTEST(w.lblElementType->text(), "type");
        QTEST((QList<int>{w.cmbAudioInput->currentIndex(), w.cmbAudioType->currentIndex(),
                          w.cmbAudioTX->currentIndex(), w.cmbEncoders->currentIndex(),
                          w.cmbSilDetMode->currentIndex(), w.scrlAtten->value(), w.scrlBuffer->value(),
                          w.scrlSilDetLevel->value(), w.scrlSilDetTime->value(),
                          int(w.chkSFNEnabled->isChecked()), int(w.chkLowLatency->isChecked())}),
              "controls");
        // Only the attenuation is ever written back, and only when it was below range.
        QCOMPARE(withoutAtt(), before);
        QCOMPARE(ReadFromINI(section, QStringLiteral("att"), path), attStored.isNull() ? attBefore : attStored);
    }
};

QTEST_MAIN(TestEditorPanel)
#include "tst_editorpanel.moc"
