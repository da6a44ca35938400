#pragma once
// Text of an ICMP echo outcome, by the IP status codes of the echo interface.

#include <QString>
#include <QtGlobal>

constexpr qint64 kIpSuccess = 0;
constexpr qint64 kIpRequestTimedOut = 11010;

// "Success!" for 0, "Request Timed Out" for 11010 … "Unknown Response" for any other code.
QString GetStatusText(qint64 code);
