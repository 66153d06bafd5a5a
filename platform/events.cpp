// Waits that run the event loop.
#include "platform/events.h"

void waitMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms < 0 ? 0 : ms, &loop, &QEventLoop::quit);
    loop.exec();
}
