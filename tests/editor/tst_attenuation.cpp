// The attenuation bar acts on the element at once: only the operator's moves send the
// command (from the main socket to the element's port 2977) and store "att". The element
// is a socket on 127.0.0.1:2977; its stored address is 127.0.0.1.
#include <QLabel>
#include <QNetworkDatagram>
#include <QScrollBar>
#include <QUdpSocket>

#include "PanelFixture.h"

namespace {

const QString kDecMac = QStringLiteral("00:11:22:33:44:BB");
const QString kEncMac = QStringLiteral("00:11:22:33:44:AA");
const QString kBadMac = QStringLiteral("00:11:22:33:44:EE");
const char kPortsTaken[] = "UDP port 2976 or 127.0.0.1:2977 is already in use on this machine";

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

} // namespace

class TestAttenuation : public QObject {
    Q_OBJECT
    std::unique_ptr<Panel> m_p;
    std::unique_ptr<QUdpSocket> m_element;

    // The panel, the element's end of the link and the station's main socket; false when
    // this machine already uses one of the ports.
    bool open(const QString &ini)
    {
        m_p = std::make_unique<Panel>(ini);
        m_element = std::make_unique<QUdpSocket>();
        return m_element->bind(QHostAddress(QStringLiteral("127.0.0.1")), 2977, QAbstractSocket::DontShareAddress)
               && m_p->w->bindMainSocket();
    }

    QString storedAtt(const QString &mac) const
    {
        return ReadFromINI(QString(mac).remove(QLatin1Char(':')), QStringLiteral("att"), m_p->env.iniPath());
    }

    // The next datagram that reached the element, from the station's main socket.
    QByteArray received()
    {
        for (int i = 0; i < 100 && !m_element->hasPendingDatagrams(); ++i)
            QTest::qWait(50);
        if (!m_element->hasPendingDatagrams())
            return QByteArray("nothing");
        const QNetworkDatagram d = m_element->receiveDatagram();
        return d.senderPort() == 2976 ? d.data() : QByteArray("wrong source port");
    }

    void press(Qt::Key key)
    {
        m_p->w->scrlAtten->setFocus();
        QTest::keyClick(m_p->w->scrlAtten, key);
    }

private slots:
    void cleanup()
    {
        m_p.reset();
        m_element.reset();
    }

    void operatorMoveSendsAndStores_data()
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
    void operatorMoveSendsAndStores()
    {
        QFETCH(int, key);
        QFETCH(int, position);
        if (!open(database(200)))
            QSKIP(kPortsTaken);
        QVERIFY(m_p->exposed);
        frmMain &w = *m_p->w;
        // Loading shows the stored value and sends nothing: the first datagram to arrive
        // below is the operator's.
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
        if (!open(database(255)))
            QSKIP(kPortsTaken);
        QVERIFY(m_p->exposed);
        frmMain &w = *m_p->w;
        QVERIFY(m_p->click(kDecMac));
        // An operator's key that cannot move the bar further, then a change by the program
        // (as a reply makes it) while the bar still has the focus.
        press(Qt::Key_End);
        w.scrlAtten->setValue(100);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-77.5 dB"));
        QCOMPARE(storedAtt(kDecMac), QStringLiteral("255"));
        // With an encoder shown the bar only changes its text.
        QVERIFY(m_p->click(kEncMac));
        QTest::keyClick(w.scrlAtten, Qt::Key_Left);
        QCOMPARE(w.lblAttenDB->text(), QStringLiteral("-78 dB"));
        // Loading the decoder again moves the bar back to its stored 255.
        QVERIFY(m_p->click(kDecMac));
        QCOMPARE(w.scrlAtten->value(), 255);
        QCOMPARE(storedAtt(kDecMac), QStringLiteral("255"));
        // The first datagram the element sees is the operator's.
        press(Qt::Key_Home);
        QCOMPARE(received(), QByteArray::fromHex("0e00"));
        QCOMPARE(storedAtt(kDecMac), QStringLiteral("14"));
        QVERIFY(!m_element->hasPendingDatagrams());
    }

    // A record without a usable address: the operator is told, the record keeps what the
    // element has, and the station goes on.
    void unusableAddressIsReported_data()
    {
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<QString>("reason");
        const Keys base = {{"name", "BAD"}, {"role", "2"}, {"att", "200"}};
        QTest::newRow("no address") << base << "no valid address is stored for it.";
        QTest::newRow("empty address") << base + Keys{{"ip", ""}} << "no valid address is stored for it.";
        for (const char *ip : {"127.0.0", "127.0.0.300", "localhost"})
            QTest::addRow("address %s", ip) << base + Keys{{"ip", ip}}
                << QStringLiteral("its stored address \"%1\" is not a valid IPv4 address.").arg(ip);
    }
    void unusableAddressIsReported()
    {
        QFETCH(Keys, keys);
        QFETCH(QString, reason);
        if (!open(database(200, keys)))
            QSKIP(kPortsTaken);
        QVERIFY(m_p->exposed);
        QVERIFY(m_p->click(kBadMac));
        press(Qt::Key_Left);
        QCOMPARE(m_p->boxes.texts(),
                 QStringList{"Cannot send the attenuation to BAD [00:11:22:33:44:EE]: " + reason});
        QCOMPARE(m_p->boxes.shown().first().icon, platform::MsgIcon::Critical);
        QCOMPARE(m_p->env.endProgramCalls(), 0);
        QCOMPARE(storedAtt(kBadMac), QStringLiteral("200"));
        // The next element still gets its command, and it is the first datagram to arrive.
        QVERIFY(m_p->click(kDecMac));
        press(Qt::Key_Home);
        QCOMPARE(received(), QByteArray::fromHex("0e00"));
    }
};

QTEST_MAIN(TestAttenuation)
#include "tst_attenuation.moc"
