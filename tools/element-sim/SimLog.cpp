#include "SimLog.h"

#include "ElementModel.h"
#include "protocol/ConfigCommand.h"

#include <QDateTime>
#include <QtEndian>
#include <cstdio>

namespace sim {

namespace {

QString endpoint(const QHostAddress &a, quint16 port)
{
    QHostAddress plain = a;
    // Sockets bound to 0.0.0.0 report IPv4 peers as IPv4-mapped IPv6; show them plainly.
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    if (ok)
        plain = QHostAddress(v4);
    return plain.isNull() ? QStringLiteral("?:%1").arg(port)
                          : QStringLiteral("%1:%2").arg(plain.toString()).arg(port);
}

QString describeConfig(const QByteArray &d)
{
    const std::optional<ConfigCommand> c = decodeConfigCommand(d);
    if (!c)
        return QStringLiteral("configuration command that does not decode");
    QString s = QStringLiteral("configuration command (%1 form) ip %2 mask %3 gw %4 remote %5 "
                               "input %6 type %7 tx %8 sfn %9")
                    .arg(c->decoder ? QStringLiteral("decoder") : QStringLiteral("encoder"),
                         c->ip, c->mask, c->gw, c->remote)
                    .arg(c->audioInput).arg(c->audioType).arg(c->audioTx).arg(c->sfn);
    s += QStringLiteral(" name \"%1\"").arg(c->name);
    if (c->decoder)
        s += QStringLiteral(" buffer %1 sildet %2/%3/%4")
                 .arg(c->buffer).arg(c->silDetMode).arg(c->silDetLevel).arg(c->silDetTime);
    s += QStringLiteral(" low-latency %1").arg(c->lowLatency);
    return s;
}

} // namespace

QString hexHead(const QByteArray &datagram, int count)
{
    QString s = QString::fromLatin1(datagram.left(count).toHex(' ').toUpper());
    if (datagram.size() > count)
        s += QStringLiteral(" ...");
    return s;
}

QString describeDatagram(PortRole port, const QByteArray &d)
{
    const QString unknown = QStringLiteral("unknown (%1 bytes)").arg(d.size());
    switch (port) {
    case PortRole::Paging:
        return d == pagingRequest() ? QStringLiteral("paging request") : unknown;
    case PortRole::Main:
        return d.size() == 37 || d.size() == 41 ? describeConfig(d) : unknown;
    case PortRole::Level:
        if (d == QByteArrayLiteral("VOL"))
            return QStringLiteral("level request");
        if (d.size() == 2)
            return QStringLiteral("attenuation command %1").arg(quint8(d[0]));
        return unknown;
    case PortRole::Status:
        if (d == QByteArrayLiteral("GetDel") || d == QByteArrayLiteral("GetStats")
            || d == QByteArrayLiteral("RstStats"))
            return QString::fromLatin1(d);
        if (d.size() == 6 && d[0] == 'S')
            return QStringLiteral("set-delay command delay %1 ns auto-servo %2")
                .arg(qFromBigEndian<qint32>(d.constData() + 1))
                .arg(quint8(d[5]));
        return unknown;
    }
    return unknown;
}

void SimLog::received(const QString &element, PortRole port, const QHostAddress &from,
                      quint16 fromPort, const QHostAddress &to, quint16 toPort,
                      const QByteArray &datagram) const
{
    if (!m_enabled)
        return;
    line(QStringLiteral("[%1] RX %2 -> %3 len %4: %5 | %6")
             .arg(element, endpoint(from, fromPort), endpoint(to, toPort))
             .arg(datagram.size())
             .arg(describeDatagram(port, datagram), hexHead(datagram)));
}

void SimLog::sent(const QString &element, const QHostAddress &to, quint16 toPort,
                  const QString &what, const QByteArray &datagram) const
{
    if (!m_enabled)
        return;
    line(QStringLiteral("[%1] TX -> %2 len %3: %4 | %5")
             .arg(element, endpoint(to, toPort))
             .arg(datagram.size())
             .arg(what, hexHead(datagram)));
}

void SimLog::note(const QString &element, const QString &text) const
{
    if (m_enabled)
        line(QStringLiteral("[%1] -- %2").arg(element, text));
}

void SimLog::problem(const QString &element, const QString &text) const
{
    const QString s = QStringLiteral("%1 [%2] !! %3\n")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")),
                               element, text);
    std::fputs(s.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    if (m_enabled)
        line(QStringLiteral("[%1] !! %2").arg(element, text));
}

void SimLog::line(const QString &text) const
{
    const QString s = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz "))
                      + text + QLatin1Char('\n');
    std::fputs(s.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace sim
