// The built-in lists of Internet time servers and the address the connection check tries.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace ServerLists {
// The Time Protocol window's 22 entries; the first is the default server.
QStringList timeProtocolServers();
// The selection dialog's 45 entries.
QStringList internetServers();
// The first entry of the Time Protocol list.
QString defaultServer();
// What the built-in list says of a host, case and a trailing dot ignored: true when it offers NTS, false when
// it is known not to (NIST), nothing when the list does not know it.
std::optional<bool> offersNts(const QString& host);
// Three NTS servers of operators other than `chosenHost`'s (known by the list, or by the domain of a host it
// does not name), each of its own operator, to check its answer.
inline constexpr int kWitnessCount = 3;
QStringList ntsWitnesses(const QString& chosenHost);
// $HORAVANE_CHECK_URL when set, else the built-in address.
QString internetCheckUrl();
} // namespace ServerLists
