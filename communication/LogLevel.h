#pragma once

#include <QMetaType>

#include <cstdint>

namespace Hvd::Weft::Communication
{

// Severity of an entry of any `log` signal of this library; the values match
// the levels of the application log (trace to critical).
enum class LogLevel : std::uint8_t
{
    Trace = 0,
    Debug = 1,
    Info = 2,
    Warning = 3,
    Error = 4,
    Critical = 5,
};

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::LogLevel)
