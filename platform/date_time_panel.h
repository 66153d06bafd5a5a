// Which program opens the desktop's own date and time settings.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace DateTimePanel {
// The command line (program, then its arguments) of the date and time settings: those of the desktops named in
// `currentDesktops` (XDG_CURRENT_DESKTOP, names separated by ':') first, then any other desktop's, each only when
// `installed` says its program is there. Empty when none is.
QStringList choose(const QString& currentDesktops, const std::function<bool(const QString&)>& installed);
} // namespace DateTimePanel
