#include "time_protocol/agreement.h"

#include "time_protocol/road.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace {
struct Overlap {
    int count = 0;
    qint64 low = 0;
    qint64 high = 0;
};

qint64 low(const Sample& s) {
    return s.correctionUsec - qAbs(s.uncertaintyUsec);
}
qint64 high(const Sample& s) {
    return s.correctionUsec + qAbs(s.uncertaintyUsec);
}

// The stretches covered by the most intervals, as a sweep over the ends finds them; an interval that starts
// where another ends still overlaps it. Two majorities can share a member, so there may be more than one.
QList<Overlap> largestOverlaps(const QList<Sample>& samples) {
    std::vector<std::pair<qint64, int>> ends; // value, -1 for a start and +1 for an end, so starts sort first
    for (const Sample& s : samples) {
        ends.emplace_back(low(s), -1);
        ends.emplace_back(high(s), 1);
    }
    std::sort(ends.begin(), ends.end());
    QList<Overlap> best;
    int open = 0;
    for (std::size_t i = 0; i < ends.size(); ++i) {
        open -= ends[i].second;
        if (ends[i].second > 0 || (!best.isEmpty() && open < best.first().count))
            continue;
        if (!best.isEmpty() && open > best.first().count)
            best.clear();
        best.append({open, ends[i].first, ends[i + 1].first}); // a start is always followed by some end
    }
    return best;
}

bool inside(const Sample& s, const Overlap& overlap) {
    return low(s) <= overlap.high && high(s) >= overlap.low;
}
} // namespace

namespace Agreement {
Verdict judge(const Sample& chosen, const QList<Sample>& others, int asked) {
    Verdict verdict;
    if (others.isEmpty()) {
        verdict.kind = asked > 0 ? Kind::Unconfirmed : Kind::Alone;
        return verdict;
    }
    const bool votes = chosen.road == Road::kNts;
    QList<Sample> voters = others;
    if (votes)
        voters << chosen;
    const QList<Overlap> overlaps = largestOverlaps(voters);
    const int count = overlaps.first().count;
    if (2 * count <= voters.size()) {
        verdict.kind = Kind::Disagree;
        return verdict;
    }
    verdict.agreeing = count;
    verdict.awayUsec = std::numeric_limits<qint64>::max();
    for (const Overlap& overlap : overlaps) {
        if (inside(chosen, overlap)) {
            verdict.kind = Kind::Agree;
            verdict.agreeing = count + (votes ? 0 : 1);
            verdict.awayUsec = 0;
            return verdict;
        }
        verdict.awayUsec = std::min(verdict.awayUsec, qAbs(chosen.correctionUsec - (overlap.low + overlap.high) / 2));
    }
    verdict.kind = Kind::ChosenFalse;
    return verdict;
}

QString roadLabel(const QString& road, const Verdict& verdict) {
    if (verdict.kind == Kind::Unconfirmed)
        return road + QStringLiteral(", unconfirmed");
    if (verdict.kind == Kind::Agree)
        return road + QStringLiteral(", %1 servers agree").arg(verdict.agreeing);
    return {};
}

QString refusal(const QString& host, const Verdict& verdict) {
    if (verdict.kind == Kind::Disagree)
        return QStringLiteral("the time servers disagree");
    return QStringLiteral("%1 is %2 s away from %3 other server%4")
        .arg(host.trimmed(), QString::number(static_cast<double>(verdict.awayUsec) / 1e6, 'f', 1))
        .arg(verdict.agreeing)
        .arg(verdict.agreeing == 1 ? QString() : QStringLiteral("s"));
}
} // namespace Agreement
