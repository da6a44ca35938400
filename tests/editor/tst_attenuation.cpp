// The attenuation bar acts on the element at once: only the operator's moves send the
// command (from the main socket to the element's port 2977) and store "att". The element
// is a socket on 127.0.0.1:2977; its stored address is 127.0.0.1.
#include <QLabel>
#include <QNetworkDatagram>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QUdpSocket>

#include "PanelFixture.h"

namespace {

const QString kDecMac = QStringLiteral("00:11:22:33:44:BB");
const QString kEncMac = QStringLiteral("00:11:22:33:44:AA");
const QString kBadMac = QStringLiteral("00:11:22:33:44:EE");

QString database(int decoderAtt, const Keys &bad = {})
{
    QString ini = iniSection(QStringLiteral("0011223344AA"),
                             {{"name", "STUDIO"}, {"ip", "127.0.0.1"}, {"role", "1"}, {"tx", "0"}})
                  + iniSection(QStringLiteral("0011223344BB"),
                               {{"name", "TX SITE"}, {"ip", "127.0.0.1"}, {"role", "2"},
                                {"att", QString::number(decoderAtt)}});
    if (!bad.isEmpty())
        ini += iniSection(QStringLiteral("0011223344EE"), bad);
    return ini;
}

QString storedAtt(const Panel &p, const QString &mac)
{
    return ReadFromINI(QString(mac).remove(QLatin1Char(':')), QStringLiteral("att"), p.env.iniPath());
}

QRect addLineRect(QScrollBar *bar)
{
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.state |= QStyle::State_Horizontal;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarAddLine, bar);
}

} // namespace

class TestAttenuation : public QObject {
    Q_OBJECT
private:
    // The element's end of the link and the station's main socket; false (test skipped)
    // when this machine already uses one of the ports.
    bool openLink(Panel &p, QUdpSocket &element)
    {
        if (!element.bind(QHostAddress(QStringLiteral("127.0.0.1")), 2977,
                          QAbstractSocket::DontShareAddress))
            return false;
        return p.w->bindMainSocket();
    }

    // The next datagram that reached the element, from the station's main socket.
    QByteArray received(QUdpSocket &element)
    {
        for (int i = 0; i < 100 && !element.hasPendingDatagrams(); ++i)
            QTest::qWait(50);
        if (!element.hasPendingDatagrams())
            return QByteArray("nothing");
        const QNetworkDatagram d = element.receiveDatagram();
        if (d.senderPort() != 2976)
            return QByteArray("wrong source port");
        return d.data();
    }

private slots:
    void operatorMoveSendsAndStores_data();
    void operatorMoveSendsAndStores();
    void programChangesNeverSend();
    void unusableAddressIsReported_data();
    void unusableAddressIsReported();
};

void TestAttenuation::operatorMoveSendsAndStores_data()
{
    QTest::addColumn<int>("key");   // 0: a click on the bar's right arrow
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Home mutes") << int(Qt::Key_Home) << 14 << "Mute";
    QTest::newRow("arrow left") << int(Qt::Key_Left) << 199 << "-28 dB";
    QTest::newRow("arrow right") << int(Qt::Key_Right) << 201 << "-27 dB";
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 190 << "-32.5 dB";
    QTest::newRow("End to full level") << int(Qt::Key_End) << 255 << "0 dB";
    QTest::newRow("mouse on the right arrow") << 0 << 201 << "-27 dB";
}

void TestAttenuation::operatorMoveSendsAndStores()
{
    QFETCH(int, key);
    QFETCH(int, position);
    Panel p(database(200));
    QVERIFY(p.exposed);
    QUdpSocket element;
    if (!openLink(p, element))
        QSKIP("UDP port 2976 or 127.0.0.1:2977 is already in use on this machine: cannot observe "
              "the attenuation command");
    frmMain &w = *p.w;

    // Loading from the tree shows the stored value and sends nothing (checked below: the
    // first datagram to arrive is the operator's).
    QVERIFY(p.click(kDecMac));
    QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-27.5 dB"));
    QCOMPARE(storedAtt(p, kDecMac), QStringLiteral("200"));

    if (key) {
        w.scrlAtten->setFocus();
        QTest::keyClick(w.scrlAtten, Qt::Key(key));
    } else {
        QTest::mouseClick(w.scrlAtten, Qt::LeftButton, {}, addLineRect(w.scrlAtten).center());
    }
    QCOMPARE(w.scrlAtten->value(), position);
    QTEST(w.lblAttenDB->text(), "shown");
    QByteArray command;
    command.append(char(position)).append('\0');
    QCOMPARE(received(element), command);
    QCOMPARE(storedAtt(p, kDecMac), QString::number(position));
    QCOMPARE(p.boxes.count(), 0);
}

void TestAttenuation::programChangesNeverSend()
{
    Panel p(database(255));
    QVERIFY(p.exposed);
    QUdpSocket element;
    if (!openLink(p, element))
        QSKIP("UDP port 2976 or 127.0.0.1:2977 is already in use on this machine: cannot observe "
              "the attenuation command");
    frmMain &w = *p.w;
    QVERIFY(p.click(kDecMac));

    // An operator's key that cannot move the bar further, then a change by the program
    // (as a reply makes it) while the bar still has the focus.
    w.scrlAtten->setFocus();
    QTest::keyClick(w.scrlAtten, Qt::Key_End);
    QCOMPARE(w.scrlAtten->value(), 255);
    w.scrlAtten->setValue(100);
    QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-77.5 dB"));
    QCOMPARE(storedAtt(p, kDecMac), QStringLiteral("255"));

    // With an encoder shown the bar only changes its text.
    QVERIFY(p.click(kEncMac));
    QTest::keyClick(w.scrlAtten, Qt::Key_Left);
    QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-78 dB"));

    // Loading the decoder again moves the bar back to its stored 255.
    QVERIFY(p.click(kDecMac));
    QCOMPARE(w.scrlAtten->value(), 255);
    QCOMPARE(storedAtt(p, kDecMac), QStringLiteral("255"));

    // The first datagram the element sees is the operator's.
    w.scrlAtten->setFocus();
    QTest::keyClick(w.scrlAtten, Qt::Key_Home);
    QCOMPARE(received(element), QByteArray::fromHex("0e00"));
    QCOMPARE(storedAtt(p, kDecMac), QStringLiteral("14"));
    QVERIFY(!element.hasPendingDatagrams());
}

void TestAttenuation::unusableAddressIsReported_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("reason");
    const Keys base = {{"name", "BAD"}, {"role", "2"}, {"att", "200"}};
    QTest::newRow("no address") << base << "no valid address is stored for it.";
    QTest::newRow("empty address") << (Keys(base) << QPair<QString, QString>("ip", ""))
                                   << "no valid address is stored for it.";
    for (const char *ip : {"127.0.0", "127.0.0.300", "localhost"})
        QTest::addRow("address %s", ip)
            << (Keys(base) << QPair<QString, QString>("ip", ip))
            << QStringLiteral("its stored address \"%1\" is not a valid IPv4 address.").arg(ip);
}

void TestAttenuation::unusableAddressIsReported()
{
    QFETCH(Keys, keys);
    QFETCH(QString, reason);
    Panel p(database(200, keys));
    QVERIFY(p.exposed);
    QUdpSocket element;
    if (!openLink(p, element))
        QSKIP("UDP port 2976 or 127.0.0.1:2977 is already in use on this machine: cannot observe "
              "the attenuation command");
    frmMain &w = *p.w;
    QVERIFY(p.click(kBadMac));
    w.scrlAtten->setFocus();
    QTest::keyClick(w.scrlAtten, Qt::Key_Left);

    QCOMPARE(p.boxes.count(), 1);
    QCOMPARE(p.boxes.shown().first().text,
             QStringLiteral("Cannot send the attenuation to BAD [00:11:22:33:44:EE]: ") + reason);
    QCOMPARE(p.boxes.shown().first().icon, platform::MsgIcon::Critical);
    QCOMPARE(p.env.endProgramCalls(), 0);
    // The record keeps what the element has.
    QCOMPARE(storedAtt(p, kBadMac), QStringLiteral("200"));

    // The station goes on: the next element still gets its command, and it is the first
    // datagram to arrive.
    QVERIFY(p.click(kDecMac));
    w.scrlAtten->setFocus();
    QTest::keyClick(w.scrlAtten, Qt::Key_Home);
    QCOMPARE(received(element), QByteArray::fromHex("0e00"));
}

QTEST_MAIN(TestAttenuation)
#include "tst_attenuation.moc"
