// What a synchronization may do with a correction: apply it, ask the user first, or refuse it with a reason.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace ClockGuard {
// No right clock is older than the program: a server time before this day is never applied.
QDate buildDate();
// ntpd's panic threshold: a larger step is never made unattended, and only after the user agrees otherwise.
constexpr qint64 kLargeStepSeconds = 1000;

enum class Step { Apply, Confirm, Refuse };
struct Verdict {
    Step step = Step::Refuse;
    QString why; // when refused: the status line's words
};
// `certificateExpiredUtc`, when valid, is when the NTS server's certificate expired by this clock: such a time
// is never applied unattended, and a person is always asked first.
Verdict judge(const QDateTime& serverUtc, qint64 correctionUsec, bool userStarted, const QDate& build = buildDate(),
              const QDateTime& certificateExpiredUtc = {});

// The question before a large step: the server's time, this clock's time and the difference; first, when valid,
// the date the server's certificate expired.
QString largeStepQuestion(const QDateTime& serverUtc, qint64 correctionUsec,
                          const QDateTime& certificateExpiredUtc = {});
// Why a large step (or one from a server whose certificate had expired) was not made when the user said no.
QString declinedText(qint64 correctionUsec, const QDateTime& certificateExpiredUtc = {});
// The question when automatic time synchronization refused the change.
QString automaticSyncQuestion();
} // namespace ClockGuard
