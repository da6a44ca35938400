#include "SimOptions.h"

#include <QCommandLineParser>
#include <QNetworkInterface>
#include <limits>

namespace sim {

namespace {

const char kDescription[] =
    "A simulated Brivolte network element (encoder or decoder) for the station to talk to.\n"
    "\n"
    "What it answers (ports as given, each shifted by --port-offset):\n"
    "  UDP 1901  paging request (\"ZENTORAL QUORVANE PAGING REQUEST\", usually broadcast):\n"
    "            one feedback message per element to the sender's address and port.\n"
    "  UDP 2976  configuration command (37 bytes encoder form, 41 bytes decoder form):\n"
    "            applied, then one feedback message reporting the configuration in force.\n"
    "  UDP 2977  level request \"VOL\": a block of --level-bytes bytes (default 1201 = 400\n"
    "            samples, 24-bit big-endian two's complement) of the --signal;\n"
    "            attenuation command (2 bytes): applied, no answer.\n"
    "  UDP 2978  \"GetDel\", \"GetStats\": the 61-byte status record; \"RstStats\": counters\n"
    "            to zero, no answer; set-delay command ('S', delay ns, auto-servo byte):\n"
    "            applied, no answer.\n"
    "Answers go to the sender's address and port, from the element's own socket.\n"
    "Counters grow every whole second of uptime: 1000 MAC and audio frames, one bad\n"
    "received and one bad audio frame per thousand, 8 PTP synchronisations while SFN is on;\n"
    "they wrap at 2^32 as a device's 32-bit counters do.\n"
    "\n"
    "Addresses: the element's address is --ip (default: the first IPv4 address of\n"
    "--interface, else 127.0.0.2); its sockets listen on that address unless --bind says\n"
    "otherwise. With --count N the process simulates N elements on N consecutive addresses,\n"
    "each with its own sockets, serial number (counting up) and name (\"%n\" in --name is\n"
    "the element's number, from --number-from by --step; without it \" N\" is appended\n"
    "when N > 1).\n"
    "Paging requests are heard by one socket on 0.0.0.0:1901 shared by all elements (a\n"
    "broadcast reaches no other); a request sent to one element's own address is answered\n"
    "by that element only.\n"
    "\n"
    "Real interface: run as root with --interface IFNAME (inside a network namespace of its\n"
    "own, as the test lab does) and a configuration command that changes the address or\n"
    "mask moves IFNAME to the new address for real (ip addr del/add, a default route via a\n"
    "gateway in the new subnet), so ARP and ping answer there; the sockets follow the\n"
    "address and the feedback leaves from it. If the change fails the old address stays and\n"
    "the feedback reports it. Without --interface a new address is only reported.\n"
    "\n"
    "One wire: as root with --wire IFNAME the process reads every frame on IFNAME through a\n"
    "packet socket and answers ARP, ICMP echo, paging and every UDP exchange for each\n"
    "element's address from the element's own hardware address (--mac, counting up by\n"
    "--step), so IFNAME needs no address and thousands of elements need one interface.\n"
    "--ask-station yes (as real elements do) sends an ARP request for the station's address\n"
    "before every feedback message, so the station learns the element's hardware address;\n"
    "no leaves the station to resolve it. --answer-spread MS spreads the paging answers of\n"
    "the process evenly over MS (0: all at once).\n"
    "\n"
    "Faults: --silent, --delay-ms, --corrupt, --report-name, --report-ip (below).\n"
    "--corrupt FIELD: ip, mask, gw, remote (sent as 255.255.255.255), input, type, tx (sent\n"
    "as 2), role (3), serial (0), serial-high (0x80000000), name (bytes 00..0F), length\n"
    "(the feedback cut to 39 bytes).\n"
    "\n"
    "Exit status: 0 after --help, 2 on a bad option, 3 when a port cannot be bound.";

QCommandLineOption valued(const QStringList &names, const QString &description,
                          const QString &valueName, const QString &defaultValue = QString())
{
    QCommandLineOption o(names, defaultValue.isEmpty()
                                    ? description
                                    : description + QStringLiteral(" Default: %1.").arg(defaultValue),
                         valueName);
    if (!defaultValue.isEmpty())
        o.setDefaultValue(defaultValue);
    return o;
}

class Reader {
public:
    explicit Reader(const QCommandLineParser &p) : m_p(p) {}
    QString error;

    qint64 integer(const QString &name, qint64 lo, qint64 hi)
    {
        const QString text = m_p.value(name);
        bool ok = false;
        const qint64 v = text.trimmed().toLongLong(&ok);
        if (!ok || v < lo || v > hi)
            fail(QStringLiteral("--%1 \"%2\" is not a whole number from %3 to %4").arg(name, text).arg(lo).arg(hi));
        return ok ? qBound(lo, v, hi) : lo;
    }
    quint8 byte(const QString &name) { return quint8(integer(name, 0, 255)); }
    // A byte given by number or by one of `words` (index = value).
    quint8 choice(const QString &name, const QStringList &words)
    {
        const int i = words.indexOf(m_p.value(name).trimmed().toLower());
        return i >= 0 ? quint8(i) : byte(name);
    }
    quint32 address(const QString &name, const QString &text)
    {
        const std::optional<quint32> a = parseDotted(text);
        if (!a)
            fail(QStringLiteral("--%1 \"%2\" is not an IPv4 address").arg(name, text));
        return a.value_or(0);
    }
    void fail(const QString &text)
    {
        if (error.isEmpty())
            error = text;
    }

private:
    const QCommandLineParser &m_p;
};

QString expand(QString pattern, int number, int count)
{
    if (pattern.contains(QLatin1String("%n")))
        return pattern.replace(QLatin1String("%n"), QString::number(number));
    return count > 1 ? pattern + QLatin1Char(' ') + QString::number(number) : pattern;
}

// First IPv4 address and mask of a local interface, host order.
std::optional<std::pair<quint32, quint32>> interfaceAddress(const QString &name)
{
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(name);
    for (const QNetworkAddressEntry &e : iface.addressEntries()) {
        if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return std::make_pair(e.ip().toIPv4Address(), e.netmask().toIPv4Address());
    }
    return std::nullopt;
}

} // namespace

ParseResult parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = p.addHelpOption();

    const QString n = QStringLiteral("N");
    const QString ns = QStringLiteral("NS");
    const QString addr = QStringLiteral("ADDRESS");
    const QList<QCommandLineOption> options = {
        // Identity and configuration in force at start.
        valued({QStringLiteral("role")}, QStringLiteral("encoder, decoder, unknown, or the type byte."), QStringLiteral("ROLE"), QStringLiteral("encoder")),
        valued({QStringLiteral("name")}, QStringLiteral("Element name, up to 16 characters (\"%n\": element number)."), QStringLiteral("TEXT"), QStringLiteral("SIMULATOR")),
        valued({QStringLiteral("serial")}, QStringLiteral("Serial number of the first element (valid: 1..2147483647; any 32-bit value is sent)."), n, QStringLiteral("1000")),
        valued({QStringLiteral("ip")}, QStringLiteral("Address of the first element."), addr),
        valued({QStringLiteral("mask")}, QStringLiteral("Subnet mask (default: the interface's, else 255.255.255.0)."), addr),
        valued({QStringLiteral("gw")}, QStringLiteral("Gateway."), addr, QStringLiteral("0.0.0.0")),
        valued({QStringLiteral("remote")}, QStringLiteral("Remote (unicast destination) or multicast address."), addr, QStringLiteral("239.192.77.1")),
        valued({QStringLiteral("input")}, QStringLiteral("Audio input: digital (0) or analog (1)."), QStringLiteral("INPUT"), QStringLiteral("analog")),
        valued({QStringLiteral("type")}, QStringLiteral("Audio type: lr (0, Left/Right) or mpx (1)."), QStringLiteral("TYPE"), QStringLiteral("mpx")),
        valued({QStringLiteral("tx")}, QStringLiteral("Transmission: unicast (0) or multicast (1)."), QStringLiteral("TX"), QStringLiteral("multicast")),
        valued({QStringLiteral("version"), QStringLiteral("firmware")}, QStringLiteral("Firmware version MAJOR.MINOR."), QStringLiteral("MAJOR.MINOR"), QStringLiteral("3.4")),
        valued({QStringLiteral("sfn")}, QStringLiteral("SFN option 0 or 1."), n, QStringLiteral("0")),
        valued({QStringLiteral("buffer")}, QStringLiteral("Buffer setting."), n, QStringLiteral("0")),
        valued({QStringLiteral("attenuation")}, QStringLiteral("Attenuation (decoder; 255 = 0 dB, 14 = mute)."), n, QStringLiteral("255")),
        valued({QStringLiteral("sildet")}, QStringLiteral("Silence detector mode,level,time (decoder)."), QStringLiteral("M,L,T"), QStringLiteral("0,77,22")),
        valued({QStringLiteral("low-latency")}, QStringLiteral("Low latency option 0 or 1."), n, QStringLiteral("0")),
        // Level and status.
        valued({QStringLiteral("signal")}, QStringLiteral("Audio for level answers: silence, sine:PEAK, noise:PEAK (PEAK 0..8388607 or e.g. -6dBFS), dc:VALUE."), QStringLiteral("SIGNAL"), QStringLiteral("sine:4194304")),
        valued({QStringLiteral("level-bytes")}, QStringLiteral("Size of a level answer in bytes."), n, QStringLiteral("1201")),
        valued({QStringLiteral("delay-avg")}, QStringLiteral("PTP propagation delay, average."), ns, QStringLiteral("120000")),
        valued({QStringLiteral("delay-min")}, QStringLiteral("PTP propagation delay, minimum."), ns, QStringLiteral("110000")),
        valued({QStringLiteral("delay-max")}, QStringLiteral("PTP propagation delay, maximum."), ns, QStringLiteral("130000")),
        valued({QStringLiteral("servo-correction")}, QStringLiteral("Auto-servo correction."), ns, QStringLiteral("-150")),
        valued({QStringLiteral("clock-diff")}, QStringLiteral("PTP clock difference (while SFN is on)."), ns, QStringLiteral("12")),
        valued({QStringLiteral("additional-delay")}, QStringLiteral("Additional delay until a set-delay command."), ns, QStringLiteral("0")),
        valued({QStringLiteral("auto-servo")}, QStringLiteral("Auto-servo byte until a set-delay command (1 = on)."), n, QStringLiteral("0")),
        valued({QStringLiteral("uptime")}, QStringLiteral("Counters start as if running this many seconds."), QStringLiteral("SECONDS"), QStringLiteral("0")),
        // Network.
        valued({QStringLiteral("count")}, QStringLiteral("Number of elements this process simulates."), n, QStringLiteral("1")),
        valued({QStringLiteral("number-from")}, QStringLiteral("Number of the first element (\"%n\" in --name and --interface)."), n, QStringLiteral("1")),
        valued({QStringLiteral("step")}, QStringLiteral("With --count: from one element to the next, the address, number and serial grow by this much (2 interleaves two processes)."), n, QStringLiteral("1")),
        valued({QStringLiteral("bind")}, QStringLiteral("Where the sockets listen: own (the element's address), any, or an address (one element only)."), QStringLiteral("WHERE"), QStringLiteral("own")),
        valued({QStringLiteral("paging")}, QStringLiteral("Paging socket: shared (0.0.0.0), own (each element's address, no broadcast), off."), QStringLiteral("MODE"), QStringLiteral("shared")),
        valued({QStringLiteral("port-offset")}, QStringLiteral("Shift every listening port (for tests beside a station on one host)."), n, QStringLiteral("0")),
        valued({QStringLiteral("interface")}, QStringLiteral("Real interface whose address the element owns (root; \"%n\": element number)."), QStringLiteral("IFNAME")),
        valued({QStringLiteral("wire")}, QStringLiteral("Interface on which every element answers through frames of its own (root; see above)."), QStringLiteral("IFNAME")),
        valued({QStringLiteral("mac")}, QStringLiteral("With --wire: hardware address of the first element."), QStringLiteral("MAC")),
        valued({QStringLiteral("ask-station")}, QStringLiteral("With --wire: ask for the station's address before answering (yes or no)."), QStringLiteral("YES|NO"), QStringLiteral("yes")),
        valued({QStringLiteral("answer-spread")}, QStringLiteral("With --wire: paging answers spread over this time (0: at once)."), QStringLiteral("MS"), QStringLiteral("0")),
        // Faults.
        QCommandLineOption({QStringLiteral("silent")}, QStringLiteral("Answer neither paging requests nor configuration commands (and apply none).")),
        valued({QStringLiteral("delay-ms")}, QStringLiteral("Send every answer this late."), n, QStringLiteral("0")),
        valued({QStringLiteral("corrupt")}, QStringLiteral("Send this feedback field invalid (see above)."), QStringLiteral("FIELD")),
        valued({QStringLiteral("report-name")}, QStringLiteral("Report this name instead of the one in force."), QStringLiteral("TEXT")),
        valued({QStringLiteral("report-ip")}, QStringLiteral("Report this address instead of the one in force."), addr),
        QCommandLineOption({QStringLiteral("log")}, QStringLiteral("One readable line per datagram received (and answer sent) on standard output.")),
    };
    p.addOptions(options);

    ParseResult result;
    if (!p.parse(arguments)) {
        result.output = p.errorText() + QStringLiteral("\nSee --help.");
        result.exitCode = 2;
        return result;
    }
    if (p.isSet(help)) {
        result.output = p.helpText();
        return result;
    }
    if (!p.positionalArguments().isEmpty()) {
        result.output = QStringLiteral("Unexpected argument \"%1\". See --help.").arg(p.positionalArguments().first());
        result.exitCode = 2;
        return result;
    }

    Reader r(p);
    SimSetup setup;
    setup.log = p.isSet(QStringLiteral("log"));
    setup.portOffset = quint16(r.integer(QStringLiteral("port-offset"), 0, 65535 - 2978));
    const QString paging = p.value(QStringLiteral("paging")).toLower();
    if (paging == QLatin1String("shared"))
        setup.paging = PagingMode::Shared;
    else if (paging == QLatin1String("own"))
        setup.paging = PagingMode::Own;
    else if (paging == QLatin1String("off"))
        setup.paging = PagingMode::Off;
    else
        r.fail(QStringLiteral("--paging \"%1\" is not shared, own or off").arg(paging));

    const int count = int(r.integer(QStringLiteral("count"), 1, 4096));
    const int first = int(r.integer(QStringLiteral("number-from"), 0, 1000000));
    const int step = int(r.integer(QStringLiteral("step"), 1, 256));

    ElementConfig base;
    const QString role = p.value(QStringLiteral("role")).toLower();
    base.role = role == QLatin1String("encoder") ? 1
                : role == QLatin1String("decoder") ? 2
                : role == QLatin1String("unknown") ? 0
                : r.byte(QStringLiteral("role"));
    const qint64 serial = r.integer(QStringLiteral("serial"), 0, 0xFFFFFFFFLL);
    base.input = r.choice(QStringLiteral("input"), {QStringLiteral("digital"), QStringLiteral("analog")});
    base.type = r.choice(QStringLiteral("type"), {QStringLiteral("lr"), QStringLiteral("mpx")});
    base.tx = r.choice(QStringLiteral("tx"), {QStringLiteral("unicast"), QStringLiteral("multicast")});
    const QStringList version = p.value(QStringLiteral("version")).split(QLatin1Char('.'));
    bool majorOk = false, minorOk = false;
    const uint major = version.value(0).toUInt(&majorOk);
    const uint minor = version.value(1).toUInt(&minorOk);
    if (version.size() != 2 || !majorOk || !minorOk || major > 255 || minor > 255)
        r.fail(QStringLiteral("--version \"%1\" is not MAJOR.MINOR (each 0..255)").arg(p.value(QStringLiteral("version"))));
    base.versionMajor = quint8(major);
    base.versionMinor = quint8(minor);
    base.sfn = r.byte(QStringLiteral("sfn"));
    base.buffer = r.byte(QStringLiteral("buffer"));
    base.attenuation = r.byte(QStringLiteral("attenuation"));
    const QStringList sildet = p.value(QStringLiteral("sildet")).split(QLatin1Char(','));
    QList<quint8> sd;
    for (const QString &part : sildet) {
        bool ok = false;
        const uint v = part.trimmed().toUInt(&ok);
        if (ok && v <= 255)
            sd.append(quint8(v));
    }
    if (sd.size() != 3 || sildet.size() != 3)
        r.fail(QStringLiteral("--sildet \"%1\" is not MODE,LEVEL,TIME (each 0..255)").arg(p.value(QStringLiteral("sildet"))));
    else {
        base.silDetMode = sd[0];
        base.silDetLevel = sd[1];
        base.silDetTime = sd[2];
    }
    base.lowLatency = r.byte(QStringLiteral("low-latency"));
    base.gw = r.address(QStringLiteral("gw"), p.value(QStringLiteral("gw")));
    base.remote = r.address(QStringLiteral("remote"), p.value(QStringLiteral("remote")));

    DelayConfig delays;
    const qint64 lo = std::numeric_limits<qint32>::min(), hi = std::numeric_limits<qint32>::max();
    delays.average = qint32(r.integer(QStringLiteral("delay-avg"), lo, hi));
    delays.minimum = qint32(r.integer(QStringLiteral("delay-min"), lo, hi));
    delays.maximum = qint32(r.integer(QStringLiteral("delay-max"), lo, hi));
    delays.servoCorrection = qint32(r.integer(QStringLiteral("servo-correction"), lo, hi));
    delays.clockDifference = qint32(r.integer(QStringLiteral("clock-diff"), lo, hi));
    delays.additional = qint32(r.integer(QStringLiteral("additional-delay"), lo, hi));
    delays.autoServo = r.byte(QStringLiteral("auto-servo"));

    ElementFaults faults;
    faults.silent = p.isSet(QStringLiteral("silent"));
    faults.delayMs = int(r.integer(QStringLiteral("delay-ms"), 0, 600000));
    if (p.isSet(QStringLiteral("corrupt"))) {
        const std::optional<Corruption> c = parseCorruption(p.value(QStringLiteral("corrupt")).toLower());
        if (!c)
            r.fail(QStringLiteral("--corrupt \"%1\" is not one of %2")
                       .arg(p.value(QStringLiteral("corrupt")), corruptionNames().join(QStringLiteral(", "))));
        faults.corrupt = c.value_or(Corruption::None);
    }
    faults.reportName = p.value(QStringLiteral("report-name"));
    if (p.isSet(QStringLiteral("report-ip")))
        faults.reportIp = r.address(QStringLiteral("report-ip"), p.value(QStringLiteral("report-ip")));

    QString signalError;
    const std::optional<LevelSignal> signal = parseLevelSignal(p.value(QStringLiteral("signal")), &signalError);
    if (!signal)
        r.fail(QStringLiteral("--signal: %1").arg(signalError));
    const int levelBytes = int(r.integer(QStringLiteral("level-bytes"), 0, 65507));
    const qint64 uptimeMs = r.integer(QStringLiteral("uptime"), 0, 100LL * 365 * 86400) * 1000;

    const QString interfacePattern = p.value(QStringLiteral("interface"));
    if (count > 1 && !interfacePattern.isEmpty() && !interfacePattern.contains(QLatin1String("%n")))
        r.fail(QStringLiteral("--interface needs \"%n\" with --count above 1: each element owns one interface"));

    // The first element's address and mask: given, else the interface's, else loopback.
    std::optional<std::pair<quint32, quint32>> fromInterface;
    if (!interfacePattern.isEmpty())
        fromInterface = interfaceAddress(expand(interfacePattern, first, count));
    quint32 firstIp = 0x7F000002u;   // 127.0.0.2
    if (p.isSet(QStringLiteral("ip")))
        firstIp = r.address(QStringLiteral("ip"), p.value(QStringLiteral("ip")));
    else if (fromInterface)
        firstIp = fromInterface->first;
    quint32 mask = 0xFFFFFF00u;
    if (p.isSet(QStringLiteral("mask")))
        mask = r.address(QStringLiteral("mask"), p.value(QStringLiteral("mask")));
    else if (fromInterface && !p.isSet(QStringLiteral("ip")))
        mask = fromInterface->second;

    QHostAddress bind;   // null: own address
    const QString bindText = p.value(QStringLiteral("bind")).toLower();
    if (bindText == QLatin1String("any"))
        bind = QHostAddress(QHostAddress::AnyIPv4);
    else if (bindText != QLatin1String("own"))
        bind = QHostAddress(r.address(QStringLiteral("bind"), bindText));
    if (!bind.isNull() && count > 1)
        r.fail(QStringLiteral("--bind other than own needs --count 1: elements cannot share ports"));
    if (quint64(firstIp) + quint64(count - 1) * quint64(step) > 0xFFFFFFFFu)
        r.fail(QStringLiteral("--count %1 runs past 255.255.255.255").arg(count));

    setup.wire.interfaceName = p.value(QStringLiteral("wire"));
    setup.wire.portOffset = setup.portOffset;
    setup.wire.answerSpreadMs = int(r.integer(QStringLiteral("answer-spread"), 0, 60000));
    const QString ask = p.value(QStringLiteral("ask-station")).toLower();
    if (ask != QLatin1String("yes") && ask != QLatin1String("no"))
        r.fail(QStringLiteral("--ask-station \"%1\" is not yes or no").arg(ask));
    setup.wire.askStation = ask == QLatin1String("yes");
    std::optional<frames::Mac> firstMac;
    if (!setup.wire.interfaceName.isEmpty()) {
        firstMac = frames::parseMac(p.value(QStringLiteral("mac")));
        if (!firstMac)
            r.fail(QStringLiteral("--wire needs --mac with the first element's hardware address (02:77:01:00:00:01)"));
        if (!interfacePattern.isEmpty() || !bind.isNull() || setup.paging != PagingMode::Shared)
            r.fail(QStringLiteral("--wire takes neither --interface, --bind nor --paging: the wire carries everything"));
    }

    if (!r.error.isEmpty()) {
        result.output = r.error + QStringLiteral("\nSee --help.");
        result.exitCode = 2;
        return result;
    }

    for (int i = 0; i < count; ++i) {
        const int number = first + i * step;
        ElementSetup e;
        e.config = base;
        e.config.ip = firstIp + quint32(i * step);
        e.config.mask = mask;
        e.config.serial = quint32(serial + qint64(i) * step);
        e.config.name = expand(p.value(QStringLiteral("name")), number, count);
        e.delays = delays;
        e.faults = faults;
        e.signal = *signal;
        e.bindAddress = bind;
        e.portOffset = setup.portOffset;
        if (!interfacePattern.isEmpty()) {
            e.interfaceName = expand(interfacePattern, number, count);
            // A later element's address comes from its own interface when it has one.
            if (i > 0 && !p.isSet(QStringLiteral("ip"))) {
                if (const auto own = interfaceAddress(e.interfaceName))
                    e.config.ip = own->first;
            }
        }
        e.ownPagingSocket = setup.paging == PagingMode::Own;
        e.uptimeMs = uptimeMs;
        e.levelLength = levelBytes;
        if (firstMac)
            e.mac = frames::macPlus(*firstMac, quint32(i * step));
        e.label = count > 1 ? QStringLiteral("%1 %2").arg(number).arg(dotted(e.config.ip))
                            : dotted(e.config.ip);
        setup.elements.append(e);
    }
    result.setup = setup;
    return result;
}

} // namespace sim
