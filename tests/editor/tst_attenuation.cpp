// Only the operator's moves of the attenuation bar send (main socket -> element 127.0.0.1:2977) and store "att".
#include <QLabel>
#include <QNetworkDatagram>
#include <QScrollBar>
#include <QUdpSocket>

#include "PanelFixture.h"

namespace {

const QString kDecMac = "00:11:22:33:44:BB", kEncMac = "00:11:22:33:44:AA", kBadMac = "00:11:22:33:44:EE";
#define OPEN(ini) if (!open(ini)) QSKIP("UDP port 2976 or 127.0.0.1:2977 is already in use"); QVERIFY(m_p->exposed)

QString database(int decoderAtt, const Keys &bad = {})
{
    return iniSection("0011223344AA", {{"name", "STUDIO"}, {"ip", "127.0.0.1"}, {"role", "1"}, {"tx", "0"}})
           + iniSection("0011223344BB", {{"name", "TX SITE"}, {"ip", "127.0.0.1"}, {"role", "2"},
                                         {"att", QString::number(decoderAtt)}})
           + (bad.isEmpty() ? QString() : iniSection("0011223344EE", bad));
}

} // namespace

class TestAttenuation : public QObject {
    Q_OBJECT
    std::unique_ptr<Panel> m_p;
    std::unique_ptr<QUdpSocket> m_element;

    bool open(const QString &ini)   // false when this machine already uses one of the ports
    {
        m_p = std::make_unique<Panel>(ini);
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

private slots:
    void cleanup() { m_p.reset(); m_element.reset(); }

    void operatorMoveSendsAndStores_data()
    {
        QTest::addColumn<int>("key");   // 0: a click on the bar's right arrow
        QTest::addColumn<int>("position"); QTest::addColumn<QString>("shown");
        QTest::newRow("Home mutes") << int(Qt::Key_Home) << 14 << "Mute";
        QTest::newRow("arrow left") << int(Qt::Key_Left) << 199 << "-28 dB";
        QTest::newRow("page down") << int(Qt::Key_PageDown) << 190 << "-32.5 dB";
        QTest::newRow("End to full level") << int(Qt::Key_End) << 255 << "0 dB";
        QTest::newRow("mouse on the right arrow") << 0 << 201 << "-27 dB";
    }
    void operatorMoveSendsAndStores()
    {
        QFETCH(int, key); QFETCH(int, position);
        OPEN(database(200));
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
        OPEN(database(255));
        frmMain &w = *m_p->w;
        QVERIFY(m_p->click(kDecMac));
        // A key that cannot move the bar, then a change by the program (as a reply makes it).
        press(Qt::Key_End);
        w.scrlAtten->setValue(100);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-77.5 dB"));
        // With an encoder shown the bar only changes its text; loading the decoder restores 255.
        QVERIFY(m_p->click(kEncMac));
        QTest::keyClick(w.scrlAtten, Qt::Key_Left);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-78 dB"));
        QVERIFY(m_p->click(kDecMac));
        QCOMPARE(w.scrlAtten->value(), 255);
        QCOMPARE(storedAtt(kDecMac), QStringLiteral("255"));
        press(Qt::Key_Home);
        QCOMPARE(received(), QByteArray::fromHex("0e00"));
        QCOMPARE(storedAtt(kDecMac), QStringLiteral("14"));
        QVERIFY(!m_element->hasPendingDatagrams());
    }

    // Bad stored ip: the operator is told, "att" is kept, the station goes on.
    void unusableAddressIsReported_data()
    {
        QTest::addColumn<Keys>("keys"); QTest::addColumn<QString>("reason");
        const Keys base = {{"name", "BAD"}, {"role", "2"}, {"att", "200"}};
        QTest::newRow("no address") << base << "no valid address is stored for it.";
        for (const char *ip : {"127.0.0", "localhost"})
            QTest::addRow("address %s", ip) << base + Keys{{"ip", ip}}
                << QStringLiteral("its stored address \"%1\" is not a valid IPv4 address.").arg(ip);
    }
    void unusableAddressIsReported()
    {
        QFETCH(Keys, keys); QFETCH(QString, reason);
        OPEN(database(200, keys));
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

QTEST_MAIN(TestAttenuation)
#include "tst_attenuation.moc"
