// The properties panel over a real nms.ini: loading an element into the encoder or decoder
// layout, the fields' checks and focus, the displayed values, and the attenuation bar, of
// which only the operator's moves send (main socket -> 127.0.0.1:2977) and store "att".
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "store/IniStore.h"
#include "support/IniText.h"
#include "support/ScriptedMessageBox.h"
#include "support/TestEnvironment.h"
#include "windows/frmMain.h"

struct Panel {
    explicit Panel(const QString &ini, bool gpsdo = false)
    {
        env.writeIni(ini);
        w = std::make_unique<frmMain>(gpsdo, false);
        w->applyTitleAndBufferMaximum();
        w->Load_Config();
        w->show();
        w->activateWindow();
        // Focus events reach the fields only in the active window.
        exposed = QTest::qWaitForWindowActive(w.get());
    }

    // Clicks the tree entry of the element as the operator does. False when it is not there.
    bool click(const QString &mac)
    {
        QTreeWidget *tree = w->TreeView1;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = tree->topLevelItem(i);
            if (item->data(0, Qt::UserRole).toString() != mac)
                continue;
            tree->scrollToItem(item);
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
            return true;
        }
        return false;
    }

    TestEnvironment env;
    ScriptedMessageBox boxes;
    std::unique_ptr<frmMain> w;
    bool exposed = false;
};

namespace {

const QString kEncMac = "00:11:22:33:44:AA", kDecMac = "00:11:22:33:44:BB", kDec2Mac = "00:11:22:33:44:CC",
              kUnkMac = "00:11:22:33:44:DD", kBadMac = "00:11:22:33:44:EE";

QString sectionOf(QString mac) { return mac.remove(':'); }

const Keys kEncoder = {{"name", "STUDIO"}, {"ip", "127.0.0.1"}, {"mask", "255.255.255.0"}, {"gw", "127.0.0.1"},
                       {"input", "1"}, {"type", "1"}, {"tx", "0"}, {"remote", "127.0.0.9"}, {"multi", "239.1.2.3"},
                       {"role", "1"}, {"sn", "1234"}, {"ver", "2.1"}, {"sfn", "1"}, {"buf", "5"}, {"llo", "0"}};
// SFN decoder bound to the encoder. The attenuation tests' element listens at 127.0.0.1.
const Keys kDecoder = {{"name", "TX SITE"}, {"ip", "127.0.0.1"}, {"mask", "255.255.0.0"}, {"gw", "127.0.0.2"},
                       {"input", "0"}, {"type", "0"}, {"tx", "1"}, {"remote", "127.9.9.9"}, {"multi", "239.9.9.9"},
                       {"role", "2"}, {"sn", "5678"}, {"ver", "2.3"}, {"sfn", "1"}, {"buf", "22"}, {"att", "200"},
                       {"sdm", "0"}, {"sdl", "77"}, {"sdt", "22"}, {"llo", "0"}, {"bound", "1"}};
// Low-latency decoder without SFN, detector forced external, no multicast group stored.
const Keys kDecoder2 = {{"name", "SITE B"}, {"ip", "127.0.0.1"}, {"role", "2.0"}, {"sfn", "0"}, {"buf", "1"},
                        {"att", "255"}, {"sdm", "2"}, {"llo", "1"}};
const Keys kUnknown = {{"name", "ODD"}, {"ip", "127.0.0.7"}, {"role", "3"}, {"tx", "1"}, {"multi", "239.7.7.7"},
                       {"sfn", "1"}};

QString database(const Keys &extra = {})
{
    return iniSection(sectionOf(kEncMac), kEncoder) + iniSection(sectionOf(kDecMac), kDecoder)
           + iniSection(sectionOf(kDec2Mac), kDecoder2) + iniSection(sectionOf(kUnkMac), kUnknown)
           + (extra.isEmpty() ? QString() : iniSection(sectionOf(kBadMac), extra));
}

QString value(const Keys &keys, const char *key, const QString &absent = QString())
{
    const auto it = std::find_if(keys.begin(), keys.end(), [&](const auto &pair) { return pair.first == key; });
    return it == keys.end() ? absent : it->second;
}

bool tabInto(QWidget *start, QWidget *target)
{
    start->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 40 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}

#define OPEN(ini) if (!openWithElement(ini)) QSKIP("UDP port 2976 or 127.0.0.1:2977 is already in use"); QVERIFY(m_p->exposed)

} // namespace

class TestEditorPanel : public QObject {
    Q_OBJECT
    std::unique_ptr<Panel> m_p;
    std::unique_ptr<QUdpSocket> m_element;

    bool openWithElement(const QString &ini)   // false when this machine already uses one of the ports
    {
        open(ini);
        m_element = std::make_unique<QUdpSocket>();
        return m_element->bind(QHostAddress("127.0.0.1"), 2977, QAbstractSocket::DontShareAddress)
               && m_p->w->bindMainSocket().ok();
    }

    QString storedAtt(QString mac) const { return ReadFromINI(mac.remove(':'), "att", m_p->env.iniPath()); }

    QByteArray received()
    {
        for (int i = 0; i < 100 && !m_element->hasPendingDatagrams(); ++i)
            QTest::qWait(50);
        const QNetworkDatagram d = m_element->receiveDatagram();   // invalid when nothing came
        return d.senderPort() == 2976 ? d.data() : QByteArray("nothing or wrong source port");
    }

    void press(Qt::Key key) { m_p->w->scrlAtten->setFocus(); QTest::keyClick(m_p->w->scrlAtten, key); }

    bool open(const QString &ini, const QStringList &clicks = {}, bool gpsdo = false)
    {
        m_p.reset();   // one environment at a time
        m_p = std::make_unique<Panel>(ini, gpsdo);
        return m_p->exposed && std::all_of(clicks.begin(), clicks.end(), [&](auto &mac) { return m_p->click(mac); });
    }

private slots:
    void cleanup() { m_p.reset(); m_element.reset(); }

    void loadsElement_data()
    {
        // decoderLayout: attenuation bar shown, source lists hidden; atten: its label, which
        // tells the bar's position whatever was shown before
        QTest::addColumn<QStringList>("clicks"); QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("decoderLayout"); QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("latency"); QTest::addColumn<bool>("silenceEditable");
        QTest::addColumn<QList<bool>>("enabled");   // buffer bar, Adjust, toolbar button 6 (level)
        QTest::addColumn<QString>("atten");
        using B = QList<bool>;
        QTest::newRow("encoder, unicast, SFN flag ignored") << QStringList{kEncMac} << "ENCODER" << false
            << "127.0.0.9" << "2.5mS" << false << B{false, false, true} << "0 dB";
        QTest::newRow("SFN decoder, auto detect") << QStringList{kDecMac} << "DECODER" << true << "239.9.9.9"
            << "57.5mS" << true << B{true, true, false} << "-27.5 dB";
        QTest::newRow("unknown on an empty panel keeps the start layout") << QStringList{kUnkMac} << "UNKNOWN"
            << false << "" << "2.5mS" << true << B{true, false, false} << "0 dB";
        QTest::newRow("unknown after a decoder keeps the decoder layout") << QStringList{kDecMac, kUnkMac}
            << "UNKNOWN" << true << "239.9.9.9" << "57.5mS" << true << B{true, false, false} << "-27.5 dB";
        QTest::newRow("low-latency decoder at the start position after a decoder, forced external, default group")
            << QStringList{kDecMac, kDec2Mac}
            << "DECODER" << true << "239.255.255.239" << "3.75mS" << false << B{true, false, false} << "0 dB";
    }
    void loadsElement()
    {
        QFETCH(QStringList, clicks); QFETCH(bool, decoderLayout); QFETCH(bool, silenceEditable);
        QVERIFY(open(database(), clicks));
        frmMain &w = *m_p->w;
        QCOMPARE(m_p->boxes.count(), 0);
        const QString mac = clicks.last();
        const Keys keys = mac == kEncMac ? kEncoder : mac == kDecMac ? kDecoder : mac == kDec2Mac ? kDecoder2 : kUnknown;
        QCOMPARE(w.lblElementMAC->text(), mac);
        QCOMPARE((QStringList{w.txtElementName->text(), w.txtElementIP->text(), w.txtElementMask->text(),
                              w.txtElementGW->text(), w.lblVersion->text(), w.lblSerialNumber->text()}),
                 (QStringList{value(keys, "name"), value(keys, "ip"), value(keys, "mask", ""),
                              value(keys, "gw", ""), value(keys, "ver", "2.00"), value(keys, "sn", "")}));
        QCOMPARE((QList<int>{w.cmbAudioInput->currentIndex(), w.cmbAudioType->currentIndex(),
                             w.cmbAudioTX->currentIndex(), w.cmbEncoders->currentIndex()}),
                 (QList<int>{value(keys, "input", "-1").toInt(), value(keys, "type", "-1").toInt(),
                             value(keys, "tx", "-1").toInt(), value(keys, "bound", "0").toInt()}));
        QCOMPARE((QList<bool>{w.chkSFNEnabled->isChecked(), w.chkLowLatency->isChecked(), w.LowLatencyOption}),
                 (QList<bool>{value(keys, "sfn") == "1", value(keys, "llo") == "1", value(keys, "llo") == "1"}));
        QTEST(w.lblElementType->text(), "type");
        QCOMPARE(w.Label9->text() + ' ' + w.Label7->text(),
                 QString(decoderLayout ? "Audio atten: Multicast IP:" : "Audio source: Remote IP:"));
        QTEST(w.txtRemoteIP->text(), "remote");
        QCOMPARE((QList<bool>{w.scrlAtten->isHidden(), w.lblAttenDB->isHidden(), w.cmbAudioInput->isHidden(),
                              w.cmbAudioTX->isHidden()}),
                 (QList<bool>{!decoderLayout, !decoderLayout, decoderLayout, decoderLayout}));
        QTEST(w.lblAttenDB->text(), "atten");
        QTEST(w.lblLatency->text(), "latency");
        QTEST((QList<bool>{w.scrlBuffer->isEnabled(), w.cmdAdjust->isEnabled(), w.toolbarButton(6)->isEnabled()}),
              "enabled");
        QCOMPARE((QList<bool>{w.scrlSilDetLevel->isEnabled(), w.scrlSilDetTime->isEnabled(), w.Label24->isEnabled()}),
                 QList<bool>(3, silenceEditable));
    }

    // 21 keys (every key the station writes) load; a 22nd marks the record corrupted and
    // the panel keeps the element shown before.
    void keyLimit()
    {
        Keys keys = kDecoder.mid(0, 19) + Keys{{"dly", "0"}, {"srv", "0"}};
        keys[0].second = "FULL";
        QVERIFY(open(database(keys), {kEncMac, kBadMac}));
        QCOMPARE(m_p->boxes.count(), 0);
        QCOMPARE(m_p->w->txtElementName->text(), "FULL");
        keys.append(kDecoder.last());
        QVERIFY(open(database(keys), {kEncMac, kBadMac}));
        frmMain &w = *m_p->w;
        QCOMPARE(m_p->boxes.texts(), QStringList{"The data stored in your computer about this element, is "
                                                 "corrupted (1).\rCannot load this element info."});
        QCOMPARE(m_p->boxes.shown().first().icon, platform::MsgIcon::Critical);
        QCOMPARE(w.lblElementMAC->text() + ' ' + w.txtElementName->text() + ' ' + w.lblElementType->text(),
                 kEncMac + " STUDIO ENCODER");
        QVERIFY(!w.toolbarButton(6)->isEnabled());
    }

    // Unicast/multicast switch: the field follows it for an encoder only; what was typed for
    // one mode is not carried to the other, and nothing is written.
    void encoderDestinationFollowsTxType_data()
    {
        QTest::addColumn<QString>("mac"); QTest::addColumn<QString>("multicastText");
        QTest::addColumn<QString>("unicastLabel"); QTest::addColumn<QString>("unicastText");
        QTest::newRow("encoder with both stored") << kEncMac << "239.1.2.3" << "Remote IP:" << "127.0.0.9";
        QTest::newRow("encoder with neither") << kBadMac << "239.255.255.239" << "Remote IP:" << "192.168.1.91";
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
        QTest::keyClicks(w.txtRemoteIP, "127.1.1.1");
        w.cmbAudioTX->setFocus();
        QTest::keyClick(w.cmbAudioTX, Qt::Key_Down);
        QCOMPARE(w.cmbAudioTX->currentIndex(), 1);
        QCOMPARE(w.Label7->text(), "Multicast IP:");
        QTEST(w.txtRemoteIP->text(), "multicastText");
        QTest::keyClick(w.cmbAudioTX, Qt::Key_Up);
        QCOMPARE(w.cmbAudioTX->currentIndex(), 0);
        QTEST(w.Label7->text(), "unicastLabel");
        QTEST(w.txtRemoteIP->text(), "unicastText");
        QCOMPARE(sectionContents(sectionOf(mac), m_p->env.iniPath()), before);
    }

    // The label beside each bar at its ends and the worked examples, as "position=text".
    // kDecoder2 has the low-latency box checked, kDecoder SFN on; toggle: the operator clicks the box.
    void displayedValues_data()
    {
        QTest::addColumn<QString>("mac"); QTest::addColumn<bool>("gpsdo"); QTest::addColumn<bool>("toggle");
        QTest::addColumn<QString>("bar"); QTest::addColumn<QStringList>("steps");
        const QString buf = "scrlBuffer";
        QTest::newRow("buffer") << kDec2Mac << false << true << buf << QStringList{"22=60mS", "0=5mS"};
        QTest::newRow("low latency") << kDecMac << false << true << buf << QStringList{"22=30mS", "0=2.5mS"};
        QTest::newRow("GPSDO") << kDec2Mac << true << true << buf << QStringList{"23=60mS", "0=2.5mS"};
        QTest::newRow("level") << kDecMac << false << false << "scrlSilDetLevel"
                               << QStringList{"1=-49.8dBu", "77=-12dBu", "154=-6dBu"};
        QTest::newRow("time") << kDecMac << false << false << "scrlSilDetTime"
                              << QStringList{"1=0.5Sec", "22=10Sec", "220=100.1Sec"};
        QTest::newRow("attenuation") << kDecMac << false << false << "scrlAtten"
                                     << QStringList{"254=-0.5 dB", "15=-120 dB"};
    }
    void displayedValues()
    {
        QFETCH(QString, mac); QFETCH(bool, gpsdo); QFETCH(bool, toggle); QFETCH(QString, bar);
        QVERIFY(open(database(), {mac}, gpsdo));
        frmMain &w = *m_p->w;
        if (toggle)
            w.chkLowLatency->click();   // as the operator clicks it
        const QHash<QString, QLabel *> labels = {{"scrlBuffer", w.lblLatency}, {"scrlSilDetLevel", w.lblSilDetLevel},
                                                 {"scrlSilDetTime", w.lblSilDetTime}, {"scrlAtten", w.lblAttenDB}};
        QScrollBar *scroll = w.findChild<QScrollBar *>(bar);
        QFETCH(QStringList, steps);
        for (const QString &step : steps) {
            scroll->setValue(step.section('=', 0, 0).toInt());
            QCOMPARE(QString::number(scroll->value()) + '=' + labels.value(bar)->text(), step);
        }
        QCOMPARE(m_p->boxes.count(), 0);   // a bar moved by the program sends nothing
    }

    // Colour while typing: light red until the address is complete and valid.
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
        const QColor lightRed(255, 128, 128), standard = QApplication::palette(edit).color(QPalette::Base);
        auto colour = [edit] { return edit->palette().color(QPalette::Base); };
        edit->setFocus();
        const QString address = "192.168.1.2";
        for (int i = 0; i < address.size(); ++i) {
            QTest::keyClick(edit, address.at(i).toLatin1());
            QVERIFY2(colour() == (i == address.size() - 1 ? standard : lightRed), qPrintable(edit->text()));
        }
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(colour(), standard);   // empty is not an error
        QTest::keyClicks(edit, "192.168.1.256");
        QCOMPARE(colour(), lightRed);
        edit->setText("127.0.0.1");   // filled from a record: checked the same way
        QCOMPARE(colour(), standard);
    }

    // cmdGetStats rule: enabled only with an element selected and a valid address in the field, as typed.
    // mac empty: none selected; typed null: no typing; refresh: toolbar "Refresh list" afterwards.
    void statisticsButton_data()
    {
        QTest::addColumn<QString>("mac"); QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refresh"); QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing selected, valid address typed") << "" << "127.0.0.1" << false << false;
        QTest::newRow("element with a valid address") << kEncMac << QString() << false << true;
        QTest::newRow("element, address made invalid") << kEncMac << "127.0.0." << false << false;
        QTest::newRow("element, address emptied") << kEncMac << "" << false << false;
        QTest::newRow("element stored with a broken address") << kBadMac << QString() << false << false;
        QTest::newRow("broken address repaired") << kBadMac << "127.0.0.40" << false << true;
        QTest::newRow("panel cleared by refresh") << kEncMac << QString() << true << false;
    }
    void statisticsButton()
    {
        QFETCH(QString, mac); QFETCH(QString, typed); QFETCH(bool, refresh);
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
            QCOMPARE(w.lblElementMAC->text() + w.txtElementIP->text(), "-");
        }
        QTEST(w.cmdGetStats->isEnabled(), "enabled");
    }

    // Entering a field by Tab or mouse selects its text; the name is upper-cased on leaving.
    void enteringFieldSelectsAll_data()
    {
        QTest::addColumn<QString>("field"); QTest::addColumn<bool>("byMouse");
        for (const char *name : {"txtElementName", "txtElementIP", "txtRemoteIP"}) {
            QTest::addRow("%s by tab", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s by click", name) << QString::fromLatin1(name) << true;
        }
    }
    void enteringFieldSelectsAll()
    {
        QFETCH(QString, field); QFETCH(bool, byMouse);
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
        QTest::keyClicks(edit, "a b");
        QCOMPARE(edit->text(), "a b");
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(edit->text(), edit == m_p->w->txtElementName ? "A B" : "a b");
    }

    // Bad stored numbers (missing, not numbers, too long, out of range) load without a
    // message or an end; lists stay unselected, bars take an end. controls: lists input, type,
    // tx, bound, sdm; bars att, buf, sdl, sdt; boxes sfn, llo. attStored null: record untouched.
    void badRecord_data()
    {
        QTest::addColumn<Keys>("keys"); QTest::addColumn<QString>("type");
        QTest::addColumn<QList<int>>("controls"); QTest::addColumn<QString>("attStored");
        auto every = [](const QString &text, const QString &role = "2") {
            Keys keys = {{"role", role}};
            for (const char *key : {"name", "ip", "mask", "gw", "input", "type", "tx", "ver", "bound", "remote",
                                    "multi", "att", "buf", "sdl", "sdt", "sdm", "sn", "sfn", "llo"})
                keys.append({QString::fromLatin1(key), text});
            return keys;
        };
        const QString huge = "99999999999999999999";
        const QList<int> unset = {-1, -1, -1, -1, -1}, defaults = {-1, -1, -1, 0, 0};
        const QList<int> lowest = {14, 0, 1, 1, 0, 0}, start = {14, 1, 37, 43, 0, 0};
        QTest::newRow("every key missing") << Keys{{"role", "2"}} << "DECODER" << defaults + start << "14";
        QTest::newRow("every key not a number") << every("x") << "DECODER" << unset + lowest << "14";
        QTest::newRow("20-digit numbers") << every(huge) << "DECODER" << unset + QList<int>{255, 22, 154, 220, 1, 1}
                                          << QString();
        QTest::newRow("one past each end")
            << Keys{{"role", "2"}, {"input", "2"}, {"type", "-1"}, {"tx", "2"}, {"bound", "2"},
                    {"sdm", "3"}, {"att", "256"}, {"buf", "23"}, {"sdl", "155"}, {"sdt", "221"},
                    {"sfn", "2"}, {"llo", "-1"}}
            << "DECODER" << unset + QList<int>{255, 22, 154, 220, 1, 0} << QString();
        QTest::newRow("one below each start") << Keys{{"role", "2"}, {"att", "13"}, {"buf", "-1"}, {"sdl", "0"},
                                                      {"sdt", "0"}} << "DECODER" << defaults + lowest << "14";
        QTest::newRow("at each end")
            << Keys{{"role", "2"}, {"input", "1"}, {"type", "0"}, {"tx", "1"}, {"bound", "1"},
                    {"sdm", "2"}, {"att", "14"}, {"buf", "22"}, {"sdl", "1"}, {"sdt", "220"},
                    {"sfn", "1"}, {"llo", "0"}}
            << "DECODER" << QList<int>{1, 0, 1, 1, 2, 14, 22, 1, 220, 1, 0} << QString();
        // Not a decoder: nothing of the decoder's is read, nothing written.
        QTest::newRow("role not a number") << every("x", "x") << "UNKNOWN" << unset + QList<int>{255, 0, 1, 1, 0, 0}
                                           << QString();
    }
    void badRecord()
    {
        QFETCH(Keys, keys); QFETCH(QString, attStored);
        const QString section = sectionOf(kBadMac);
        QVERIFY(open(database(keys)));
        const QString path = m_p->env.iniPath();
        auto withoutAtt = [&] {
            Keys k = sectionContents(section, path);
            k.removeIf([](const auto &pair) { return pair.first == "att"; });
            return k;
        };
        const Keys before = withoutAtt();
        const QString attBefore = ReadFromINI(section, "att", path);
        QVERIFY(m_p->click(kBadMac));
        frmMain &w = *m_p->w;
        QCOMPARE(m_p->boxes.count() + m_p->env.endProgramCalls(), 0);
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
        QCOMPARE(ReadFromINI(section, "att", path), attStored.isNull() ? attBefore : attStored);
    }

    void operatorMoveSendsAndStores_data()
    {
        QTest::addColumn<int>("key");   // 0: a click on the bar's right arrow
        QTest::addColumn<int>("position"); QTest::addColumn<QString>("shown");
        QTest::newRow("Home mutes") << int(Qt::Key_Home) << 14 << "Mute";
        QTest::newRow("arrow left") << int(Qt::Key_Left) << 199 << "-28 dB";
        QTest::newRow("End to full level") << int(Qt::Key_End) << 255 << "0 dB";
        QTest::newRow("mouse on the right arrow") << 0 << 201 << "-27 dB";
    }
    void operatorMoveSendsAndStores()
    {
        QFETCH(int, key); QFETCH(int, position);
        OPEN(database());
        frmMain &w = *m_p->w;
        // Loading sends nothing: the first datagram to arrive is the operator's.
        QVERIFY(m_p->click(kDecMac));
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-27.5 dB"));
        if (key)
            press(Qt::Key(key));
        else
            QTest::mouseClick(w.scrlAtten, Qt::LeftButton, {},
                              QPoint(w.scrlAtten->width() - 4, w.scrlAtten->height() / 2));   // arrow
        QCOMPARE(w.scrlAtten->value(), position);
        QTEST(w.lblAttenDB->text(), "shown");
        QCOMPARE(received(), QByteArray(1, char(position)).append('\0'));
        QCOMPARE(storedAtt(kDecMac), QString::number(position));
        QCOMPARE(m_p->boxes.count(), 0);
    }

    void programChangesNeverSend()
    {
        OPEN(database());
        frmMain &w = *m_p->w;
        QVERIFY(m_p->click(kDec2Mac));   // stored at 255
        // A key that cannot move the bar, then a change by the program (as a reply makes it).
        press(Qt::Key_End);
        w.scrlAtten->setValue(100);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-77.5 dB"));
        // With an encoder shown the bar only changes its text; loading the decoder restores 255.
        QVERIFY(m_p->click(kEncMac));
        QTest::keyClick(w.scrlAtten, Qt::Key_Left);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-78 dB"));
        QVERIFY(m_p->click(kDec2Mac));
        QCOMPARE(w.scrlAtten->value(), 255);
        QCOMPARE(storedAtt(kDec2Mac), QStringLiteral("255"));
        press(Qt::Key_Home);
        QCOMPARE(received(), QByteArray::fromHex("0e00"));
        QCOMPARE(storedAtt(kDec2Mac), QStringLiteral("14"));
        QVERIFY(!m_element->hasPendingDatagrams());
    }

    // Bad stored ip: the operator is told, "att" is kept, the station goes on.
    void unusableAddressIsReported_data()
    {
        QTest::addColumn<Keys>("keys"); QTest::addColumn<QString>("reason");
        const Keys base = {{"name", "BAD"}, {"role", "2"}, {"att", "200"}};
        QTest::newRow("no address") << base << "no valid address is stored for it.";
        QTest::newRow("not an address") << base + Keys{{"ip", "127.0.0"}}
                                        << "its stored address \"127.0.0\" is not a valid IPv4 address.";
    }
    void unusableAddressIsReported()
    {
        QFETCH(Keys, keys); QFETCH(QString, reason);
        OPEN(database(keys));
        QVERIFY(m_p->click(kBadMac));
        press(Qt::Key_Left);
        QCOMPARE(m_p->boxes.texts(),
                 QStringList{"Cannot send the attenuation to BAD [00:11:22:33:44:EE]: " + reason});
        QCOMPARE(m_p->boxes.shown().first().icon, platform::MsgIcon::Critical);
        QCOMPARE(m_p->env.endProgramCalls(), 0);
        QCOMPARE(storedAtt(kBadMac), QStringLiteral("200"));
        QVERIFY(m_p->click(kDecMac));
        press(Qt::Key_Home);
        QCOMPARE(received(), QByteArray::fromHex("0e00"));
    }
};

QTEST_MAIN(TestEditorPanel)
#include "tst_editorpanel.moc"
