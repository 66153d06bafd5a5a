// Runs one synchronization of the Time Protocol window the way SYNC NOW does, for tests and benchmarks.
#pragma once

#include "app/forms.h"
#include "platform/events.h"
#include "time_protocol/vespline.h"

#include <QComboBox>

// Sets SyncResult to "WAIT", starts the window on the host and waits for the result word (or the limit).
inline QString syncWithVespline(Forms& forms, const QString& host, int limitMs = 15000,
                                Starter starter = Starter::Person) {
    Vespline& v = forms.vespline();
    TarnBase& base = forms.base();
    v.cboURL->setEditText(host);
    base.setSyncResult(QStringLiteral("WAIT"));
    v.cmdSync_Click(starter);
    waitFor(
        &base, &TarnBase::syncResultChanged, [&base] { return base.SyncResult() != QLatin1String("WAIT"); }, limitMs);
    return base.SyncResult();
}

// A host that refuses NTS at once and has no SNTP: the window goes straight on to the Time Protocol.
inline void useOnlyTimeProtocol(Vespline& v) {
    v.engine().setNtsCall([](const QString& host, const Nts::Options&) {
        Nts::Result refused;
        refused.offer = Nts::Offer::No;
        refused.sample.road = Road::kNts;
        refused.sample.why = host + QStringLiteral(" refused the key exchange");
        return refused;
    });
    v.engine().setSntpCall([](const QString&, quint16, int) {
        Sample none;
        none.road = Road::kSntp;
        none.why = QStringLiteral("port unreachable");
        return none;
    });
}
