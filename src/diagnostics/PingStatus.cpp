#include "diagnostics/PingStatus.h"

QString GetStatusText(qint64 code)
{
    switch (code) {
    case 0: return QStringLiteral("Success!");
    case 11001: return QStringLiteral("Buffer Too Small");
    case 11002: return QStringLiteral("Destination Net Unreachable");
    case 11003: return QStringLiteral("Destination Host Unreachable");
    case 11004: return QStringLiteral("Destination Protocol Unreachable");
    case 11005: return QStringLiteral("Destination Port Unreachable");
    case 11006: return QStringLiteral("No Resources");
    case 11007: return QStringLiteral("Bad Option");
    case 11008: return QStringLiteral("Hardware Error");
    case 11009: return QStringLiteral("Packet Too Big");
    case 11010: return QStringLiteral("Request Timed Out");
    case 11011: return QStringLiteral("Bad Request");
    case 11012: return QStringLiteral("Bad Route");
    case 11013: return QStringLiteral("TimeToLive Expired Transit");
    case 11014: return QStringLiteral("TimeToLive Expired Reassembly");
    case 11015: return QStringLiteral("Parameter Problem");
    case 11016: return QStringLiteral("Source Quench");
    case 11017: return QStringLiteral("Option Too Big");
    case 11018: return QStringLiteral("Bad Destination");
    case 11032: return QStringLiteral("Negotiating IPSEC");
    case 11050: return QStringLiteral("General Failure");
    default: return QStringLiteral("Unknown Response");
    }
}
