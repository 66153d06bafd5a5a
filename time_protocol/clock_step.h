// The last step of every synchronization, on either road: the clock policy, then one correction through the clock
// service.
#pragma once

#include "time_protocol/clock_guard.h"
#include "time_protocol/sample.h"

#include <QDate>
#include <QString>
#include <functional>

class ClockService;

namespace ClockStep {
struct Request {
    Sample sample;                         // ok: the answer of the server
    bool userStarted = false;              // only a person may make a large step or be asked
    QDate build = ClockGuard::buildDate(); // no server time before this day is believed
    // How far the clock may still be off after a correction just made; a correction within that and the
    // sample's own uncertainty tells nothing new.
    qint64 settledUsec = 0;
    // Asks a person a yes-or-no question. Empty: nobody is asked, and a person's large step counts as agreed
    // (net time's /yes).
    std::function<bool(const QString& title, const QString& text)> ask;
    // Runs just before the correction goes to the clock service, which may take minutes asking for a password.
    std::function<void()> handingOver;
};

struct Result {
    enum class Kind {
        Corrected,    // the clock service applied the correction
        AlreadyRight, // the correction was within what the sample can tell: nothing was sent
        Refused,      // the policy turned the step down
        Declined,     // the person said no to a large step
        NotPermitted, // the clock service refused the change
    };
    Kind kind = Kind::Refused;
    QString why;            // unless Corrected or AlreadyRight: "Clock not set: ..."
    qint64 settledUsec = 0; // AlreadyRight: the uncertainty it was right within
    bool clockRight() const { return kind == Kind::Corrected || kind == Kind::AlreadyRight; }
};

Result apply(const Request& request, ClockService& clock);
} // namespace ClockStep
