// One SNTP exchange with a server: the request, every reply checked, the transit on the monotonic clock.
#pragma once

#include "time_protocol/net_io.h"
#include "time_protocol/sample.h"

#include <QHostAddress>
#include <QtGlobal>
#include <functional>

namespace Sntp {
// This clock in microseconds since 1970.
qint64 systemNowUsec();

// Sends one request over `link` and waits at most `limitMs` for a good reply. Bad replies (forged, not
// synchronized, kiss-o'-death, impossible stamps...) are read past, however many arrive, until a good one or the limit;
// "port unreachable" ends it at once. `nowUsec` reads this clock when the request leaves;
// the reply's arrival is that reading plus the monotonic time elapsed.
Sample exchange(NetIo::DatagramLink& link, int limitMs, const std::function<qint64()>& nowUsec = systemNowUsec);
// The same with `address`:`port`.
Sample exchange(const QHostAddress& address, quint16 port, int limitMs,
                const std::function<qint64()>& nowUsec = systemNowUsec);
} // namespace Sntp
