#include "platform/Arp.h"
#include "protocol/MacResolution.h"

#include <QtTest>

#include <arpa/inet.h>

using B = QByteArray;
static const B kMac("\x00\x1a\x2b\x3c\x4d\x5e", 6);

class tst_MacResolution : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::setHardwareAddressLookup({}); }

    void macText_data()
    {
        QTest::addColumn<B>("bytes");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QString>("text");
        QTest::newRow("upper case") << kMac << ":" << "00:1A:2B:3C:4D:5E";
        QTest::newRow("leading zeros") << B("\x0a\x0b\x0c\x0d\x0e\x0f", 6) << ":" << "0A:0B:0C:0D:0E:0F";
        QTest::newRow("other delimiter") << B("\xff\x00\xff\x00\xff\x01", 6) << "-" << "FF-00-FF-00-FF-01";
        QTest::newRow("no delimiter") << B("\x01\x02\x03\x04\x05\x06", 6) << "" << "010203040506";
        QTest::newRow("none") << B() << ":" << "";
        QTest::newRow("five bytes") << B("\x01\x02\x03\x04\x05", 5) << ":" << "";
    }
    void macText() { QFETCH(B, bytes); QFETCH(QString, delimiter); QFETCH(QString, text); QCOMPARE(MACBytesToText(bytes, delimiter), text); }

    void ipToAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("address");
        QTest::newRow("dotted") << "10.0.0.1" << quint32(htonl(0x0A000001));
        QTest::newRow("0.0.0.0") << "0.0.0.0" << 0u;
        QTest::newRow("255.255.255.255") << "255.255.255.255" << 0u;
        QTest::newRow("empty") << "" << 0u;
        QTest::newRow("part above 255") << "10.0.0.256" << 0u;
        QTest::newRow("embedded NUL") << QStringLiteral("10.0.0.1") + QChar(0) + QStringLiteral("x") << 0u;
    }
    void ipToAddress() { QFETCH(QString, text); QFETCH(quint32, address); QCOMPARE(IPToAddress(text), address); }

    void resolve_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<B>("hardware");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("mac");
        const QString ip = QStringLiteral("127.0.0.2");
        QTest::newRow("six bytes") << ip << true << kMac << true << "00:1A:2B:3C:4D:5E";
        QTest::newRow("only the last bytes set") << ip << true << B("\0\0\0\0\x4d\x5e", 6) << false << "unchanged";
        QTest::newRow("empty answer") << ip << true << B() << false << "unchanged";
        QTest::newRow("no answer") << ip << false << kMac << false << "unchanged";
        QTest::newRow("not six bytes") << ip << true << B("\x02\x1a\x2b\x3c\x4d\x5e\x6f\x70", 8) << true << "";
        for (const char *bad : {"0.0.0.0", "255.255.255.255", "", "a.b.c.d"}) // never reach the lookup
            QTest::newRow(bad) << QString::fromLatin1(bad) << true << kMac << false << "unchanged";
    }
    void resolve()
    {
        QFETCH(QString, ip); QFETCH(bool, answered); QFETCH(B, hardware); QFETCH(bool, found); QFETCH(QString, mac);
        quint32 asked = 0;
        platform::setHardwareAddressLookup([&](quint32 address, QByteArray *out) {
            asked = address;
            *out = hardware;
            return answered;
        });
        QString text = QStringLiteral("unchanged");
        QCOMPARE(ResolveRemoteMAC(ip, text, QStringLiteral(":")), found);
        QCOMPARE(text, mac);
        QCOMPARE(asked, ip.startsWith(QLatin1String("127")) ? quint32(htonl(0x7F000002)) : 0u);
    }
};

QTEST_APPLESS_MAIN(tst_MacResolution)
#include "tst_macresolution.moc"
