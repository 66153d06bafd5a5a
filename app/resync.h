// When a timer synchronization runs besides the two timers: once after the machine wakes, and once when the
// network returns after one that reached no server.
#pragma once

#include <QString>
#include <limits>

class Resync {
public:
    enum class Network { Unknown, Down, Up };
    struct Run {
        bool now = false;             // start a timer synchronization
        int afterMs = 0;              // that much later, so its server is not asked again within its gap
        bool restartsCounter = false; // the wake's synchronization: the minute counter starts again from it
    };
    // The machine woke; with the network down, the synchronization waits for it.
    Run woken(bool autoSyncTicked, const QString& server, qint64 nowMs);
    // The network's state as the system reports it: only its return starts anything.
    Run networkChanged(Network network, bool autoSyncTicked, const QString& server, qint64 nowMs);
    void timedSyncStarted(const QString& server, qint64 nowMs);
    // A timer synchronization ended; one that failed with no server reached, or while the network was down,
    // waits for the network's return.
    void timedSyncEnded(bool succeeded, bool serverReached);

private:
    Run run(bool afterWake, const QString& server, qint64 nowMs) const;

    Network m_network = Network::Unknown;
    bool m_wakeWaits = false;  // woke while the network was down
    bool m_retryWaits = false; // a timer synchronization reached no server
    QString m_lastServer;
    qint64 m_lastStartMs = std::numeric_limits<qint64>::min() / 2;
};
