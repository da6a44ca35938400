#pragma once
// The UDP ports of the element protocol. The station's sockets are bound to 2976 (main)
// and 2978 (status) on every address; the elements listen on all four.

#include <QtGlobal>

constexpr quint16 kMainPort = 2976;     // feedback, configuration; the station's main socket
constexpr quint16 kPagingPort = 1901;   // the paging request, broadcast
constexpr quint16 kLevelPort = 2977;    // level request and attenuation command
constexpr quint16 kStatusPort = 2978;   // status record, statistics and delay commands
