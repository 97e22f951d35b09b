#pragma once

#include "device/Parameter.h"
#include "device/ParameterSetBuilder.h"
#include "device/Value.h"
#include "tests/support/wait.h"

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

using TestWait::settle;
using TestWait::waitUntil;

} // namespace CommTest
