// Dates and times as texts, through the default locale.
#include "platform/date_text.h"

#include <QLocale>
#include <QRegularExpression>

namespace DateText {
namespace {
// The first run of characters between two fields of a locale's format: "M/d/yy" gives "/", "dd.MM.yy" gives ".".
QString separatorOf(const QString& format, const QString& fallback) {
    int i = 0;
    while (i < format.size() && format.at(i).isLetter())
        ++i;
    QString separator;
    while (i < format.size() && !format.at(i).isLetter() && format.at(i) != QLatin1Char('\''))
        separator += format.at(i++);
    return separator.isEmpty() || separator.trimmed().isEmpty() ? fallback : separator;
}

// A pattern with "/" and ":" replaced by the user's separators, quoted so that Qt takes them literally.
QString localPattern(QString pattern) {
    auto quoted = [](QString text) {
        return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    };
    pattern.replace(QLatin1Char('/'), quoted(dateSeparator()));
    pattern.replace(QLatin1Char(':'), quoted(timeSeparator()));
    return pattern;
}
} // namespace

QString dateSeparator() {
    return separatorOf(QLocale().dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
}
QString timeSeparator() {
    return separatorOf(QLocale().timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
}

QString clockTime(const QTime& t) {
    return QLocale().toString(t, localPattern(QStringLiteral("hh:mm AP")));
}
QString clockDate(const QDate& d) {
    return QLocale().toString(d, localPattern(QStringLiteral("MM/dd/yyyy")));
}
QString scheduleTime(const QTime& t) {
    return QLocale().toString(t, localPattern(QStringLiteral("hh:mm:ss AP")));
}
QString scheduleDate(const QDate& d) {
    return QLocale().toString(d, QStringLiteral("MMMM dd yyyy"));
}
QString syncedTime(const QTime& t) {
    return QLocale().toString(t, localPattern(QStringLiteral("hh:mm:ss AP")));
}
QString syncedDate(const QDate& d) {
    return QLocale().toString(d, localPattern(QStringLiteral("dddd MM/dd/yyyy")));
}
QString shortDate(const QDate& d) {
    return QLocale().toString(d, QLocale::ShortFormat);
}

QString timeWithSeconds(const QTime& t) {
    // The locale's long time form without its time-zone part.
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return QLocale().toString(t, format.trimmed());
}

QString generalDate(const QDateTime& dt) {
    if (dt.time() == QTime(0, 0) && dt.date().isValid())
        return shortDate(dt.date());
    if (!dt.isValid())
        return timeWithSeconds(QTime(0, 0));
    return shortDate(dt.date()) + QLatin1Char(' ') + timeWithSeconds(dt.time());
}

QTime parseScheduleTime(const QString& text) {
    return QLocale().toTime(text.trimmed(), localPattern(QStringLiteral("hh:mm:ss AP")));
}

QDate parseScheduleDate(const QString& text) {
    return QLocale().toDate(text.trimmed(), QStringLiteral("MMMM dd yyyy"));
}
} // namespace DateText
