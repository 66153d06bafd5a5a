// Which road a synchronization with an Internet server takes next: NTS, then SNTP, then the Time Protocol, with
// no way back from NTS for a host that offers it, and the words of the outcome.
#pragma once

#include "time_protocol/nts.h"
#include "time_protocol/sample.h"

#include <QString>

namespace Road {
// Time servers refuse clients that ask the same server more often than this.
inline constexpr int kQueryGapMs = 4000;

inline const QString kNts = QStringLiteral("NTS");
inline const QString kSntp = QStringLiteral("SNTP");
inline const QString kTimeProtocol = QStringLiteral("Time Protocol");

// What the built-in list says about a host.
enum class Listed { Unknown, Nts, NoNts };

enum class Next { Nts, Sntp, TimeProtocol, Done, Fail };
struct Step {
    Next next = Next::Fail;
    QString why; // when Fail: the status line's words
};

// The first road: NTS, unless the list knows the host does not offer it and it is not remembered as offering it
// (a key exchange completed with it, or its key exchange port spoke TLS: kept across starts).
Next first(Listed listed, bool remembered);
// After the NTS exchange: its sample; else, for a host that offers NTS (listed, remembered, or taking the
// connection on the key exchange port now), a failure with its reason, so that nobody on the path can push the
// synchronization onto an unauthenticated road; else SNTP.
Step afterNts(Listed listed, bool remembered, const Nts::Result& result);
// After SNTP: its sample, else the Time Protocol.
Step afterSntp(const Sample& sample);

// "Clock corrected by +0.004 s (NTS)", with `label` in the parenthesis instead of the road when given; for a
// correction within the sample's uncertainty, which is not sent, "Clock already right (±0.5 s)", or with the
// label "Clock already right (±0.004 s; NTS, 3 servers agree)".
QString outcomeText(const Sample& sample, const QString& label = QString());
// "Clock not set: " and the sample's reason.
QString failureText(const Sample& sample);
} // namespace Road
