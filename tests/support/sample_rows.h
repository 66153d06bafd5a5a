// Samples for test rows: an answer of a road with its figures, or a road's failure with its reason.
#pragma once

#include "time_protocol/sample.h"

inline Sample answeredSample(const QString& road, qint64 correctionUsec, qint64 uncertaintyUsec,
                             qint64 roundTripUsec = 0, const QDateTime& serverUtc = {}) {
    Sample s;
    s.ok = true;
    s.road = road;
    s.correctionUsec = correctionUsec;
    s.uncertaintyUsec = uncertaintyUsec;
    s.roundTripUsec = roundTripUsec;
    s.serverUtc = serverUtc;
    return s;
}

inline Sample failedSample(const QString& road, const QString& why) {
    Sample s;
    s.road = road;
    s.why = why;
    return s;
}
