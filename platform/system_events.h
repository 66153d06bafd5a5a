// Sleep and the network on Linux: logind's PrepareForSleep and NetworkManager's state on the system bus.
#pragma once

#include "platform/platform.h"

// Only listens: no call waits for an answer, so a missing or hung service costs nothing.
class LinuxSystemEvents : public SystemEvents {
    Q_OBJECT
public:
    LinuxSystemEvents();

    // NetworkManager's states from "connected, local only" up: a computer of the local network can be reached.
    static constexpr uint kConnectedLocal = 50;

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
    void networkStateChanged(uint state);

private:
    void askNetworkState();
    int m_reachable = -1; // last told: 0 or 1; -1 before NetworkManager has said anything
};
