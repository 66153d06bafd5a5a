// Waits that run the event loop.
#include "platform/events.h"

void waitMs(int ms) {
    QEventLoop loop;
    // Precise: a coarse timer may end a two-second wait 100 ms early.
    QTimer::singleShot(ms < 0 ? 0 : ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool execFor(QEventLoop& loop, int timeoutMs) {
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    limit.start(timeoutMs < 0 ? 0 : timeoutMs);
    loop.exec();
    return !timedOut;
}
