// The simulator process on loopback, seen from a socket of the test's own: its answers' bytes, options
// and faults. Own addresses in 127.77.x.y and ports shifted by 20000: no clash with a station or each other.
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtTest>

namespace {

constexpr quint16 kOffset = 20000, kPaging = 1901 + kOffset, kMain = 2976 + kOffset, kLevel = 2977 + kOffset;
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
