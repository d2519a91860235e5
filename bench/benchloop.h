#pragma once

// The window's event loop as the benchmarks watch it.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

// Runs the event loop until `done` holds, looking after every event:
// QTest::qWaitFor sleeps 10 ms between looks, which would delay every reply
// the window waits for by as much. False when `timeoutMs` passed first.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A 1 ms tick: the longest gap between two ticks is the longest time the
// window could not react.
class StallMeter
{
public:
    StallMeter()
    {
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout,
                         [this] { longest = std::max(longest, sinceTick.restart()); });
    }
    void start()
    {
        longest = 0;
        sinceTick.start();
        tick.start();
    }
    // The longest gap in milliseconds.
    qint64 stop()
    {
        tick.stop();
        return std::max(longest, sinceTick.elapsed());
    }
    // For other work that should run at every tick.
    const QTimer* timer() const { return &tick; }

private:
    QTimer tick;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
};
