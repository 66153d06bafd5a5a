// Waits that run the event loop.
#include "platform/events.h"

void waitMs(int ms) {
    QEventLoop loop;
    // Precise: a coarse timer may end a two-second wait 100 ms early.
    QTimer::singleShot(ms < 0 ? 0 : ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
