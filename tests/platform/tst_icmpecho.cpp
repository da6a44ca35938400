// ICMP echo over loopback: answers, refusals, and the request's life cycle as the main
// window drives it (cancel, replace, restart or delete from the finished slot).

#include "platform/IcmpEcho.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using platform::IcmpEcho;
using Kind = platform::IcmpEcho::SocketKind;

Q_DECLARE_METATYPE(platform::IcmpEcho::SocketKind)

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");
const QByteArray kHello("hello");

// Skips (loudly) when this process may not open the kind of socket a row asks for.
#define REQUIRE_SOCKET(kind)                                                                  \
    do {                                                                                      \
        if (!IcmpEcho::canOpen(kind))                                                         \
            QSKIP("NO ICMP SOCKET OF THIS KIND: datagram sockets need the group in "          \
                  "net.ipv4.ping_group_range, raw ones root or CAP_NET_RAW; not tested here"); \
    } while (false)

void addKinds()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("automatic") << Kind::Automatic;
    QTest::newRow("datagram") << Kind::Datagram;
    QTest::newRow("raw") << Kind::Raw;
}

} // namespace

class tst_IcmpEcho : public QObject {
    Q_OBJECT
private slots:
    void loopbackAnswers_data();
    void loopbackAnswers();
    void refusedAddresses_data();
    void refusedAddresses();
    void cancelDropsReply_data() { addKinds(); }
    void cancelDropsReply();
    void secondStartReplacesFirst_data() { addKinds(); }
    void secondStartReplacesFirst();
    void twoAtOnceEachGetTheirOwn_data() { addKinds(); }
    void twoAtOnceEachGetTheirOwn();
    void receiverStartsNextRequest();
    void receiverDeletesEcho();
    void deletedWhilePending();
};

void tst_IcmpEcho::loopbackAnswers_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("payload");
    const QList<QPair<const char *, Kind>> kinds = {
        {"automatic", Kind::Automatic}, {"datagram", Kind::Datagram}, {"raw", Kind::Raw}};
    for (const auto &k : kinds) {
        QTest::addRow("%s hello", k.first) << k.second << kHello;
        QTest::addRow("%s empty", k.first) << k.second << QByteArray();
        // Bigger than the receive buffer: the reply arrives cut short and still counts.
        QTest::addRow("%s 3000 bytes", k.first) << k.second << QByteArray(3000, 'x');
    }
}

void tst_IcmpEcho::loopbackAnswers()
{
    QFETCH(Kind, kind);
    QFETCH(QByteArray, payload);
    REQUIRE_SOCKET(kind);

    IcmpEcho echo;
    echo.setSocketKind(kind);
    QSignalSpy spy(&echo, &IcmpEcho::finished);
    QVERIFY2(echo.start(kLoopback, payload, 3000), qPrintable(echo.failureReason()));
    // The answer comes through the event loop, never from inside start().
    QCOMPARE(spy.count(), 0);
    QVERIFY(echo.isBusy());
    if (kind != Kind::Automatic)
        QCOMPARE(echo.socketKindUsed(), kind);

    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
    QVERIFY(!echo.isBusy());
    QTest::qWait(100);
    QCOMPARE(spy.count(), 1);
}

void tst_IcmpEcho::refusedAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("zero") << "0.0.0.0";
    QTest::newRow("limited broadcast") << "255.255.255.255";
    QTest::newRow("word") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("three parts") << "127.0.1";
    QTest::newRow("octet too big") << "127.0.0.256";
    QTest::newRow("leading space") << " 127.0.0.1";
    QTest::newRow("trailing dot") << "127.0.0.1.";
    QTest::newRow("host name") << "localhost";
}

void tst_IcmpEcho::refusedAddresses()
{
    QFETCH(QString, address);
    IcmpEcho echo;
    QSignalSpy spy(&echo, &IcmpEcho::finished);
    QVERIFY(!echo.start(address, kHello, 3000));
    QVERIFY(!echo.failureReason().isEmpty());
    QVERIFY(!echo.isBusy());
    QTest::qWait(50);
    QCOMPARE(spy.count(), 0);
}

void tst_IcmpEcho::cancelDropsReply()
{
    QFETCH(Kind, kind);
    REQUIRE_SOCKET(kind);

    IcmpEcho echo;
    echo.setSocketKind(kind);
    QSignalSpy spy(&echo, &IcmpEcho::finished);
    QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
    echo.cancel();
    QVERIFY(!echo.isBusy());
    // Loopback answers well within this; a reply that slipped through would show here.
    QTest::qWait(300);
    QCOMPARE(spy.count(), 0);

    // The object is usable again afterwards.
    QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
}

void tst_IcmpEcho::secondStartReplacesFirst()
{
    QFETCH(Kind, kind);
    REQUIRE_SOCKET(kind);

    IcmpEcho echo;
    echo.setSocketKind(kind);
    QSignalSpy spy(&echo, &IcmpEcho::finished);
    QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
    QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
    QVERIFY(spy.wait(5000));
    QTest::qWait(300);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
}

void tst_IcmpEcho::twoAtOnceEachGetTheirOwn()
{
    // Raw sockets see every reply on the host; each request must take only its own.
    QFETCH(Kind, kind);
    REQUIRE_SOCKET(kind);

    IcmpEcho first;
    IcmpEcho second;
    first.setSocketKind(kind);
    second.setSocketKind(kind);
    QSignalSpy firstSpy(&first, &IcmpEcho::finished);
    QSignalSpy secondSpy(&second, &IcmpEcho::finished);
    QVERIFY2(first.start(kLoopback, kHello, 3000), qPrintable(first.failureReason()));
    QVERIFY2(second.start(kLoopback, kHello, 3000), qPrintable(second.failureReason()));
    QTRY_VERIFY_WITH_TIMEOUT(firstSpy.count() >= 1 && secondSpy.count() >= 1, 5000);
    QTest::qWait(300);
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(secondSpy.count(), 1);
    QCOMPARE(firstSpy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
    QCOMPARE(secondSpy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
}

void tst_IcmpEcho::receiverStartsNextRequest()
{
    REQUIRE_SOCKET(Kind::Automatic);
    // The next ping is started from the slot of the previous one's result.
    IcmpEcho echo;
    QList<int> statuses;
    connect(&echo, &IcmpEcho::finished, this, [&](int status) {
        statuses.append(status);
        if (statuses.size() < 3)
            QVERIFY(echo.start(kLoopback, kHello, 3000));
    });
    QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
    QTRY_COMPARE_WITH_TIMEOUT(statuses.size(), 3, 10000);
    QCOMPARE(statuses, QList<int>({0, 0, 0}));
    QVERIFY(!echo.isBusy());
}

void tst_IcmpEcho::receiverDeletesEcho()
{
    REQUIRE_SOCKET(Kind::Automatic);
    QPointer<IcmpEcho> echo = new IcmpEcho;
    int status = -1;
    connect(echo.data(), &IcmpEcho::finished, this, [&](int s) {
        status = s;
        delete echo.data();
    });
    QVERIFY2(echo->start(kLoopback, kHello, 3000), qPrintable(echo->failureReason()));
    QTRY_VERIFY_WITH_TIMEOUT(echo.isNull(), 5000);
    QCOMPARE(status, IcmpEcho::kSuccess);
    QTest::qWait(100);   // let any deferred deletion run
}

void tst_IcmpEcho::deletedWhilePending()
{
    REQUIRE_SOCKET(Kind::Automatic);
    int calls = 0;
    {
        IcmpEcho echo;
        connect(&echo, &IcmpEcho::finished, this, [&] { ++calls; });
        QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
    }
    QTest::qWait(200);
    QCOMPARE(calls, 0);
}

QTEST_GUILESS_MAIN(tst_IcmpEcho)
#include "tst_icmpecho.moc"
