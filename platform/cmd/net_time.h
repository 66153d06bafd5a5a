// The "net time" builtin: asks a computer for the time by SNTP, else by the Time Protocol, and sets the clock.
#pragma once

#include "time_protocol/sample.h"

#include <QDateTime>
#include <QString>

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

// The computer's sample, by SNTP ("SNTP") or else the Time Protocol ("Time Protocol"); why when neither answers.
Sample ask(const QString& host, const Ports& ports, int stepMs = kStepMs);

// The whole command: asks, sets the clock and returns what the command prints. Only a user-started run may make
// a step larger than the guard's threshold (its /yes agrees) and lets the clock service ask for a password.
QString run(const QString& host, ClockService& clock, const Ports& ports, bool userStarted = false);
} // namespace NetTime
