#include "platform/Arp.h"
#include "protocol/MacResolution.h"

#include <QtTest>

#include <arpa/inet.h>

class tst_MacResolution : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::setHardwareAddressLookup({}); }
    void macText_data();
    void macText();
    void ipToAddress_data();
    void ipToAddress();
    void resolve_data();
    void resolve();
    void resolveSkipsLookupWithoutAddress();
};

void tst_MacResolution::macText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("text");
    QTest::newRow("upper case") << QByteArray("\x00\x1a\x2b\x3c\x4d\x5e", 6) << ":" << "00:1A:2B:3C:4D:5E";
    QTest::newRow("leading zeros") << QByteArray("\x0a\x0b\x0c\x0d\x0e\x0f", 6) << ":" << "0A:0B:0C:0D:0E:0F";
    QTest::newRow("other delimiter") << QByteArray("\xff\x00\xff\x00\xff\x01", 6) << "-" << "FF-00-FF-00-FF-01";
    QTest::newRow("no delimiter") << QByteArray("\x01\x02\x03\x04\x05\x06", 6) << "" << "010203040506";
    QTest::newRow("five bytes") << QByteArray("\x01\x02\x03\x04\x05", 5) << ":" << "";
    QTest::newRow("eight bytes") << QByteArray(8, '\x11') << ":" << "";
    QTest::newRow("none") << QByteArray() << ":" << "";
}

void tst_MacResolution::macText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, delimiter);
    QFETCH(QString, text);
    QCOMPARE(MACBytesToText(bytes, delimiter), text);
}

void tst_MacResolution::ipToAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("address");
    QTest::newRow("dotted") << "10.0.0.1" << quint32(htonl(0x0A000001));
    QTest::newRow("loopback") << "127.0.0.1" << quint32(htonl(0x7F000001));
    QTest::newRow("0.0.0.0") << "0.0.0.0" << 0u;
    QTest::newRow("255.255.255.255") << "255.255.255.255" << 0u;
    QTest::newRow("garbage") << "not an address" << 0u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("part above 255") << "10.0.0.256" << 0u;
    QTest::newRow("embedded NUL") << QStringLiteral("10.0.0.1") + QChar(0) + QStringLiteral("x") << 0u;
}

void tst_MacResolution::ipToAddress()
{
    QFETCH(QString, text);
    QFETCH(quint32, address);
    QCOMPARE(IPToAddress(text), address);
}

void tst_MacResolution::resolve_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QByteArray>("hardware");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("mac");
    QTest::newRow("six bytes") << true << QByteArray("\x00\x1a\x2b\x3c\x4d\x5e", 6) << true << "00:1A:2B:3C:4D:5E";
    QTest::newRow("only the last bytes set") << true << QByteArray("\x00\x00\x00\x00\x4d\x5e", 6) << false << "unchanged";
    QTest::newRow("empty answer") << true << QByteArray() << false << "unchanged";
    QTest::newRow("no answer") << false << QByteArray("\x00\x1a\x2b\x3c\x4d\x5e", 6) << false << "unchanged";
    QTest::newRow("not six bytes") << true << QByteArray("\x02\x1a\x2b\x3c\x4d\x5e\x6f\x70", 8) << true << "";
}

void tst_MacResolution::resolve()
{
    QFETCH(bool, answered);
    QFETCH(QByteArray, hardware);
    QFETCH(bool, found);
    QFETCH(QString, mac);
    quint32 asked = 0;
    platform::setHardwareAddressLookup([&](quint32 address, QByteArray *out) {
        asked = address;
        *out = hardware;
        return answered;
    });
    QString text = QStringLiteral("unchanged");
    QCOMPARE(ResolveRemoteMAC(QStringLiteral("127.0.0.2"), text, QStringLiteral(":")), found);
    QCOMPARE(text, mac);
    QCOMPARE(asked, quint32(htonl(0x7F000002)));
}

void tst_MacResolution::resolveSkipsLookupWithoutAddress()
{
    int calls = 0;
    platform::setHardwareAddressLookup([&](quint32, QByteArray *out) {
        ++calls;
        *out = QByteArray("\x00\x1a\x2b\x3c\x4d\x5e", 6);
        return true;
    });
    QString text;
    for (const char *ip : {"0.0.0.0", "255.255.255.255", "", "a.b.c.d"})
        QVERIFY(!ResolveRemoteMAC(QString::fromLatin1(ip), text, QStringLiteral(":")));
    QCOMPARE(calls, 0);
    QVERIFY(text.isEmpty());
}

QTEST_APPLESS_MAIN(tst_MacResolution)
#include "tst_macresolution.moc"
