// The schedule dialog's rules without the window: the 96 quarter-hour texts, the preselection match and the
// reading of a chosen time text.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

namespace ScheduleTimes {
// "12:00 am" to "11:45 pm" in steps of 15 minutes; entry n is 15 n minutes after midnight.
QStringList quarterHours();

// The first entry from index 1 on whose first two characters equal the text's first two; index 0 is never
// examined. -1 when none matches.
int matchingIndex(const QStringList& entries, const QString& text);

// "h:mm am", "hh:mm PM", "hh:mm:ss AM" and the like: hour 1 to 12, a colon (or the user's time separator),
// two-digit minutes, optional two-digit seconds, a blank and an am/pm designator in either case (or the locale's
// own). 12 am is midnight, 12 pm noon. Invalid when the text is not such a time.
QTime parseChosenTime(const QString& text);
} // namespace ScheduleTimes
