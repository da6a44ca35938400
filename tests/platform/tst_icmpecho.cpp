// ICMP echo over loopback: answers, refusals, and the life cycle (cancel, replace, restart or delete from the slot).

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

#define REQUIRE_SOCKET(kind)                                                                                   \
    if (!IcmpEcho::canOpen(kind))                                                                              \
    QSKIP("NO ICMP SOCKET OF THIS KIND: datagram sockets need the group in net.ipv4.ping_group_range, raw ones " \
          "CAP_NET_RAW; not tested here")

const QList<QPair<const char *, Kind>> kKinds = {
    {"automatic", Kind::Automatic}, {"datagram", Kind::Datagram}, {"raw", Kind::Raw}};

void addKinds()
{
    QTest::addColumn<Kind>("kind");
    for (const auto &[name, kind] : kKinds)
        QTest::newRow(name) << kind;
}

} // namespace

class tst_IcmpEcho : public QObject {
    Q_OBJECT
private slots:
    void loopbackAnswers_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QByteArray>("payload");
        for (const auto &[name, kind] : kKinds) {
            QTest::addRow("%s hello", name) << kind << kHello;
            // Bigger than the receive buffer: the reply arrives cut short and still counts.
            QTest::addRow("%s 3000 bytes", name) << kind << QByteArray(3000, 'x');
        }
    }

    void loopbackAnswers()
    {
        QFETCH(Kind, kind);
        QFETCH(QByteArray, payload);
        REQUIRE_SOCKET(kind);
        IcmpEcho echo;
        echo.setSocketKind(kind);
        QSignalSpy spy(&echo, &IcmpEcho::finished);
        QVERIFY2(echo.start(kLoopback, payload, 3000), qPrintable(echo.failureReason()));
        // The answer comes through the event loop, never from inside start().
        QVERIFY(spy.isEmpty() && echo.isBusy());
        if (kind != Kind::Automatic)
            QCOMPARE(echo.socketKindUsed(), kind);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.at(0).at(0).toInt(), IcmpEcho::kSuccess);
        QVERIFY(!echo.isBusy());
    }

    void refusedAddresses()
    {
        for (const char *address : {"0.0.0.0", "255.255.255.255", "abc", "", "127.0.1", "127.0.0.256",
                                    " 127.0.0.1", "127.0.0.1.", "localhost"}) {
            IcmpEcho echo;
            QSignalSpy spy(&echo, &IcmpEcho::finished);
            QVERIFY2(!echo.start(QString::fromLatin1(address), kHello, 3000), address);
            QVERIFY(!echo.failureReason().isEmpty() && !echo.isBusy());
            QTest::qWait(20);
            QCOMPARE(spy.count(), 0);
        }
    }

    void cancelReplaceAndTwoAtOnce_data() { addKinds(); }
    void cancelReplaceAndTwoAtOnce()
    {
        // A cancelled or replaced request drops its reply; raw sockets see every reply on the
        // host, and each request must take only its own.
        QFETCH(Kind, kind);
        REQUIRE_SOCKET(kind);
        IcmpEcho echo, other;
        echo.setSocketKind(kind);
        other.setSocketKind(kind);
        QSignalSpy spy(&echo, &IcmpEcho::finished), otherSpy(&other, &IcmpEcho::finished);
        QVERIFY2(echo.start(kLoopback, kHello, 3000), qPrintable(echo.failureReason()));
        echo.cancel();
        QVERIFY(!echo.isBusy());
        QVERIFY(echo.start(kLoopback, kHello, 3000) && echo.start(kLoopback, kHello, 3000));
        QVERIFY(other.start(kLoopback, kHello, 3000));
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1 && otherSpy.count() >= 1, 5000);
        QTest::qWait(300);   // loopback answers well within this; a reply that slipped through would show
        QCOMPARE(spy.count() + otherSpy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toInt() + otherSpy.at(0).at(0).toInt(), 2 * IcmpEcho::kSuccess);
    }

    void drivenFromItsOwnSlot()
    {
        // As the main window does: the next ping starts from the slot of the previous one's
        // result, and the slot of the last result deletes the object.
        REQUIRE_SOCKET(Kind::Automatic);
        QPointer<IcmpEcho> echo = new IcmpEcho;
        QList<int> statuses;
        connect(echo.data(), &IcmpEcho::finished, this, [&](int status) {
            statuses.append(status);
            if (statuses.size() < 3)
                QVERIFY(echo->start(kLoopback, kHello, 3000));
            else
                delete echo.data();
        });
        QVERIFY2(echo->start(kLoopback, kHello, 3000), qPrintable(echo->failureReason()));
        QTRY_VERIFY_WITH_TIMEOUT(echo.isNull(), 10000);
        QCOMPARE(statuses, QList<int>({0, 0, 0}));
        // Deleted while a request is pending: no call ever comes.
        int calls = 0;
        {
            IcmpEcho pending;
            connect(&pending, &IcmpEcho::finished, this, [&] { ++calls; });
            QVERIFY(pending.start(kLoopback, kHello, 3000));
        }
        QTest::qWait(200);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(tst_IcmpEcho)
#include "tst_icmpecho.moc"
