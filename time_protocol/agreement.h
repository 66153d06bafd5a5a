// Whether the answers of independent time servers agree with the chosen one: each answer is an interval, the
// correction ± its bound, and the largest set of overlapping intervals (Marzullo's intersection) decides.
#pragma once

#include "time_protocol/sample.h"

#include <QList>
#include <QString>

namespace Agreement {
enum class Kind {
    Alone,       // no other server was asked: the chosen one decides by itself
    Unconfirmed, // others were asked and none answered: the chosen one decides by itself
    Agree,       // the chosen server is in the majority
    ChosenFalse, // a majority exists without the chosen server
    Disagree,    // no majority
};

struct Verdict {
    Kind kind = Kind::Alone;
    int agreeing = 0;    // Agree: servers in the majority, the chosen one included; ChosenFalse: the others in it
    qint64 awayUsec = 0; // ChosenFalse: the chosen correction's distance from the middle of the majority
    bool movesClock() const { return kind == Kind::Alone || kind == Kind::Unconfirmed || kind == Kind::Agree; }
};

// `chosen` must be ok; `others` are the NTS answers of the other operators' servers that came back ok, of
// `asked` servers asked. An NTS chosen server votes with the others; an unauthenticated one (SNTP, the Time
// Protocol) must fall inside the majority of the NTS servers alone.
Verdict judge(const Sample& chosen, const QList<Sample>& others, int asked);

// What the status line adds for the others' verdict: "NTS, 3 servers agree", "NTS, unconfirmed", or nothing when
// none was asked.
QString roadLabel(const QString& road, const Verdict& verdict);
// Why the clock was not set, after "Clock not set: ", for a verdict that does not move it.
QString refusal(const QString& host, const Verdict& verdict);
} // namespace Agreement
