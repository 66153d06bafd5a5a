// The quarter-hour list, its preselection match and the reading of the chosen time.
#include "dialogs/schedule_times.h"

#include "platform/date_text.h"

#include <QLocale>
#include <QRegularExpression>

namespace ScheduleTimes {
namespace {
void appendHour(QStringList& list, const QString& hour, const QString& designator) {
    for (const char* minutes : {":00 ", ":15 ", ":30 ", ":45 "})
        list << hour + QLatin1String(minutes) + designator;
}

void appendHalfDay(QStringList& list, const QString& designator) {
    appendHour(list, QStringLiteral("12"), designator);
    for (int h = 1; h <= 11; ++h)
        appendHour(list, QString::number(h), designator);
}

// 0 for am, 12 for pm, -1 for neither.
int designatorOffset(const QString& text) {
    const QLocale locale;
    if (text.compare(QLatin1String("am"), Qt::CaseInsensitive) == 0 ||
        text.compare(locale.amText(), Qt::CaseInsensitive) == 0)
        return 0;
    if (text.compare(QLatin1String("pm"), Qt::CaseInsensitive) == 0 ||
        text.compare(locale.pmText(), Qt::CaseInsensitive) == 0)
        return 12;
    return -1;
}
} // namespace

QStringList quarterHours() {
    QStringList list;
    list.reserve(96);
    appendHalfDay(list, QStringLiteral("am"));
    appendHalfDay(list, QStringLiteral("pm"));
    return list;
}

int matchingIndex(const QStringList& entries, const QString& text) {
    const QString lead = text.left(2);
    for (int i = 1; i < entries.size(); ++i) {
        if (entries.at(i).left(2) == lead)
            return i;
    }
    return -1;
}

QTime parseChosenTime(const QString& text) {
    // The list writes ":"; the clock label the user's own separator, and after an Internet synchronization seconds.
    const QString separator = QStringLiteral("(?::|%1)").arg(QRegularExpression::escape(DateText::timeSeparator()));
    const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,2})%1(\\d{2})(?:%1(\\d{2}))?\\s+(\\S+)\\s*$").arg(separator));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return {};
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    const int second = m.captured(3).toInt();
    const int offset = designatorOffset(m.captured(4));
    if (hour < 1 || hour > 12 || minute > 59 || second > 59 || offset < 0)
        return {};
    return QTime(hour % 12 + offset, minute, second);
}
} // namespace ScheduleTimes
