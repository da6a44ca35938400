// The simulator process on loopback, seen from a socket of the test's own: its answers' bytes, options
// and faults. Own addresses in 127.77.x.y and ports shifted by 20000: no clash with a station or each other.
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include "diagnostics/LevelBlock.h"

namespace {

constexpr quint16 kOffset = 20000, kPaging = 1901 + kOffset, kMain = 2976 + kOffset, kLevel = 2977 + kOffset,
                  kStatus = 2978 + kOffset;
const QByteArray kPagingRequest("ZENTORAL QUORVANE PAGING REQUEST");

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
QStringList args(const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// The worked example's 37-byte encoder command ("abc", 10.0.0.5/24, gw .1, unicast to .9, Analog, MPX,
// SFN off, low latency on), and what an encoder with serial 1000, firmware 3.4, buffer 0 answers.
const QByteArray kWorkedHead = hex("0A000005 FFFFFF00 0A000001 0A000009 01 01 00");
const QByteArray kWorkedCommand = kWorkedHead + hex("00") + "ABC" + QByteArray(13, ' ') + hex("01");
const QByteArray kWorkedFeedback = kWorkedHead + "ABC" + QByteArray(13, ' ') + hex("01 000003E8 03 04 00 00 01");
const QStringList kWorkedEncoder = args("--role encoder --serial 1000 --version 3.4 --buffer 0");

QHostAddress freshAddress()   // in a /24 of 127.77/16 chosen per run, four per element
{
    static const quint32 net = 0x7F4D0000u | (QRandomGenerator::global()->bounded(1u, 255u) << 8);
    static quint32 host = 0;
    return QHostAddress(net + (host += 4));   // room for a few consecutive elements each
}

qint32 field(const QByteArray &record, int offset) { return qFromBigEndian<qint32>(record.constData() + offset); }

qint32 sample(const QByteArray &block, int k) { return field(block, 3 * k) >> 8; }   // 24-bit two's complement

// A simulator process, started and waited for (bounded), killed at the end; the station's side: a socket on loopback.
struct Sim {
    explicit Sim(const QStringList &options, const QHostAddress &at = freshAddress(), bool wait = true) : address(at)
    {
        m_socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, &m_socket,
                         [this] { while (m_socket.hasPendingDatagrams()) m_got.append(m_socket.receiveDatagram()); });
        m_process.start(qEnvironmentVariable("BRIVOLTE_SIM"), QStringList{"--ip", at.toString(), "--port-offset",
                        QString::number(kOffset), "--paging", "own", "--log"} + options);
        for (int i = 0; wait && i < 200 && m_process.state() != QProcess::NotRunning && !ready; ++i)
            QTest::qWait(50), ready = output().contains(QStringLiteral("element(s) ready"));
    }
    ~Sim() { m_process.kill(), m_process.waitForFinished(5000); }
    void send(const QByteArray &data, quint16 port, const QHostAddress &to = {}) { m_socket.writeDatagram(data, to.isNull() ? address : to, port); }
    // What came once `count` datagrams have (bounded wait); ask(): the one answer, empty if none or more came.
    QList<QNetworkDatagram> collect(int count, int ms = 5000) { (void)QTest::qWaitFor([&] { return m_got.size() >= count; }, ms); return std::exchange(m_got, {}); }
    QByteArray ask(const QByteArray &data, quint16 port) { send(data, port); const auto got = collect(1); return got.size() == 1 ? got.first().data() : QByteArray(); }
    QString output() { return QString::fromLocal8Bit(m_out += m_process.readAllStandardOutput() + m_process.readAllStandardError()); }
    int exitCode() { return m_process.waitForFinished(10000) ? m_process.exitCode() : -1; }   // -1: still running

    const QHostAddress address;
    bool ready = false;
    QProcess m_process; QByteArray m_out; QUdpSocket m_socket; QList<QNetworkDatagram> m_got;
};

void compareFeedback(QByteArray got, QByteArray want)   // except the five bytes no reader looks at
{
    if (got.size() == 54 && want.size() == 54)
        got.replace(48, 5, QByteArray(5, '\0')), want.replace(48, 5, QByteArray(5, '\0'));
    QCOMPARE(got.toHex(' '), want.toHex(' '));
}

} // namespace

#define START(sim, ...) Sim sim{__VA_ARGS__}; QVERIFY2(sim.ready, qPrintable(sim.output()))

class TestElementSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { if (!QFileInfo(qEnvironmentVariable("BRIVOLTE_SIM")).isExecutable()) QSKIP("BRIVOLTE_SIM (set by CTest) is not the simulator"); }

    void configurationFeedback_data()
    {
        QTest::addColumn<QStringList>("options"); QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("feedback");
        // The worked example's bytes: the corrupt and report rows of faults() compare them whole.
        const QByteArray siteB = hex("C0A8010A FFFF0000 C0A80101 EF010203 00 00 01");
        QTest::newRow("decoder form, every tail field") << args("--role decoder --serial 2147483647 --version 2.7 --attenuation 200")
            << siteB + hex("01") + "SITE B" + QByteArray(10, ' ') + hex("0C 01 64 32 00")
            << siteB + "SITE B" + QByteArray(10, ' ') + hex("02 7FFFFFFF C8 02 07 01 0C 01 64 32 0000000000 00");
        QTest::newRow("encoder form to a decoder keeps its decoder settings")
            << args("--role decoder --serial 5 --version 3.4 --buffer 5 --sildet 2,10,20 --attenuation 14") << kWorkedCommand
            << kWorkedHead + "ABC" + QByteArray(13, ' ') + hex("02 00000005 0E 03 04 00 05 02 0A 14 0000000000 01");
    }
    // Applied, reported back byte for byte from the element's address, and reported again to paging.
    void configurationFeedback()
    {
        QFETCH(QStringList, options); QFETCH(QByteArray, command); QFETCH(QByteArray, feedback);
        START(sim, options);
        sim.send(command, kMain);
        const QList<QNetworkDatagram> got = sim.collect(1);
        QCOMPARE(got.size(), 1);
        compareFeedback(got.first().data(), feedback);
        QCOMPARE(got.first().senderAddress(), sim.address);
        compareFeedback(sim.ask(kPagingRequest, kPaging), feedback);
    }

    void faults_data()
    {
        QTest::addColumn<QStringList>("options"); QTest::addColumn<QByteArray>("request");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QByteArray>("feedback");   // empty: no answer at all
        auto patched = [](int offset, const char *bytes) { return QByteArray(kWorkedFeedback).replace(offset, hex(bytes).size(), hex(bytes)); };
        const QStringList silent = kWorkedEncoder + args("--silent");
        QTest::newRow("silent to paging") << silent << kPagingRequest << kPaging << QByteArray();
        QTest::newRow("paging with another text") << kWorkedEncoder << kPagingRequest + "S" << kPaging << QByteArray();
        QTest::newRow("configuration of 38 bytes") << kWorkedEncoder << kWorkedCommand + hex("00") << kMain << QByteArray();
        // One field of each width and kind; the other address and list fields go the same way.
        const struct { const char *field; int offset; const char *bytes; } corrupt[] = {
            {"ip", 0, "FFFFFFFF"}, {"input", 16, "02"}, {"role", 35, "03"}, {"serial-high", 36, "80000000"},
            {"name", 19, "000102030405060708090A0B0C0D0E0F"}};
        for (const auto &c : corrupt)
            QTest::addRow("corrupt %s", c.field) << kWorkedEncoder + QStringList{"--corrupt", c.field} << kWorkedCommand
                                                 << kMain << patched(c.offset, c.bytes);
        QTest::newRow("corrupt length") << kWorkedEncoder + args("--corrupt length") << kWorkedCommand << kMain << kWorkedFeedback.left(39);
        QTest::newRow("report another name") << kWorkedEncoder + args("--report-name other") << kWorkedCommand << kMain << QByteArray(kWorkedFeedback).replace(19, 16, "other           ");
        QTest::newRow("report another address") << kWorkedEncoder + args("--report-ip 10.9.9.9") << kWorkedCommand << kMain << patched(0, "0A090909");
    }
    void faults()
    {
        QFETCH(QStringList, options); QFETCH(QByteArray, request); QFETCH(quint16, port); QFETCH(QByteArray, feedback);
        START(sim, options);
        if (!feedback.isEmpty())
            return compareFeedback(sim.ask(request, port), feedback);
        // Alive and past the request: a level request sent after it is answered, and nothing else came.
        sim.send(request, port);
        QCOMPARE(sim.ask("VOL", kLevel).size(), 1201);
        QVERIFY(sim.collect(1, 300).isEmpty());
    }

    void levelAnswer_data()
    {
        QTest::addColumn<QStringList>("options"); QTest::addColumn<int>("length");
        QTest::addColumn<qint32>("peak");     // largest positive sample
        QTest::addColumn<qint32>("bound");    // every |sample| <= bound
        QTest::addColumn<QString>("shown");   // the station's level text
        QTest::newRow("default: sine of peak 4194304") << QStringList() << 1201 << 4194304 << 4194304 << "-6dBFS";
        QTest::newRow("sine given in dBFS") << args("--signal sine:-6dBFS") << 1201 << 4204263 << 4204263 << "-6dBFS";
        QTest::newRow("silence") << args("--signal silence") << 1201 << 0 << 0 << "-oodBFS";
        QTest::newRow("all samples negative") << args("--signal dc:-100") << 1201 << 0 << 100 << "-oodBFS";
        QTest::newRow("short block, full scale") << args("--level-bytes 1200 --signal sine:0dBFS") << 1200 << 8388607 << 8388607 << "";
    }
    void levelAnswer()
    {
        QFETCH(QStringList, options); QFETCH(int, length); QFETCH(qint32, peak); QFETCH(qint32, bound); QFETCH(QString, shown);
        START(sim, options);
        const QByteArray block = sim.ask("VOL", kLevel);
        QCOMPARE(block.size(), length);
        for (int k = 0; k < block.size() / 3; ++k)
            QVERIFY2(qAbs(sample(block, k)) <= bound, qPrintable(QStringLiteral("sample %1 is %2").arg(k).arg(sample(block, k))));
        QCOMPARE(levelPeak(block), peak);
        if (!shown.isEmpty())
            QCOMPARE(levelDisplay(peak).text, shown);
        if (peak == 4194304)
            QCOMPARE(block.left(3), hex("400000"));   // the block starts at the crest
    }

    // A decoder's attenuation (offset 40) is set by the 2-byte level-port command; other datagrams do nothing.
    void attenuationApplied()
    {
        START(sim, args("--role decoder --attenuation 255"));
        sim.send(hex("0E00"), kLevel), sim.send(hex("C8 00 00"), kLevel), sim.send("vol", kLevel);
        const QByteArray feedback = sim.ask(kPagingRequest, kPaging);
        QCOMPARE(feedback.size(), 54);
        QCOMPARE(quint8(feedback[40]), quint8(14));
        QVERIFY(sim.collect(1, 300).isEmpty());
    }

    // Both requests answer the whole record, each field in place; the worked set-delay command (100000 ns,
    // auto servo on) shows next while malformed ones change nothing and get no answer; "RstStats" starts
    // the counters of an hour's run over, and they wrap at 2^32 instead of overflowing.
    void statusPort()
    {
        START(sim, args("--sfn 1 --uptime 3600 --delay-avg 120000 --delay-min -5 --delay-max 2147483647 "
                        "--servo-correction -150 --clock-diff 7 --additional-delay 12345 --auto-servo 1"));
        auto delays = [](const QByteArray &r) { return QList<qint32>{field(r, 24), field(r, 28), field(r, 40), field(r, 44),
                                                                     field(r, 48), field(r, 52), field(r, 56), quint8(r[60])}; };
        const QList<qint32> configured{7, 120000, 120000, -5, 2147483647, 12345, -150, 1};
        const QByteArray before = sim.ask("GetStats", kStatus);
        QCOMPARE(before.size(), 61);
        QCOMPARE(delays(before), configured);
        QCOMPARE(delays(sim.ask("GetDel", kStatus)), configured);
        QVERIFY(field(before, 0) >= 3600000 && field(before, 32) >= 3600000 && field(before, 16) >= 3600 * 8);   // MAC, audio, PTP
        QVERIFY(field(before, 12) > 0 && field(before, 12) < field(before, 4));

        sim.send("RstStats", kStatus), sim.send(hex("53 000186A0 01"), kStatus);
        QByteArray r = sim.ask("GetStats", kStatus);
        for (int offset : {0, 4, 12, 16, 32, 36})
            QVERIFY2(field(r, offset) < field(before, offset), qPrintable(QString::number(offset)));
        QCOMPARE(r.mid(40, 12), before.mid(40, 12));   // the delays stay
        QCOMPARE(r.mid(52, 4), hex("000186A0"));
        QCOMPARE(quint8(r[60]), quint8(1));

        sim.send(hex("53 FFFFFFFF 00"), kStatus);
        sim.send(hex("53 00000001"), kStatus), sim.send(hex("54 00000002 01"), kStatus);   // one byte short; not 'S'
        sim.send("GetDelay", kStatus);
        r = sim.ask("GetDel", kStatus);
        QCOMPARE(field(r, 52), -1);
        QCOMPARE(quint8(r[60]), quint8(0));
        QVERIFY(sim.collect(1, 300).isEmpty());

        START(wrapped, args("--uptime 4294968"));
        const qint32 frames = field(wrapped.ask("GetStats", kStatus), 0);
        QVERIFY2(frames >= 704 && frames < 100000000, qPrintable(QString::number(frames)));
    }

    void badOptionsRefused_data()
    {
        QTest::addColumn<QStringList>("options");
        for (const char *bad : {"--corrupt checksum", "--signal sine:8388608", "--signal triangle:5", "--role 256",
                                "--gw 10.0.0", "--sildet 1,2", "--version 3", "--count 2 --bind any", "encoder"})
            QTest::newRow(bad) << args(bad);
    }
    void badOptionsRefused()
    {
        QFETCH(QStringList, options);
        Sim sim(options, freshAddress(), false);
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(!sim.output().contains(QStringLiteral("ready")));
    }
};

QTEST_GUILESS_MAIN(TestElementSim)
#include "tst_elementsim.moc"
