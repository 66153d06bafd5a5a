// The "net time" builtin: asks a computer for the time by SNTP, else by the Time Protocol, and sets the clock.
#pragma once

#include "time_protocol/sample.h"
#include "time_protocol/sntp_exchange.h"

#include <QDateTime>
#include <QString>
#include <functional>

class ClockService;

namespace NetTime {
// The ports asked; HORAVANE_SNTP_PORT and HORAVANE_TIME_PORT may point tests elsewhere.
struct Ports {
    quint16 sntp = 123;
    quint16 time = 37;
    static Ports fromEnvironment();
};

// About two seconds for each network step: the name lookup, the SNTP exchange, the connection, the reply.
constexpr int kStepMs = 2000;

// This computer's time in Unix microseconds, read when a request leaves and when a reply has come.
using Clock = std::function<qint64()>;

// The computer's sample, by SNTP ("SNTP") or else the Time Protocol ("Time Protocol"); why when neither answers.
Sample ask(const QString& host, const Ports& ports, int stepMs = kStepMs, const Clock& nowUsec = Sntp::systemNowUsec);

struct Result {
    QString output;             // what the command prints
    bool corrected = false;     // the clock service applied a correction
    qint64 uncertaintyUsec = 0; // of the sample that correction came from
};
// The whole command: asks, sets the clock and returns what the command prints. Only a user-started run may make
// a step larger than the guard's threshold (its /yes agrees) and lets the clock service ask for a password. A
// correction below the sample's uncertainty is not sent: the clock is already right. `settledUsec` is how far the
// clock may still be off after a correction that the run just ahead had applied (its sample's uncertainty): a
// correction within both is not sent either. `handingOver` runs just before the correction goes to the clock
// service, which may take minutes when it asks for a password.
Result run(const QString& host, ClockService& clock, const Ports& ports, bool userStarted = false,
           const std::function<void()>& handingOver = {}, qint64 settledUsec = 0,
           const Clock& nowUsec = Sntp::systemNowUsec);

// What the output of the run just ahead of this one (the worker starts two) tells this one: a correction that
// was made, which a run that finds the clock right must not hide; or a refusal of the clock service, which
// asking again would only repeat (a second password prompt).
struct Earlier {
    enum class Kind { Nothing, Corrected, Refused };
    Kind kind = Kind::Nothing;
    QString output; // kept as it was
};
Earlier earlierOutcome(const QString& output);
} // namespace NetTime
