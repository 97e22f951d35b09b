#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// An upper bound on wall-clock time, checked on plain builds only: the
// sanitizers slow every step by a factor nobody can bound.
#if defined(__SANITIZE_ADDRESS__)
#define EXPECT_TIME_BELOW(elapsed, bound) static_cast<void>(elapsed)
#else
#define EXPECT_TIME_BELOW(elapsed, bound) EXPECT_LT(elapsed, bound)
#endif

namespace TestWait
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

} // namespace TestWait
