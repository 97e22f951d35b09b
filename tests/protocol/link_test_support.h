#pragma once

#include "protocol/serial/FFakeSerialPortBackend.h"
#include "protocol/serial/FSerialPortBackend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>
#include <memory>

namespace LinkTest
{

// Runs the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 2000)
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
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

// A factory that makes one fake and tells the test where it is.
inline FSerialPortBackendFactory fakeFactory(FFakeSerialPortBackend** created)
{
    return [created]
    {
        auto fake = std::make_unique<FFakeSerialPortBackend>();
        fake->setAvailablePortNames({QStringLiteral("ttyFAKE0")});
        *created = fake.get();
        return std::unique_ptr<FSerialPortBackend>(std::move(fake));
    };
}

} // namespace LinkTest
