// The simulated element as a separate process on loopback, seen from a socket of the
// test's own: the bytes it answers with, its options and its faults. Each simulator gets
// addresses of its own in 127.77.x.y and ports shifted by 20000, so runs beside a station
// (which holds port 2976 on every address) and beside each other do not collide.
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>
#include <memory>

#include "diagnostics/LevelBlock.h"

namespace {

constexpr quint16 kOffset = 20000;
constexpr quint16 kPaging = 1901 + kOffset;
constexpr quint16 kMain = 2976 + kOffset;
constexpr quint16 kLevel = 2977 + kOffset;
constexpr quint16 kStatus = 2978 + kOffset;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray spaces(int n)
{
    return QByteArray(n, ' ');
}

// The encoder configuration of the worked example: "abc", 10.0.0.5/24, gateway 10.0.0.1,
// remote 10.0.0.9, Analog, MPX, Unicast, SFN off, low latency on.
const QByteArray kWorkedCommand =
    hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00 00") + "ABC" + spaces(13) + hex("01");
// What an encoder with serial 1000, firmware 3.4 and buffer 0 answers to it.
const QByteArray kWorkedFeedback =
    hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00") + "ABC" + spaces(13)
    + hex("01 000003E8 03 04 00 00 01");
const QStringList kWorkedEncoder = {QStringLiteral("--role"), QStringLiteral("encoder"),
                                    QStringLiteral("--serial"), QStringLiteral("1000"),
                                    QStringLiteral("--version"), QStringLiteral("3.4"),
                                    QStringLiteral("--buffer"), QStringLiteral("0")};

QHostAddress freshAddress()
{
    static const quint32 net = 0x7F4D0000u | (QRandomGenerator::global()->bounded(1u, 255u) << 8);
    static quint32 host = 0;
    host += 4;   // room for a few consecutive elements each
    return QHostAddress(net + host);
}

qint32 field(const QByteArray &record, int offset)
{
    return qFromBigEndian<qint32>(record.constData() + offset);
}

qint32 sample(const QByteArray &block, int k)
{
    const quint32 u = (quint32(quint8(block[3 * k])) << 16) | (quint32(quint8(block[3 * k + 1])) << 8)
                      | quint32(quint8(block[3 * k + 2]));
    return (u & 0x800000u) ? qint32(u) - 0x1000000 : qint32(u);
}

// One simulator process; killed when the object goes.
class Sim {
public:
    Sim(const QHostAddress &address, const QStringList &options)
        : m_address(address)
    {
        m_process.setProgram(QString::fromLocal8Bit(qgetenv("BRIVOLTE_SIM")));
        m_process.setArguments(QStringList{QStringLiteral("--ip"), address.toString(),
                                           QStringLiteral("--port-offset"), QString::number(kOffset),
                                           QStringLiteral("--paging"), QStringLiteral("own"),
                                           QStringLiteral("--log")}
                               + options);
        m_process.start();
    }
    ~Sim()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool waitReady()
    {
        for (int i = 0; i < 200 && m_process.state() != QProcess::NotRunning; ++i) {
            m_out += m_process.readAllStandardOutput();
            if (m_out.contains("element(s) ready"))
                return true;
            QTest::qWait(50);
        }
        m_out += m_process.readAllStandardOutput();
        return false;
    }
    QString output()
    {
        m_out += m_process.readAllStandardOutput();
        return QString::fromLocal8Bit(m_out) + QString::fromLocal8Bit(m_process.readAllStandardError());
    }
    QProcess &process() { return m_process; }
    QHostAddress address() const { return m_address; }

private:
    QHostAddress m_address;
    QProcess m_process;
    QByteArray m_out;
};

// The station's side: one socket on loopback, any port (answers go to the sender's).
class Peer {
public:
    Peer()
    {
        m_socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, &m_socket, [this] {
            while (m_socket.hasPendingDatagrams())
                m_got.append(m_socket.receiveDatagram());
        });
    }
    void send(const QByteArray &data, const QHostAddress &to, quint16 port)
    {
        QCOMPARE(m_socket.writeDatagram(data, to, port), qint64(data.size()));
    }
    // Waits (bounded) until `count` datagrams have come; returns what came.
    QList<QNetworkDatagram> collect(int count, int timeoutMs = 5000)
    {
        for (int waited = 0; m_got.size() < count && waited < timeoutMs; waited += 20)
            QTest::qWait(20);
        return std::exchange(m_got, {});
    }
    QByteArray exchange(const QByteArray &data, const QHostAddress &to, quint16 port)
    {
        send(data, to, port);
        const QList<QNetworkDatagram> got = collect(1);
        return got.size() == 1 ? got.first().data() : QByteArray();
    }

private:
    QUdpSocket m_socket;
    QList<QNetworkDatagram> m_got;
};

// Compares two feedback messages, except the five bytes that no reader looks at.
void compareFeedback(const QByteArray &got, const QByteArray &want)
{
    QCOMPARE(got.size(), want.size());
    for (int i = 0; i < got.size(); ++i) {
        if (got.size() == 54 && i >= 48 && i <= 52)
            continue;
        QVERIFY2(got[i] == want[i], qPrintable(QStringLiteral("byte %1: got %2, want %3 (%4)")
                                                   .arg(i).arg(quint8(got[i]), 2, 16, QLatin1Char('0'))
                                                   .arg(quint8(want[i]), 2, 16, QLatin1Char('0'))
                                                   .arg(QString::fromLatin1(got.toHex(' ')))));
    }
}

} // namespace

class TestElementSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString sim = QString::fromLocal8Bit(qgetenv("BRIVOLTE_SIM"));
        if (sim.isEmpty() || !QFileInfo(sim).isExecutable())
            QSKIP("BRIVOLTE_SIM does not name the simulator (set by CTest)");
    }

    void configurationFeedback_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("feedback");

        QTest::newRow("encoder, worked example") << kWorkedEncoder << kWorkedCommand << kWorkedFeedback;
        QTest::newRow("decoder form, every tail field")
            << QStringList{QStringLiteral("--role"), QStringLiteral("decoder"), QStringLiteral("--serial"),
                           QStringLiteral("2147483647"), QStringLiteral("--version"), QStringLiteral("2.7"),
                           QStringLiteral("--attenuation"), QStringLiteral("200")}
            << hex("C0A8010A FFFF0000 C0A80101 EF010203 00 00 01 01") + "SITE B" + spaces(10) + hex("0C 01 64 32 00")
            << hex("C0A8010A FFFF0000 C0A80101 EF010203 00 00 01") + "SITE B" + spaces(10)
                   + hex("02 7FFFFFFF C8 02 07 01 0C 01 64 32 0000000000 00");
        QTest::newRow("encoder form to a decoder keeps its decoder settings")
            << QStringList{QStringLiteral("--role"), QStringLiteral("decoder"), QStringLiteral("--serial"),
                           QStringLiteral("5"), QStringLiteral("--version"), QStringLiteral("3.4"),
                           QStringLiteral("--buffer"), QStringLiteral("5"), QStringLiteral("--sildet"),
                           QStringLiteral("2,10,20"), QStringLiteral("--attenuation"), QStringLiteral("14")}
            << kWorkedCommand
            << hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00") + "ABC" + spaces(13)
                   + hex("02 00000005 0E 03 04 00 05 02 0A 14 0000000000 01");
    }
    // The configuration is applied and reported back byte for byte; on loopback, without
    // an interface of its own, the element keeps listening where it was.
    void configurationFeedback()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, feedback);
        Sim sim(freshAddress(), options);
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;

        peer.send(command, sim.address(), kMain);
        const QList<QNetworkDatagram> got = peer.collect(1);
        QCOMPARE(got.size(), 1);
        compareFeedback(got.first().data(), feedback);
        QCOMPARE(got.first().senderAddress(), sim.address());

        // A paging request afterwards reports the same configuration in force.
        compareFeedback(peer.exchange("ZENTORAL QUORVANE PAGING REQUEST", sim.address(), kPaging), feedback);
        QCOMPARE(peer.exchange("GetDel", sim.address(), kStatus).size(), 61);
    }

    void faults_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QByteArray>("feedback");   // empty: no answer at all

        auto patched = [](int offset, const QByteArray &bytes) {
            return QByteArray(kWorkedFeedback).replace(offset, bytes.size(), bytes);
        };
        const QByteArray paging("ZENTORAL QUORVANE PAGING REQUEST");
        auto row = [&](const char *name, const QStringList &extra, const QByteArray &want) {
            QTest::newRow(name) << kWorkedEncoder + extra << kWorkedCommand << kMain << want;
        };
        QTest::newRow("silent to paging") << kWorkedEncoder + QStringList{QStringLiteral("--silent")}
                                          << paging << kPaging << QByteArray();
        row("silent to configuration", {QStringLiteral("--silent")}, QByteArray());
        QTest::newRow("paging with another text") << kWorkedEncoder << QByteArray("ZENTORAL QUORVANE PAGING REQUESTS")
                                                  << kPaging << QByteArray();
        QTest::newRow("configuration of 38 bytes") << kWorkedEncoder << kWorkedCommand + hex("00") << kMain
                                                   << QByteArray();
        const QStringList corrupt = {QStringLiteral("--corrupt")};
        row("corrupt ip", corrupt + QStringList{QStringLiteral("ip")}, patched(0, hex("FFFFFFFF")));
        row("corrupt mask", corrupt + QStringList{QStringLiteral("mask")}, patched(4, hex("FFFFFFFF")));
        row("corrupt gw", corrupt + QStringList{QStringLiteral("gw")}, patched(8, hex("FFFFFFFF")));
        row("corrupt remote", corrupt + QStringList{QStringLiteral("remote")}, patched(12, hex("FFFFFFFF")));
        row("corrupt input", corrupt + QStringList{QStringLiteral("input")}, patched(16, hex("02")));
        row("corrupt type", corrupt + QStringList{QStringLiteral("type")}, patched(17, hex("02")));
        row("corrupt tx", corrupt + QStringList{QStringLiteral("tx")}, patched(18, hex("02")));
        row("corrupt role", corrupt + QStringList{QStringLiteral("role")}, patched(35, hex("03")));
        row("corrupt serial", corrupt + QStringList{QStringLiteral("serial")}, patched(36, hex("00000000")));
        row("corrupt serial-high", corrupt + QStringList{QStringLiteral("serial-high")}, patched(36, hex("80000000")));
        row("corrupt name", corrupt + QStringList{QStringLiteral("name")},
            patched(19, hex("000102030405060708090A0B0C0D0E0F")));
        row("corrupt length", corrupt + QStringList{QStringLiteral("length")}, kWorkedFeedback.left(39));
        row("report another name", {QStringLiteral("--report-name"), QStringLiteral("other")},
            patched(19, "other" + spaces(11)));
        row("report another address", {QStringLiteral("--report-ip"), QStringLiteral("10.9.9.9")},
            patched(0, hex("0A090909")));
    }
    void faults()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, request);
        QFETCH(quint16, port);
        QFETCH(QByteArray, feedback);
        Sim sim(freshAddress(), options);
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;

        peer.send(request, sim.address(), port);
        if (feedback.isEmpty()) {
            // Proof that the element is alive and has read the request before it: a level
            // request sent after it is answered, and nothing else came.
            peer.send("VOL", sim.address(), kLevel);
            const QList<QNetworkDatagram> got = peer.collect(1);
            QCOMPARE(got.size(), 1);
            QCOMPARE(got.first().data().size(), 1201);
            QVERIFY(peer.collect(1, 300).isEmpty());
            return;
        }
        const QList<QNetworkDatagram> got = peer.collect(1);
        QCOMPARE(got.size(), 1);
        compareFeedback(got.first().data(), feedback);
    }

    // --delay-ms holds the answer back: a prompt element asked later answers first.
    void delayedAnswerArrivesAfterPromptOne()
    {
        Sim slow(freshAddress(), kWorkedEncoder + QStringList{QStringLiteral("--delay-ms"), QStringLiteral("1500")});
        Sim prompt(freshAddress(), kWorkedEncoder);
        QVERIFY2(slow.waitReady(), qPrintable(slow.output()));
        QVERIFY2(prompt.waitReady(), qPrintable(prompt.output()));
        Peer peer;
        peer.send(kWorkedCommand, slow.address(), kMain);
        peer.send(kWorkedCommand, prompt.address(), kMain);
        const QList<QNetworkDatagram> got = peer.collect(2, 10000);
        QCOMPARE(got.size(), 2);
        QCOMPARE(got.at(0).senderAddress(), prompt.address());
        QCOMPARE(got.at(1).senderAddress(), slow.address());
        compareFeedback(got.at(1).data(), kWorkedFeedback);
    }

    void levelAnswer_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("length");
        QTest::addColumn<qint32>("peak");        // largest positive sample; -1: not fixed
        QTest::addColumn<qint32>("bound");       // every |sample| <= bound
        QTest::addColumn<QString>("shown");      // the station's level text; empty: not checked

        QTest::newRow("default: sine of peak 4194304") << QStringList() << 1201 << 4194304 << 4194304
                                                       << QStringLiteral("-6dBFS");
        QTest::newRow("sine given in dBFS") << QStringList{QStringLiteral("--signal"), QStringLiteral("sine:-6dBFS")}
                                            << 1201 << 4204263 << 4204263 << QStringLiteral("-6dBFS");
        QTest::newRow("sine at full scale") << QStringList{QStringLiteral("--signal"), QStringLiteral("sine:0dBFS")}
                                            << 1201 << 8388607 << 8388607 << QString();
        QTest::newRow("silence") << QStringList{QStringLiteral("--signal"), QStringLiteral("silence")} << 1201 << 0 << 0
                                 << QStringLiteral("-oodBFS");
        QTest::newRow("noise") << QStringList{QStringLiteral("--signal"), QStringLiteral("noise:1000")} << 1201 << -1
                               << 1000 << QString();
        QTest::newRow("all samples negative") << QStringList{QStringLiteral("--signal"), QStringLiteral("dc:-100")}
                                              << 1201 << 0 << 100 << QStringLiteral("-oodBFS");
        QTest::newRow("short block") << QStringList{QStringLiteral("--level-bytes"), QStringLiteral("1200")} << 1200
                                     << 4194304 << 4194304 << QString();
    }
    void levelAnswer()
    {
        QFETCH(QStringList, options);
        QFETCH(int, length);
        QFETCH(qint32, peak);
        QFETCH(qint32, bound);
        QFETCH(QString, shown);
        Sim sim(freshAddress(), options);
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;

        const QByteArray block = peer.exchange("VOL", sim.address(), kLevel);
        QCOMPARE(block.size(), length);
        qint32 largest = 0;
        for (int k = 0; k < block.size() / 3; ++k) {
            const qint32 v = sample(block, k);
            QVERIFY2(qAbs(v) <= bound, qPrintable(QStringLiteral("sample %1 is %2").arg(k).arg(v)));
            largest = qMax(largest, v);
        }
        if (peak >= 0)
            QCOMPARE(largest, peak);
        if (peak == 4194304)
            QCOMPARE(block.left(3), hex("400000"));   // the block starts at the crest
        if (!shown.isEmpty())
            QCOMPARE(levelDisplay(levelPeak(block)).text, shown);
    }

    // The 2-byte command sets the attenuation that a decoder reports at offset 40;
    // anything else on the level port is neither answered nor applied.
    void attenuationApplied()
    {
        Sim sim(freshAddress(), {QStringLiteral("--role"), QStringLiteral("decoder"),
                                 QStringLiteral("--attenuation"), QStringLiteral("255")});
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;
        peer.send(hex("0E00"), sim.address(), kLevel);
        peer.send(hex("C8 00 00"), sim.address(), kLevel);
        peer.send("vol", sim.address(), kLevel);
        const QByteArray feedback = peer.exchange("ZENTORAL QUORVANE PAGING REQUEST", sim.address(), kPaging);
        QCOMPARE(feedback.size(), 54);
        QCOMPARE(quint8(feedback[40]), quint8(14));
        QVERIFY(peer.collect(1, 300).isEmpty());
    }

    void statusRecord_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("GetDel") << QByteArray("GetDel");
        QTest::newRow("GetStats") << QByteArray("GetStats");
    }
    void statusRecord()
    {
        QFETCH(QByteArray, command);
        Sim sim(freshAddress(), {QStringLiteral("--sfn"), QStringLiteral("1"),
                                 QStringLiteral("--delay-avg"), QStringLiteral("120000"),
                                 QStringLiteral("--delay-min"), QStringLiteral("-5"),
                                 QStringLiteral("--delay-max"), QStringLiteral("2147483647"),
                                 QStringLiteral("--servo-correction"), QStringLiteral("-150"),
                                 QStringLiteral("--clock-diff"), QStringLiteral("7"),
                                 QStringLiteral("--additional-delay"), QStringLiteral("12345"),
                                 QStringLiteral("--auto-servo"), QStringLiteral("1")});
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;
        peer.send(command, sim.address(), kStatus);
        const QList<QNetworkDatagram> got = peer.collect(1);
        QCOMPARE(got.size(), 1);
        const QByteArray r = got.first().data();
        QCOMPARE(r.size(), 61);
        QCOMPARE(got.first().senderPort(), kStatus);
        QCOMPARE(field(r, 24), 7);
        QCOMPARE(field(r, 28), 120000);
        QCOMPARE(field(r, 40), 120000);
        QCOMPARE(field(r, 44), -5);
        QCOMPARE(field(r, 48), 2147483647);
        QCOMPARE(r.mid(52, 4), hex("00003039"));
        QCOMPARE(r.mid(56, 4), hex("FFFFFF6A"));
        QCOMPARE(quint8(r[60]), quint8(1));
    }

    // The set-delay command of the worked example (100000 ns, auto servo on) shows in the
    // next record; malformed commands change nothing and get no answer.
    void setDelayShowsInNextRecord()
    {
        Sim sim(freshAddress(), {});
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;
        peer.send(hex("53 000186A0 01"), sim.address(), kStatus);
        QByteArray r = peer.exchange("GetDel", sim.address(), kStatus);
        QCOMPARE(r.size(), 61);
        QCOMPARE(field(r, 52), 100000);
        QCOMPARE(quint8(r[60]), quint8(1));

        peer.send(hex("53 FFFFFFFF 00"), sim.address(), kStatus);
        peer.send(hex("53 00000001"), sim.address(), kStatus);        // one byte short
        peer.send(hex("54 00000002 01"), sim.address(), kStatus);     // not 'S'
        peer.send("GetDelay", sim.address(), kStatus);
        r = peer.exchange("GetDel", sim.address(), kStatus);
        QCOMPARE(r.size(), 61);
        QCOMPARE(field(r, 52), -1);
        QCOMPARE(quint8(r[60]), quint8(0));
        QVERIFY(peer.collect(1, 300).isEmpty());
    }

    // An element that has "run" an hour has counted frames; "RstStats" starts them over
    // while the delays stay. The count also wraps at 2^32 instead of overflowing.
    void resetStartsCountersOver()
    {
        Sim sim(freshAddress(), {QStringLiteral("--uptime"), QStringLiteral("3600"),
                                 QStringLiteral("--sfn"), QStringLiteral("1")});
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;
        const QByteArray before = peer.exchange("GetStats", sim.address(), kStatus);
        QCOMPARE(before.size(), 61);
        QVERIFY(field(before, 0) >= 3600000);   // MAC frames sent
        QVERIFY(field(before, 16) >= 3600 * 8);  // PTP synchronisations
        QVERIFY(field(before, 32) >= 3600000);  // audio frames
        QVERIFY(field(before, 12) > 0 && field(before, 12) < field(before, 4));

        peer.send("RstStats", sim.address(), kStatus);
        const QByteArray after = peer.exchange("GetStats", sim.address(), kStatus);
        QCOMPARE(after.size(), 61);
        for (int offset : {0, 4, 12, 16, 32, 36})
            QVERIFY2(field(after, offset) < field(before, offset), qPrintable(QString::number(offset)));
        QCOMPARE(after.mid(40), before.mid(40));

        Sim wrapped(freshAddress(), {QStringLiteral("--uptime"), QStringLiteral("4294968")});
        QVERIFY2(wrapped.waitReady(), qPrintable(wrapped.output()));
        const QByteArray w = peer.exchange("GetStats", wrapped.address(), kStatus);
        QCOMPARE(w.size(), 61);
        QVERIFY2(field(w, 0) >= 704 && field(w, 0) < 100000000, qPrintable(QString::number(field(w, 0))));
    }

    void manyElementsInOneProcess_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("consecutive") << 1;
        QTest::newRow("every other address") << 2;
    }
    // Each element of --count answers from its own address, with its own name and serial.
    void manyElementsInOneProcess()
    {
        QFETCH(int, step);
        const QHostAddress first = freshAddress();
        freshAddress();   // the block of four addresses after it stays free
        Sim sim(first, {QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--step"),
                        QString::number(step), QStringLiteral("--name"), QStringLiteral("el %n"),
                        QStringLiteral("--serial"), QStringLiteral("500")});
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;
        for (int i = 0; i < 3; ++i) {
            const QHostAddress a(first.toIPv4Address() + quint32(i * step));
            peer.send("ZENTORAL QUORVANE PAGING REQUEST", a, kPaging);
            const QList<QNetworkDatagram> got = peer.collect(1);
            QCOMPARE(got.size(), 1);
            const QByteArray m = got.first().data();
            QCOMPARE(got.first().senderAddress(), a);
            QCOMPARE(qFromBigEndian<quint32>(m.constData()), a.toIPv4Address());
            QCOMPARE(m.mid(19, 16), QByteArray("el " + QByteArray::number(1 + i * step)).leftJustified(16, ' '));
            QCOMPARE(field(m, 36), 500 + i * step);
        }
    }

    // One line per datagram received, with where it came from and what it was.
    void logShowsEveryDatagram()
    {
        Sim sim(freshAddress(), kWorkedEncoder);
        QVERIFY2(sim.waitReady(), qPrintable(sim.output()));
        Peer peer;
        peer.send(kWorkedCommand, sim.address(), kMain);
        peer.send("VOL", sim.address(), kLevel);
        peer.send(hex("53 000186A0 01"), sim.address(), kStatus);
        peer.send("junk", sim.address(), kStatus);
        QCOMPARE(peer.collect(2).size(), 2);
        QString out;
        for (int i = 0; i < 100 && out.count(QStringLiteral(" RX ")) < 4; ++i) {
            QTest::qWait(20);
            out = sim.output();
        }
        const QStringList rx = out.split(QLatin1Char('\n')).filter(QStringLiteral(" RX "));
        QCOMPARE(rx.size(), 4);
        QVERIFY(rx[0].contains(QStringLiteral("len 37")) && rx[0].contains(QStringLiteral("ip 10.0.0.5")));
        QVERIFY(rx[1].contains(QStringLiteral("level request")));
        QVERIFY(rx[2].contains(QStringLiteral("delay 100000 ns auto-servo 1")));
        QVERIFY(rx[3].contains(QStringLiteral("unknown (4 bytes)")) && rx[3].contains(QStringLiteral("6A 75 6E 6B")));
    }

    void badOptionsRefused_data()
    {
        QTest::addColumn<QStringList>("options");
        auto row = [](const char *name, const QStringList &o) { QTest::newRow(name) << o; };
        row("unknown fault field", {QStringLiteral("--corrupt"), QStringLiteral("checksum")});
        row("peak above full scale", {QStringLiteral("--signal"), QStringLiteral("sine:8388608")});
        row("unknown signal", {QStringLiteral("--signal"), QStringLiteral("triangle:5")});
        row("role beyond a byte", {QStringLiteral("--role"), QStringLiteral("256")});
        row("address with three parts", {QStringLiteral("--gw"), QStringLiteral("10.0.0")});
        row("silence detector with two values", {QStringLiteral("--sildet"), QStringLiteral("1,2")});
        row("version without minor", {QStringLiteral("--version"), QStringLiteral("3")});
        row("several elements on one bound address", {QStringLiteral("--count"), QStringLiteral("2"),
                                                      QStringLiteral("--bind"), QStringLiteral("any")});
        row("stray argument", {QStringLiteral("encoder")});
    }
    void badOptionsRefused()
    {
        QFETCH(QStringList, options);
        Sim sim(freshAddress(), options);
        QVERIFY(sim.process().waitForFinished(10000));
        QCOMPARE(sim.process().exitCode(), 2);
        QVERIFY(!sim.output().contains(QStringLiteral("ready")));
    }

    // A second element on an address and port already held fails at once, and the first
    // one keeps answering.
    void portAlreadyHeld()
    {
        const QHostAddress a = freshAddress();
        Sim first(a, {});
        QVERIFY2(first.waitReady(), qPrintable(first.output()));
        Sim second(a, {});
        QVERIFY(second.process().waitForFinished(10000));
        QCOMPARE(second.process().exitCode(), 3);
        QVERIFY(second.output().contains(QStringLiteral("cannot bind")));
        Peer peer;
        QCOMPARE(peer.exchange("GetDel", a, kStatus).size(), 61);
    }
};

QTEST_GUILESS_MAIN(TestElementSim)
#include "tst_elementsim.moc"
