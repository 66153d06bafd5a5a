// The clock policy and the clock service.
#include "time_protocol/clock_step.h"

#include "platform/clock_service.h"
#include "time_protocol/clock_guard.h"

#include <algorithm>

namespace ClockStep {
Result apply(const Request& request, ClockService& clock) {
    const Sample& sample = request.sample;
    const qint64 usec = sample.correctionUsec;
    Result result;
    const ClockGuard::Verdict verdict =
        ClockGuard::judge(sample.serverUtc, usec, request.userStarted, request.build, sample.certificateExpiredUtc);
    if (verdict.step == ClockGuard::Step::Refuse) {
        result.why = verdict.why;
        return result;
    }
    // Never worse than before: a correction below what the sample can tell would only move a right clock.
    Sample settled = sample;
    settled.uncertaintyUsec += std::max<qint64>(0, request.settledUsec);
    if (settled.withinUncertainty()) {
        result.kind = Result::Kind::AlreadyRight;
        result.settledUsec = settled.uncertaintyUsec;
        return result;
    }
    if (verdict.step == ClockGuard::Step::Confirm && request.ask &&
        !request.ask(QStringLiteral("Large Clock Change"),
                     ClockGuard::largeStepQuestion(sample.serverUtc, usec, sample.certificateExpiredUtc))) {
        result.kind = Result::Kind::Declined;
        result.why = ClockGuard::declinedText(usec, sample.certificateExpiredUtc);
        return result;
    }
    if (request.handingOver)
        request.handingOver();
    ClockResult set = clock.setTime(usec, request.userStarted);
    // With automatic time synchronization on, a person is asked whether to switch it off, and the same correction
    // is sent again.
    if (!set.ok && isAutomaticSyncRefusal(set) && request.userStarted && request.ask &&
        request.ask(QStringLiteral("Automatic Time Synchronization"), ClockGuard::automaticSyncQuestion())) {
        const ClockResult off = clock.setNtp(false, true);
        set = off.ok ? clock.setTime(usec, true) : off;
    }
    if (!set.ok) {
        result.kind = Result::Kind::NotPermitted;
        result.why = describeClockRefusal(set);
        return result;
    }
    result.kind = Result::Kind::Corrected;
    return result;
}
} // namespace ClockStep
