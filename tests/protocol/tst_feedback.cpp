#include "protocol/Feedback.h"

#include <QtTest>

namespace {

constexpr quint8 S = 77;   // sentinel left in the record by an "earlier message"

// A valid 54-byte message: 10.0.0.5/255.255.255.0 gw 10.0.0.1 remote 239.1.1.1, name
// "STUDIO A", serial 1234, tail byte at offset k = 100 + k so each field is recognisable.
QByteArray baseMessage(quint8 role)
{
    QByteArray m;
    m.append("\x0a\x00\x00\x05", 4).append("\xff\xff\xff\x00", 4);
    m.append("\x0a\x00\x00\x01", 4).append("\xef\x01\x01\x01", 4);
    m.append(char(1)).append(char(0)).append(char(1));
    m.append("STUDIO A        ", 16);
    m.append(char(role));
    m.append("\x00\x00\x04\xd2", 4);
    for (int k = 40; k < 54; ++k)
        m.append(char(100 + k));
    return m;
}

ElementFeedback sentinelRecord()
{
    ElementFeedback r;
    r.UDP_Response_Version_Major = S;
    r.UDP_Response_Version_Minor = S;
    r.UDP_Response_SFN = S;
    r.UDP_Response_Buffer = S;
    r.UDP_Response_Attenuation = S;
    r.UDP_Response_SilDet_Mode = S;
    r.UDP_Response_SilDet_Level = S;
    r.UDP_Response_SilDet_Time = S;
    r.UDP_Response_Low_Latency = S;
    return r;
}

using Tail = QList<int>;   // major, minor, sfn, buffer, low latency, attenuation, mode, level, time

Tail tailOf(const ElementFeedback &r)
{
    return {r.UDP_Response_Version_Major, r.UDP_Response_Version_Minor, r.UDP_Response_SFN,
            r.UDP_Response_Buffer, r.UDP_Response_Low_Latency, r.UDP_Response_Attenuation,
            r.UDP_Response_SilDet_Mode, r.UDP_Response_SilDet_Level, r.UDP_Response_SilDet_Time};
}

} // namespace

class tst_Feedback : public QObject {
    Q_OBJECT
private slots:
    void routesEveryLength_data();
    void routesEveryLength();
    void tailAtEveryLength_data();
    void tailAtEveryLength();
    void fixedPartDecoded();
    void singleCheckFails_data();
    void singleCheckFails();
    void serialNumber_data();
    void serialNumber();
    void checksRunInOrder();
    void shortInputLeavesRecord();
    void checkTexts_data();
    void checkTexts();
    void roundTrip_data();
    void roundTrip();
};

void tst_Feedback::routesEveryLength_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<DatagramRoute>("route");
    QTest::newRow("empty to 2") << 0 << 2 << DatagramRoute::Ignored;
    QTest::newRow("3, the level request echo") << 3 << 3 << DatagramRoute::Ignored;
    QTest::newRow("too short for the fixed part") << 4 << 39 << DatagramRoute::Ignored;
    QTest::newRow("feedback 40..54") << 40 << 54 << DatagramRoute::Feedback;
    QTest::newRow("55..1200") << 55 << 1200 << DatagramRoute::Ignored;
    QTest::newRow("level block 1201") << 1201 << 1201 << DatagramRoute::AudioLevel;
    QTest::newRow("largest UDP payload") << 65507 << 65507 << DatagramRoute::AudioLevel;
}

void tst_Feedback::routesEveryLength()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(DatagramRoute, route);
    for (int length = from; length <= to; ++length)
        QVERIFY2(routeDatagram(length) == route, qPrintable(QString::number(length)));
}

void tst_Feedback::tailAtEveryLength_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("length");
    QTest::addColumn<Tail>("expected");
    // Encoder: nothing of the tail before 42 bytes; byte 44 is the low latency option.
    QTest::newRow("enc 40") << 1 << 40 << Tail{2, 0, 0, 0, S, S, S, S, S};
    QTest::newRow("enc 41") << 1 << 41 << Tail{2, 0, 0, 0, S, S, S, S, S};
    QTest::newRow("enc 42") << 1 << 42 << Tail{140, 141, 0, 0, S, S, S, S, S};
    QTest::newRow("enc 43") << 1 << 43 << Tail{140, 141, 142, 0, S, S, S, S, S};
    QTest::newRow("enc 44") << 1 << 44 << Tail{140, 141, 142, 143, S, S, S, S, S};
    for (int length = 45; length <= 54; ++length)
        QTest::addRow("enc %d", length) << 1 << length << Tail{140, 141, 142, 143, 144, S, S, S, S};
    QTest::newRow("unknown 45") << 0 << 45 << Tail{140, 141, 142, 143, 144, S, S, S, S};
    // Decoder: the encoder layout is read first from 42 bytes on, then the decoder layout
    // over it; a field the decoder layout does not reach keeps the encoder layout's value.
    QTest::newRow("dec 40") << 2 << 40 << Tail{2, 0, 0, 1, S, 255, S, S, S};
    QTest::newRow("dec 41") << 2 << 41 << Tail{2, 0, 0, 1, S, 140, S, S, S};
    QTest::newRow("dec 42") << 2 << 42 << Tail{141, 141, 0, 1, S, 140, S, S, S};
    QTest::newRow("dec 43") << 2 << 43 << Tail{141, 142, 142, 1, S, 140, S, S, S};
    QTest::newRow("dec 44") << 2 << 44 << Tail{141, 142, 143, 1, S, 140, S, S, S};
    QTest::newRow("dec 45") << 2 << 45 << Tail{141, 142, 143, 144, 144, 140, S, S, S};
    QTest::newRow("dec 46") << 2 << 46 << Tail{141, 142, 143, 144, 144, 140, 145, S, S};
    QTest::newRow("dec 47") << 2 << 47 << Tail{141, 142, 143, 144, 144, 140, 145, 146, S};
    for (int length = 48; length <= 53; ++length)
        QTest::addRow("dec %d", length) << 2 << length << Tail{141, 142, 143, 144, 144, 140, 145, 146, 147};
    QTest::newRow("dec 54") << 2 << 54 << Tail{141, 142, 143, 144, 153, 140, 145, 146, 147};
}

void tst_Feedback::tailAtEveryLength()
{
    QFETCH(int, role);
    QFETCH(int, length);
    QFETCH(Tail, expected);
    ElementFeedback record = sentinelRecord();
    QCOMPARE(decodeFeedback(baseMessage(quint8(role)).left(length), record), FeedbackCheck::Ok);
    QCOMPARE(tailOf(record), expected);
}

void tst_Feedback::fixedPartDecoded()
{
    QByteArray m = baseMessage(1);
    m[19] = char(0xE9);   // Latin-1 e acute: one character per byte
    ElementFeedback record;
    QCOMPARE(decodeFeedback(m.left(45), record), FeedbackCheck::Ok);
    QCOMPARE(record.UDP_Response_IP, QStringLiteral("10.0.0.5"));
    QCOMPARE(record.UDP_Response_Mask, QStringLiteral("255.255.255.0"));
    QCOMPARE(record.UDP_Response_GW, QStringLiteral("10.0.0.1"));
    QCOMPARE(record.UDP_Response_Remote_IP, QStringLiteral("239.1.1.1"));
    QCOMPARE(record.UDP_Response_Audio_Input, quint8(1));
    QCOMPARE(record.UDP_Response_Audio_Type, quint8(0));
    QCOMPARE(record.UDP_Response_TX_Type, quint8(1));
    QCOMPARE(record.UDP_Response_Name, QString(QChar(0xE9)) + QStringLiteral("TUDIO A        "));
    QCOMPARE(record.UDP_Response_Role, quint8(1));
    QCOMPARE(record.UDP_Response_Serial_Number, 1234);
}

void tst_Feedback::singleCheckFails_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    QTest::addColumn<FeedbackCheck>("check");
    QTest::newRow("audio input 2") << 16 << 2 << FeedbackCheck::AudioInput;
    QTest::newRow("audio type 2") << 17 << 2 << FeedbackCheck::AudioType;
    QTest::newRow("tx type 255") << 18 << 255 << FeedbackCheck::TxType;
    QTest::newRow("element type 3") << 35 << 3 << FeedbackCheck::ElementType;
    QTest::newRow("element type 0 passes") << 35 << 0 << FeedbackCheck::Ok;
    QTest::newRow("serial first byte 128") << 36 << 128 << FeedbackCheck::SerialNumber;
    QTest::newRow("address 0.0.0.0 passes") << 0 << 0 << FeedbackCheck::Ok;
    QTest::newRow("mask byte 255 passes") << 7 << 255 << FeedbackCheck::Ok;
}

void tst_Feedback::singleCheckFails()
{
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(FeedbackCheck, check);
    QByteArray m = baseMessage(1).left(45);
    m[offset] = char(value);
    ElementFeedback record;
    QCOMPARE(decodeFeedback(m, record), check);
    // A message that fails still leaves what it carried in the record.
    QCOMPARE(int(quint8(m.at(offset))), value);
    QCOMPARE(record.UDP_Response_Role, quint8(m.at(35)));
}

void tst_Feedback::serialNumber_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("serial");
    QTest::addColumn<bool>("passes");
    QTest::newRow("00 00 80 00") << QByteArray("\x00\x00\x80\x00", 4) << 32768 << true;
    QTest::newRow("00 00 00 01") << QByteArray("\x00\x00\x00\x01", 4) << 1 << true;
    QTest::newRow("7F FF FF FF") << QByteArray("\x7f\xff\xff\xff", 4) << 2147483647 << true;
    QTest::newRow("zero") << QByteArray("\x00\x00\x00\x00", 4) << 0 << false;
    QTest::newRow("80 00 00 00") << QByteArray("\x80\x00\x00\x00", 4) << qint32(-2147483647 - 1) << false;
    QTest::newRow("FF FF FF FF") << QByteArray("\xff\xff\xff\xff", 4) << -1 << false;
}

void tst_Feedback::serialNumber()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, serial);
    QFETCH(bool, passes);
    QByteArray m = baseMessage(2);
    m.replace(36, 4, bytes);
    ElementFeedback record;
    QCOMPARE(decodeFeedback(m, record), passes ? FeedbackCheck::Ok : FeedbackCheck::SerialNumber);
    QCOMPARE(record.UDP_Response_Serial_Number, serial);
}

void tst_Feedback::checksRunInOrder()
{
    QByteArray m = baseMessage(1).left(45);
    m[36] = char(0x80);
    m[35] = char(7);
    m[18] = char(2);
    m[17] = char(2);
    ElementFeedback record;
    QCOMPARE(decodeFeedback(m, record), FeedbackCheck::AudioType);
    m[17] = char(0);
    QCOMPARE(decodeFeedback(m, record), FeedbackCheck::TxType);
    m[18] = char(0);
    QCOMPARE(decodeFeedback(m, record), FeedbackCheck::ElementType);
    m[35] = char(1);
    QCOMPARE(decodeFeedback(m, record), FeedbackCheck::SerialNumber);
}

void tst_Feedback::shortInputLeavesRecord()
{
    ElementFeedback record = sentinelRecord();
    record.UDP_Response_IP = QStringLiteral("1.2.3.4");
    for (int length : {0, 1, 3, 39}) {
        QCOMPARE(decodeFeedback(baseMessage(1).left(length), record), FeedbackCheck::ElementIP);
        QCOMPARE(record.UDP_Response_IP, QStringLiteral("1.2.3.4"));
        QCOMPARE(record.UDP_Response_Buffer, S);
    }
}

void tst_Feedback::checkTexts_data()
{
    QTest::addColumn<FeedbackCheck>("check");
    QTest::addColumn<QString>("field");
    QTest::newRow("ip") << FeedbackCheck::ElementIP << "Element IP";
    QTest::newRow("mask") << FeedbackCheck::ElementMask << "Element Mask";
    QTest::newRow("gw") << FeedbackCheck::ElementGW << "Element GW";
    QTest::newRow("remote") << FeedbackCheck::RemoteIP << "Remote / Multicast IP";
    QTest::newRow("input") << FeedbackCheck::AudioInput << "Audio Input";
    QTest::newRow("type") << FeedbackCheck::AudioType << "Audio Type";
    QTest::newRow("tx") << FeedbackCheck::TxType << "TX Type";
    QTest::newRow("role") << FeedbackCheck::ElementType << "Element Type";
    QTest::newRow("serial") << FeedbackCheck::SerialNumber << "Serial Number";
}

void tst_Feedback::checkTexts()
{
    QFETCH(FeedbackCheck, check);
    QFETCH(QString, field);
    const QString line = QStringLiteral("An error occured while retrieving '") + field + QStringLiteral("':");
    QCOMPARE(feedbackCheckText(check), line);
    QCOMPARE(feedbackCorruptedMessage(feedbackCheckText(check)),
             line + QStringLiteral("\rFeedback is corrupted."));
    QVERIFY(feedbackCheckText(FeedbackCheck::Ok).isEmpty());
}

void tst_Feedback::roundTrip_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("length");
    QTest::newRow("encoder") << 1 << 45;
    QTest::newRow("unknown") << 0 << 45;
    QTest::newRow("decoder") << 2 << 54;
}

void tst_Feedback::roundTrip()
{
    QFETCH(int, role);
    QFETCH(int, length);
    ElementFeedback f;
    f.UDP_Response_IP = QStringLiteral("192.168.1.10");
    f.UDP_Response_Mask = QStringLiteral("255.255.0.0");
    f.UDP_Response_GW = QStringLiteral("192.168.1.1");
    f.UDP_Response_Remote_IP = QStringLiteral("239.0.0.7");
    f.UDP_Response_Audio_Input = 1;
    f.UDP_Response_Audio_Type = 1;
    f.UDP_Response_TX_Type = 1;
    f.UDP_Response_Name = QStringLiteral("a name longer than sixteen");
    f.UDP_Response_Role = quint8(role);
    f.UDP_Response_Serial_Number = 16909060;
    f.UDP_Response_Version_Major = 3;
    f.UDP_Response_Version_Minor = 1;
    f.UDP_Response_SFN = 1;
    f.UDP_Response_Buffer = 5;
    f.UDP_Response_Low_Latency = 1;
    if (role == 2) {
        f.UDP_Response_Attenuation = 12;
        f.UDP_Response_SilDet_Mode = 2;
        f.UDP_Response_SilDet_Level = 30;
        f.UDP_Response_SilDet_Time = 9;
    }
    const QByteArray wire = encodeFeedback(f);
    QCOMPARE(wire.size(), length);
    QCOMPARE(routeDatagram(wire.size()), DatagramRoute::Feedback);

    ElementFeedback back = sentinelRecord();
    if (role != 2)
        back.UDP_Response_Attenuation = back.UDP_Response_SilDet_Mode = back.UDP_Response_SilDet_Level =
            back.UDP_Response_SilDet_Time = 0;
    QCOMPARE(decodeFeedback(wire, back), FeedbackCheck::Ok);
    f.UDP_Response_Name = QStringLiteral("a name longer th");
    QCOMPARE(back.UDP_Response_Name, f.UDP_Response_Name);
    QCOMPARE(back.UDP_Response_IP, f.UDP_Response_IP);
    QCOMPARE(back.UDP_Response_Remote_IP, f.UDP_Response_Remote_IP);
    QCOMPARE(back.UDP_Response_Serial_Number, f.UDP_Response_Serial_Number);
    QCOMPARE(tailOf(back), tailOf(f));
}

QTEST_APPLESS_MAIN(tst_Feedback)
#include "tst_feedback.moc"
