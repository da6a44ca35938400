#include "protocol/ConfigCommand.h"

#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

ConfigCommand encoderAbc()
{
    ConfigCommand c;
    c.ip = QStringLiteral("10.0.0.5");
    c.mask = QStringLiteral("255.255.255.0");
    c.gw = QStringLiteral("10.0.0.1");
    c.remote = QStringLiteral("10.0.0.9");
    c.audioInput = 1;   // Analog
    c.audioType = 1;    // MPX
    c.audioTx = 0;      // Unicast
    c.sfn = 0;
    c.name = QStringLiteral("abc");
    c.lowLatency = 1;
    return c;
}

} // namespace

class tst_ConfigCommand : public QObject {
    Q_OBJECT
private slots:
    void encoderCommand();
    void decoderCommand();
    void nameBytes_data();
    void nameBytes();
    void addressParts_data();
    void addressParts();
    void decodeForSimulator();
    void pagingRequestBytes();
};

void tst_ConfigCommand::encoderCommand()
{
    QByteArray expected = bytes({10, 0, 0, 5, 255, 255, 255, 0, 10, 0, 0, 1, 10, 0, 0, 9,
                                 1, 1, 0, 0, 65, 66, 67});
    expected.append(13, ' ');
    expected.append(char(1));
    QCOMPARE(expected.size(), 37);
    QCOMPARE(encodeConfigCommand(encoderAbc()), expected);
}

void tst_ConfigCommand::decoderCommand()
{
    ConfigCommand c = encoderAbc();
    c.decoder = true;
    c.remote = QStringLiteral("239.192.0.1");   // the decoder's multicast group
    c.audioInput = 0;   // hidden lists of a decoder still travel
    c.audioTx = 1;
    c.sfn = 1;
    c.name = QStringLiteral("Site 2");
    c.buffer = 7;
    c.silDetMode = 2;
    c.silDetLevel = 40;
    c.silDetTime = 15;
    c.lowLatency = 0;
    const QByteArray wire = encodeConfigCommand(c);
    QCOMPARE(wire.size(), 41);
    QCOMPARE(wire.mid(12, 4), bytes({239, 192, 0, 1}));
    QCOMPARE(wire.mid(16, 4), bytes({0, 1, 1, 1}));
    QCOMPARE(wire.mid(20, 16), QByteArray("SITE 2          "));
    QCOMPARE(wire.mid(36), bytes({7, 2, 40, 15, 0}));
}

void tst_ConfigCommand::nameBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("20 characters cut, upper case")
        << QStringLiteral("transmitter north 12") << QByteArray("TRANSMITTER NORT");
    QTest::newRow("exactly 16") << QStringLiteral("0123456789abcdef") << QByteArray("0123456789ABCDEF");
    QTest::newRow("empty") << QString() << QByteArray(16, ' ');
    // One byte per character: the low 8 bits of its code (U+20AC -> 0xAC).
    QTest::newRow("beyond Latin-1") << QStringLiteral("\u20AC1")
                                    << (QByteArray("\xac" "1") + QByteArray(14, ' '));
}

void tst_ConfigCommand::nameBytes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, wire);
    ConfigCommand c = encoderAbc();
    c.name = name;
    const QByteArray command = encodeConfigCommand(c);
    QCOMPARE(command.size(), 37);
    QCOMPARE(command.mid(20, 16), wire);
    QCOMPARE(command.at(36), char(1));   // the low latency byte stays in place
}

void tst_ConfigCommand::addressParts_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("plain") << QStringLiteral("192.168.1.20") << bytes({192, 168, 1, 20});
    QTest::newRow("blanks around parts") << QStringLiteral(" 10. 0 .0 . 7 ") << bytes({10, 0, 0, 7});
    QTest::newRow("0.0.0.0") << QStringLiteral("0.0.0.0") << bytes({0, 0, 0, 0});
    QTest::newRow("broadcast") << QStringLiteral("255.255.255.255") << bytes({255, 255, 255, 255});
}

void tst_ConfigCommand::addressParts()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, wire);
    ConfigCommand c = encoderAbc();
    c.ip = address;
    c.gw = address;
    const QByteArray command = encodeConfigCommand(c);
    QCOMPARE(command.mid(0, 4), wire);
    QCOMPARE(command.mid(8, 4), wire);
    QCOMPARE(command.mid(4, 4), bytes({255, 255, 255, 0}));
}

void tst_ConfigCommand::decodeForSimulator()
{
    ConfigCommand c = encoderAbc();
    c.decoder = true;
    c.buffer = 3;
    c.silDetMode = 1;
    c.silDetLevel = 20;
    c.silDetTime = 60;
    const std::optional<ConfigCommand> back = decodeConfigCommand(encodeConfigCommand(c));
    QVERIFY(back);
    QVERIFY(back->decoder);
    QCOMPARE(back->ip, c.ip);
    QCOMPARE(back->remote, c.remote);
    QCOMPARE(back->name, QStringLiteral("ABC             "));
    QCOMPARE(back->buffer, 3);
    QCOMPARE(back->silDetMode, 1);
    QCOMPARE(back->silDetLevel, 20);
    QCOMPARE(back->silDetTime, 60);
    QCOMPARE(back->lowLatency, 1);

    const std::optional<ConfigCommand> encoder = decodeConfigCommand(encodeConfigCommand(encoderAbc()));
    QVERIFY(encoder);
    QVERIFY(!encoder->decoder);
    QCOMPARE(encoder->lowLatency, 1);
    QCOMPARE(encoder->audioInput, 1);

    for (int length : {0, 36, 38, 40, 42})
        QVERIFY(!decodeConfigCommand(QByteArray(length, '\1')));
}

void tst_ConfigCommand::pagingRequestBytes()
{
    const QByteArray request = pagingRequest();
    QCOMPARE(request.size(), 32);
    QCOMPARE(request, QByteArray("ZENTORAL QUORVANE PAGING REQUEST"));
}

QTEST_APPLESS_MAIN(tst_ConfigCommand)
#include "tst_configcommand.moc"
