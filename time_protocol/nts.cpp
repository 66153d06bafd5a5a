// Network Time Security: not yet built; every host reads as one that does not offer it.
#include "time_protocol/nts.h"

namespace Nts {
Options Options::fromEnvironment() {
    Options options;
    bool ok = false;
    const int ke = qEnvironmentVariableIntValue("HORAVANE_NTS_PORT", &ok);
    if (ok && ke > 0 && ke < 65536)
        options.kePort = quint16(ke);
    const int ntp = qEnvironmentVariableIntValue("HORAVANE_SNTP_PORT", &ok);
    if (ok && ntp > 0 && ntp < 65536)
        options.ntpPort = quint16(ntp);
    options.caFile = qEnvironmentVariable("HORAVANE_CA_FILE");
    return options;
}

Result synchronize(const QString& host, const Options&) {
    Result result;
    result.offer = Offer::No;
    result.sample.road = QStringLiteral("NTS");
    result.sample.why = QStringLiteral("%1 does not offer NTS").arg(host);
    return result;
}

bool completedBefore(const QString&) {
    return false;
}
} // namespace Nts
