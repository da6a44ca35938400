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

// Encoder "abc": Analog input, MPX, Unicast, no SFN, low latency on.
ConfigCommand encoderAbc()
{
    return ConfigCommand{false, QStringLiteral("10.0.0.5"), QStringLiteral("255.255.255.0"),
                         QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.9"), 1, 1, 0, 0,
                         QStringLiteral("abc"), 0, 0, 0, 0, 1};
}

} // namespace

class tst_ConfigCommand : public QObject {
    Q_OBJECT
private slots:
    void encoderCommand()
    {
        QByteArray expected = bytes({10, 0, 0, 5, 255, 255, 255, 0, 10, 0, 0, 1, 10, 0, 0, 9, 1, 1, 0, 0, 65, 66, 67});
        expected.append(13, ' ').append(char(1));
        QCOMPARE(expected.size(), 37);
        QCOMPARE(encodeConfigCommand(encoderAbc()), expected);
    }

    void decoderCommand()
    {
        // A decoder to a multicast group; its hidden lists still travel.
        const ConfigCommand c{true, QStringLiteral("10.0.0.5"), QStringLiteral("255.255.255.0"),
                              QStringLiteral("10.0.0.1"), QStringLiteral("239.192.0.1"), 0, 1, 1, 1,
                              QStringLiteral("Site 2"), 7, 2, 40, 15, 0};
        const QByteArray wire = encodeConfigCommand(c);
        QCOMPARE(wire.size(), 41);
        QCOMPARE(wire.mid(12), bytes({239, 192, 0, 1, 0, 1, 1, 1}) + "SITE 2          " + bytes({7, 2, 40, 15, 0}));
    }

    // Name and address fields of the 37-byte command; the rest stays in place.
    void fields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("nameWire");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("addressWire");
        QTest::newRow("20 characters cut, upper case") << "transmitter north 12" << QByteArray("TRANSMITTER NORT")
                                                       << "192.168.1.20" << bytes({192, 168, 1, 20});
        QTest::newRow("exactly 16") << "0123456789abcdef" << QByteArray("0123456789ABCDEF")
                                    << " 10. 0 .0 . 7 " << bytes({10, 0, 0, 7});
        QTest::newRow("empty") << "" << QByteArray(16, ' ') << "0.0.0.0" << bytes({0, 0, 0, 0});
        // One byte per character: the low 8 bits of its code (U+20AC -> 0xAC).
        QTest::newRow("beyond Latin-1") << QStringLiteral("\u20AC1") << (QByteArray("\xac" "1") + QByteArray(14, ' '))
                                        << "255.255.255.255" << bytes({255, 255, 255, 255});
    }
    void fields()
    {
        QFETCH(QString, name); QFETCH(QByteArray, nameWire); QFETCH(QString, address); QFETCH(QByteArray, addressWire);
        ConfigCommand c = encoderAbc();
        c.name = name;
        c.ip = c.gw = address;
        const QByteArray command = encodeConfigCommand(c);
        QCOMPARE(command.size(), 37);
        QCOMPARE(command.mid(0, 4), addressWire);
        QCOMPARE(command.mid(4, 4), bytes({255, 255, 255, 0}));
        QCOMPARE(command.mid(8, 4), addressWire);
        QCOMPARE(command.mid(20, 16), nameWire);
        QCOMPARE(command.at(36), char(1));
    }

    void decodeForSimulator()
    {
        ConfigCommand c = encoderAbc();
        c.decoder = true;
        c.buffer = 3; c.silDetMode = 1; c.silDetLevel = 20; c.silDetTime = 60;
        const std::optional<ConfigCommand> back = decodeConfigCommand(encodeConfigCommand(c));
        QVERIFY(back && back->decoder);
        QCOMPARE(back->ip, c.ip);
        QCOMPARE(back->remote, c.remote);
        QCOMPARE(back->name, QStringLiteral("ABC             "));
        QCOMPARE(QList<int>({back->buffer, back->silDetMode, back->silDetLevel, back->silDetTime, back->lowLatency}),
                 QList<int>({3, 1, 20, 60, 1}));
        const std::optional<ConfigCommand> encoder = decodeConfigCommand(encodeConfigCommand(encoderAbc()));
        QVERIFY(encoder && !encoder->decoder);
        QCOMPARE(encoder->lowLatency, 1);
        QCOMPARE(encoder->audioInput, 1);
        for (int length : {0, 36, 38, 40, 42})
            QVERIFY(!decodeConfigCommand(QByteArray(length, '\1')));
    }

    void pagingRequestBytes() { QCOMPARE(pagingRequest(), QByteArray("ZENTORAL QUORVANE PAGING REQUEST")); }
};

QTEST_APPLESS_MAIN(tst_ConfigCommand)
#include "tst_configcommand.moc"
