// Letting pending window events run, and waits that run the event loop instead of spinning.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

// Lets pending window events run once.
inline void doEvents() {
    QCoreApplication::processEvents();
}

// Runs the event loop for the given time; returns after it, using no CPU meanwhile.
void waitMs(int ms);

// Runs `loop` until a handler quits it or `timeoutMs` has passed; false when the time ran out.
bool execFor(QEventLoop& loop, int timeoutMs);

// Runs the event loop until `sender` emits `signal` and `done()` holds, or until `timeoutMs` has passed.
// Returns done(). A negative timeout waits without limit.
template <typename Sender, typename Signal, typename Done>
bool waitFor(const Sender* sender, Signal signal, Done done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    if (timeoutMs >= 0)
        limit.start(timeoutMs);
    loop.exec();
    return done();
}
