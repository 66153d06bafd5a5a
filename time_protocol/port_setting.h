// The ports and servers that tests may point elsewhere through the environment, read once and the same way by
// both programs.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace PortSetting {
struct Environment {
    quint16 ntsKePort = 4460; // HORAVANE_NTS_PORT: the NTS key exchange
    quint16 ntpPort = 123;    // HORAVANE_SNTP_PORT: SNTP and NTS's NTP packets
    quint16 timePort = 37;    // HORAVANE_TIME_PORT: the Time Protocol
    QString caFile;           // HORAVANE_CA_FILE: the certificates NTS trusts instead of the system's
    // HORAVANE_WITNESSES: the servers asked beside the chosen one instead of the built-in ones; set but empty,
    // none.
    std::optional<QStringList> witnesses;
};
// Read the first time it is asked for; later changes of the environment are not seen.
const Environment& environment();
} // namespace PortSetting
