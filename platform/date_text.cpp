// Dates and times as texts, through the default locale.
#include "platform/date_text.h"

#include <QLocale>
#include <QRegularExpression>

namespace DateText {
QString clockTime(const QTime& t) {
    return QLocale().toString(t, QStringLiteral("hh:mm AP"));
}
QString clockDate(const QDate& d) {
    return QLocale().toString(d, QStringLiteral("MM/dd/yyyy"));
}
QString scheduleTime(const QTime& t) {
    return QLocale().toString(t, QStringLiteral("hh:mm:ss AP"));
}
QString scheduleDate(const QDate& d) {
    return QLocale().toString(d, QStringLiteral("MMMM dd yyyy"));
}
QString syncedTime(const QTime& t) {
    return QLocale().toString(t, QStringLiteral("hh:mm:ss AP"));
}
QString syncedDate(const QDate& d) {
    return QLocale().toString(d, QStringLiteral("dddd MM/dd/yyyy"));
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
    return QLocale().toTime(text.trimmed(), QStringLiteral("hh:mm:ss AP"));
}

QDate parseScheduleDate(const QString& text) {
    return QLocale().toDate(text.trimmed(), QStringLiteral("MMMM dd yyyy"));
}
} // namespace DateText
