#pragma once

#include "device/Parameter.h"
#include "device/ParameterSetBuilder.h"
#include "device/Value.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>
#include <string>

namespace CommTest
{

using namespace Hvd::Weft::Device;

// A parameter as a description would declare it.
inline Parameter makeParameter(const std::string& name, DataType type, std::uint16_t length,
                               std::uint16_t address, Value defaultValue = {})
{
    return ParameterSetBuilder()
        .parameter(name)
        .type(type)
        .length(length)
        .address(address)
        .defaultValue(std::move(defaultValue))
        .build()
        .at(name);
}

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

// Lets queued work settle, for checks that something did not happen.
inline void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

} // namespace CommTest
