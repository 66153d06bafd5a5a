// The test seams of the environment.
#include "time_protocol/port_setting.h"

namespace PortSetting {
namespace {
// The port in `name`, or `fallback` when it is unset or no port number.
quint16 port(const char* name, quint16 fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 && value < 65536 ? static_cast<quint16>(value) : fallback;
}
} // namespace

const Environment& environment() {
    static const Environment read = [] {
        Environment e;
        e.ntsKePort = port("HORAVANE_NTS_PORT", e.ntsKePort);
        e.ntpPort = port("HORAVANE_SNTP_PORT", e.ntpPort);
        e.timePort = port("HORAVANE_TIME_PORT", e.timePort);
        e.caFile = qEnvironmentVariable("HORAVANE_CA_FILE");
        if (qEnvironmentVariableIsSet("HORAVANE_WITNESSES"))
            e.witnesses = qEnvironmentVariable("HORAVANE_WITNESSES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        return e;
    }();
    return read;
}
} // namespace PortSetting
