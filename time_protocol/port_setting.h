// The ports that tests may point elsewhere through the environment, read the same way by both programs.
#pragma once

#include <QtGlobal>

namespace PortSetting {
// The port in the environment variable `name`, or `fallback` when it is unset or no port number.
inline quint16 fromEnvironment(const char* name, quint16 fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 && value < 65536 ? static_cast<quint16>(value) : fallback;
}
} // namespace PortSetting
