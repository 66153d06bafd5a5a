// The tray icon's 64-byte tooltip field, built from the next scheduled synchronization.
#pragma once

#include <QByteArray>
#include <QString>

namespace TrayTooltip {
constexpr int kFieldBytes = 64;

// "HORAVANE " CR "Next " date " at " time NUL, padded with blanks after the NUL to 64 bytes; a longer text is
// cut to the field, keeping a terminating NUL (and never splitting a character).
QByteArray field(const QString& scheduleDate, const QString& scheduleTime);
} // namespace TrayTooltip
