#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Waiting for queued work in a program without a running event loop: the
// tests and the benchmarks that drive the stack from their own thread.
namespace EventLoopWait
{

// Runs the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition())
    {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// Lets queued work settle for a while, for checks that something did not happen.
inline void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

} // namespace EventLoopWait
