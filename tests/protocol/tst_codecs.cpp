// The element protocol's codecs: the feedback message (every length, the checks in order, the
// serial number, the name as bytes), the configuration command's fields, and MAC resolution
// (inet_addr's rules, what the ARP service's answer counts as, its text).
#include <QtTest>
#include <arpa/inet.h>

#include "platform/Arp.h"
#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"
#include "protocol/MacResolution.h"

namespace {

constexpr quint8 S = 77;   // sentinel left in the record by an "earlier message"

// A valid 54-byte message: 10.0.0.5/255.255.255.0 gw 10.0.0.1 remote 239.1.1.1, name
// "STUDIO A", serial 1234, tail byte at offset k = 100 + k so each field is recognisable.
QByteArray baseMessage(quint8 role)
{
    QByteArray m = QByteArray::fromHex("0A000005 FFFFFF00 0A000001 EF010101 01 00 01") + "STUDIO A        ";
    m.append(char(role)).append(QByteArray::fromHex("000004D2"));
    for (int k = 40; k < 54; ++k)
        m.append(char(100 + k));
    return m;
}

using Tail = QList<int>;   // major, minor, sfn, buffer, low latency, attenuation, mode, level, time

Tail tailOf(const ElementFeedback &r)
{
    return {r.UDP_Response_Version_Major, r.UDP_Response_Version_Minor, r.UDP_Response_SFN,
            r.UDP_Response_Buffer, r.UDP_Response_Low_Latency, r.UDP_Response_Attenuation,
            r.UDP_Response_SilDet_Mode, r.UDP_Response_SilDet_Level, r.UDP_Response_SilDet_Time};
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

using B = QByteArray;
static const B kMac("\x00\x1a\x2b\x3c\x4d\x5e", 6);

class TestCodecs : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::setHardwareAddressLookup({}); }

    void routesEveryLength_data()
    {
        QTest::addColumn<int>("from"); QTest::addColumn<int>("to"); QTest::addColumn<DatagramRoute>("route");
        QTest::newRow("too short for the fixed part") << 0 << 39 << DatagramRoute::Ignored;
        QTest::newRow("feedback 40..54") << 40 << 54 << DatagramRoute::Feedback;
        QTest::newRow("55..1200") << 55 << 1200 << DatagramRoute::Ignored;
        QTest::newRow("level block 1201") << 1201 << 1201 << DatagramRoute::AudioLevel;
        QTest::newRow("largest UDP payload") << 65507 << 65507 << DatagramRoute::AudioLevel;
    }
    void routesEveryLength()
    {
        QFETCH(int, from); QFETCH(int, to); QFETCH(DatagramRoute, route);
        for (int length = from; length <= to; ++length)
            QVERIFY2(routeDatagram(length) == route, qPrintable(QString::number(length)));
    }

    // Each length where the tail gains a field, for both layouts.
    void tailAtEveryLength_data()
    {
        QTest::addColumn<int>("role"); QTest::addColumn<int>("length"); QTest::addColumn<Tail>("expected");
        // Encoder: nothing of the tail before 42 bytes; byte 44 is the low latency option.
        QTest::newRow("enc 41") << 1 << 41 << Tail{2, 0, 0, 0, S, S, S, S, S};
        QTest::newRow("enc 42") << 1 << 42 << Tail{140, 141, 0, 0, S, S, S, S, S};
        QTest::newRow("enc 43") << 1 << 43 << Tail{140, 141, 142, 0, S, S, S, S, S};
        QTest::newRow("enc 44") << 1 << 44 << Tail{140, 141, 142, 143, S, S, S, S, S};
        QTest::newRow("enc 45") << 1 << 45 << Tail{140, 141, 142, 143, 144, S, S, S, S};
        QTest::newRow("enc 54") << 1 << 54 << Tail{140, 141, 142, 143, 144, S, S, S, S};
        QTest::newRow("unknown 45") << 0 << 45 << Tail{140, 141, 142, 143, 144, S, S, S, S};
        // Decoder: the encoder layout is read first from 42 bytes on, then the decoder layout
        // over it; a field the decoder layout does not reach keeps the encoder layout's value.
        QTest::newRow("dec 40") << 2 << 40 << Tail{2, 0, 0, 1, S, 255, S, S, S};
        QTest::newRow("dec 41") << 2 << 41 << Tail{2, 0, 0, 1, S, 140, S, S, S};
        QTest::newRow("dec 42") << 2 << 42 << Tail{141, 141, 0, 1, S, 140, S, S, S};
        QTest::newRow("dec 43") << 2 << 43 << Tail{141, 142, 142, 1, S, 140, S, S, S};
        QTest::newRow("dec 45") << 2 << 45 << Tail{141, 142, 143, 144, 144, 140, S, S, S};
        QTest::newRow("dec 46") << 2 << 46 << Tail{141, 142, 143, 144, 144, 140, 145, S, S};
        QTest::newRow("dec 47") << 2 << 47 << Tail{141, 142, 143, 144, 144, 140, 145, 146, S};
        QTest::newRow("dec 48") << 2 << 48 << Tail{141, 142, 143, 144, 144, 140, 145, 146, 147};
        QTest::newRow("dec 54") << 2 << 54 << Tail{141, 142, 143, 144, 153, 140, 145, 146, 147};
    }
    void tailAtEveryLength()
    {
        QFETCH(int, role); QFETCH(int, length); QFETCH(Tail, expected);
        ElementFeedback record;
        record.UDP_Response_Version_Major = record.UDP_Response_Version_Minor = record.UDP_Response_SFN = S;
        record.UDP_Response_Buffer = record.UDP_Response_Attenuation = record.UDP_Response_SilDet_Mode = S;
        record.UDP_Response_SilDet_Level = record.UDP_Response_SilDet_Time = record.UDP_Response_Low_Latency = S;
        QCOMPARE(decodeFeedback(baseMessage(quint8(role)).left(length), record), FeedbackCheck::Ok);
        QCOMPARE(tailOf(record), expected);
    }

    // The limits of the checks and the serial number as read; a message that fails still
    // leaves what it carried in the record. (Each failing field's message is tst_station's.)
    void checkLimitsAndSerial_data()
    {
        QTest::addColumn<int>("offset"); QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<FeedbackCheck>("check"); QTest::addColumn<qint32>("serial");
        QTest::newRow("element type 0 passes") << 35 << bytes({0}) << FeedbackCheck::Ok << 1234;
        QTest::newRow("address 0.0.0.0 passes") << 0 << bytes({0, 0, 0, 0}) << FeedbackCheck::Ok << 1234;
        QTest::newRow("mask byte 255 passes") << 7 << bytes({255}) << FeedbackCheck::Ok << 1234;
        QTest::newRow("serial 7F FF FF FF") << 36 << bytes({0x7f, 0xff, 0xff, 0xff}) << FeedbackCheck::Ok << 2147483647;
        QTest::newRow("serial 80 00 00 00") << 36 << bytes({0x80, 0, 0, 0}) << FeedbackCheck::SerialNumber
                                            << qint32(-2147483647 - 1);
    }
    void checkLimitsAndSerial()
    {
        QFETCH(int, offset); QFETCH(QByteArray, wire); QFETCH(FeedbackCheck, check); QFETCH(qint32, serial);
        ElementFeedback record;
        QCOMPARE(decodeFeedback(baseMessage(2).replace(offset, wire.size(), wire), record), check);
        QCOMPARE(record.UDP_Response_Serial_Number, serial);
    }

    void checksRunInOrder()
    {
        QByteArray m = baseMessage(1).left(45);
        m[36] = char(0x80), m[35] = char(7), m[18] = char(2), m[17] = char(2);
        ElementFeedback record;
        QCOMPARE(decodeFeedback(m, record), FeedbackCheck::AudioType);
        m[17] = char(0);
        QCOMPARE(decodeFeedback(m, record), FeedbackCheck::TxType);
        m[18] = char(0);
        QCOMPARE(decodeFeedback(m, record), FeedbackCheck::ElementType);
        m[35] = char(1);
        QCOMPARE(decodeFeedback(m, record), FeedbackCheck::SerialNumber);
    }

    // The fixed part read from the wire (the name one character per byte, Latin-1), and the
    // encoder's message for what was read is the same message again (the decoder's five
    // unused bytes as zeros).
    void fixedPartAndRoundTrip_data()
    {
        QTest::addColumn<int>("role"); QTest::addColumn<int>("length");
        QTest::newRow("encoder") << 1 << 45;
        QTest::newRow("unknown") << 0 << 45;
        QTest::newRow("decoder") << 2 << 54;
    }
    void fixedPartAndRoundTrip()
    {
        QFETCH(int, role); QFETCH(int, length);
        QByteArray m = baseMessage(quint8(role)).left(length);
        m[19] = char(0xE9);
        if (role == 2)
            m.replace(48, 5, QByteArray(5, '\0'));
        ElementFeedback f;
        QCOMPARE(decodeFeedback(m, f), FeedbackCheck::Ok);
        QCOMPARE((QStringList{f.UDP_Response_IP, f.UDP_Response_Mask, f.UDP_Response_GW, f.UDP_Response_Remote_IP}),
                 (QStringList{"10.0.0.5", "255.255.255.0", "10.0.0.1", "239.1.1.1"}));
        QCOMPARE((QList<int>{f.UDP_Response_Audio_Input, f.UDP_Response_Audio_Type, f.UDP_Response_TX_Type,
                             f.UDP_Response_Role, f.UDP_Response_Serial_Number}),
                 (QList<int>{1, 0, 1, role, 1234}));
        QCOMPARE(f.UDP_Response_Name, QString(QChar(0xE9)) + QStringLiteral("TUDIO A        "));
        QCOMPARE(encodeFeedback(f).toHex(' '), m.toHex(' '));
        // A longer name is cut to its 16 bytes.
        f.UDP_Response_Name = QStringLiteral("a name longer than sixteen");
        QCOMPARE(encodeFeedback(f).mid(19, 16), QByteArray("a name longer th"));
    }

    // Name and address fields of the 37-byte command (the whole command's bytes are
    // tst_sendconfiguration's).
    void commandFields_data()
    {
        QTest::addColumn<QString>("name"); QTest::addColumn<QByteArray>("nameWire");
        QTest::addColumn<QString>("address"); QTest::addColumn<QByteArray>("addressWire");
        QTest::newRow("20 characters cut, upper case") << "transmitter north 12" << QByteArray("TRANSMITTER NORT")
                                                       << "192.168.1.20" << bytes({192, 168, 1, 20});
        QTest::newRow("exactly 16") << "0123456789abcdef" << QByteArray("0123456789ABCDEF")
                                    << " 10. 0 .0 . 7 " << bytes({10, 0, 0, 7});
        // One byte per character: the low 8 bits of its code (U+20AC -> 0xAC).
        QTest::newRow("beyond Latin-1") << QStringLiteral("\u20AC1") << (QByteArray("\xac" "1") + QByteArray(14, ' '))
                                        << "255.255.255.255" << bytes({255, 255, 255, 255});
    }
    void commandFields()
    {
        QFETCH(QString, name); QFETCH(QByteArray, nameWire); QFETCH(QString, address); QFETCH(QByteArray, addressWire);
        ConfigCommand c{false, "10.0.0.5", "255.255.255.0", "10.0.0.1", "10.0.0.9", 1, 1, 0, 0, name, 0, 0, 0, 0, 1};
        c.ip = c.gw = address;
        const QByteArray command = encodeConfigCommand(c);
        QCOMPARE(command.size(), 37);
        QCOMPARE(command.mid(0, 12).toHex(' '), (addressWire + bytes({255, 255, 255, 0}) + addressWire).toHex(' '));
        QCOMPARE(command.mid(20, 16), nameWire);
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("ip"); QTest::addColumn<bool>("answered"); QTest::addColumn<B>("hardware");
        QTest::addColumn<bool>("found"); QTest::addColumn<QString>("mac");
        const QString ip = QStringLiteral("127.0.0.2");
        QTest::newRow("six bytes") << ip << true << kMac << true << "00:1A:2B:3C:4D:5E";
        QTest::newRow("only the last bytes set") << ip << true << B("\0\0\0\0\x4d\x5e", 6) << false << "unchanged";
        QTest::newRow("empty answer") << ip << true << B() << false << "unchanged";
        QTest::newRow("no answer") << ip << false << kMac << false << "unchanged";
        QTest::newRow("not six bytes") << ip << true << B("\x02\x1a\x2b\x3c\x4d\x5e\x6f\x70", 8) << true << "";
        // Never reach the lookup: inet_addr's refusals, a part above 255, a C string cut short.
        for (const QString &bad : {QStringLiteral("0.0.0.0"), QStringLiteral("255.255.255.255"), QString(),
                                   QStringLiteral("a.b.c.d"), QStringLiteral("10.0.0.256"), QStringLiteral("10.0.0.1\0x")})
            QTest::newRow(qPrintable(bad)) << bad << true << kMac << false << "unchanged";
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

QTEST_APPLESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
