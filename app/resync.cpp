// The rule of the synchronizations after sleep and at the network's return.
#include "app/resync.h"

#include "time_protocol/road.h"

Resync::Run Resync::woken(bool autoSyncTicked, const QString& server, qint64 nowMs) {
    m_wakeWaits = false;
    if (!autoSyncTicked)
        return {};
    if (m_network == Network::Down) {
        m_wakeWaits = true;
        return {};
    }
    return run(true, server, nowMs);
}

Resync::Run Resync::networkChanged(Network network, bool autoSyncTicked, const QString& server, qint64 nowMs) {
    const bool back = network == Network::Up && m_network != Network::Up;
    m_network = network;
    if (!back || (!m_wakeWaits && !m_retryWaits))
        return {};
    const bool afterWake = m_wakeWaits;
    // At most once per failure: only a new failure waits again.
    m_wakeWaits = m_retryWaits = false;
    if (!autoSyncTicked)
        return {};
    return run(afterWake, server, nowMs);
}

void Resync::timedSyncStarted(const QString& server, qint64 nowMs) {
    m_lastServer = server;
    m_lastStartMs = nowMs;
}

void Resync::timedSyncEnded(bool succeeded, bool serverReached) {
    m_retryWaits = !succeeded && (!serverReached || m_network == Network::Down);
}

Resync::Run Resync::run(bool afterWake, const QString& server, qint64 nowMs) const {
    const qint64 since = nowMs - m_lastStartMs;
    const int wait =
        server == m_lastServer && since >= 0 && since < Road::kQueryGapMs ? int(Road::kQueryGapMs - since) : 0;
    return {true, wait, afterWake};
}
