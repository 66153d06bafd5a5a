// The tray icon's tooltip: the 64-byte field built from the next scheduled synchronization, and the longer text
// that replaces it once a synchronization has ended.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace TrayTooltip {
constexpr int kFieldBytes = 64;

// "HORAVANE " CR "Next " date " at " time NUL, padded with blanks after the NUL to 64 bytes; a longer text is
// cut to the field, keeping a terminating NUL (and never splitting a character).
QByteArray field(const QString& scheduleDate, const QString& scheduleTime);

// The last outcome in one line, safe to show: "Clock corrected by +0.004 s (NTS) at 10:42 AM", "Clock already
// right (±0.5 s) at 10:42 AM", or "Clock not set at 10:42 AM: " and why.
QString outcomeLine(bool succeeded, const QString& outcome, const QTime& at);
// The outcome line, then "Next synchronization at 11:41 AM" (" on 12/11/2026" when not today), or "No
// synchronization due" when `due` is invalid.
QString text(const QString& outcomeLine, const QDateTime& now, const QDateTime& due);
} // namespace TrayTooltip
