#pragma once

#include "components/logging/Application.h"
#include "logging/Logger.h"

#include <spdlog/sinks/ostream_sink.h>

#include <memory>
#include <sstream>
#include <string>

namespace TestSupport
{

// The program log of one test in memory; text() ends the capture. With Qt's
// messages it routes them into the log as the programs do at start-up.
struct LogCapture
{
    enum class QtMessages : bool
    {
        Left,
        Routed,
    };

    explicit LogCapture(QtMessages qtMessages = QtMessages::Left)
        : routed(qtMessages == QtMessages::Routed)
    {
        Hvd::Weft::Components::Logger::configureDefault(
            {std::make_shared<spdlog::sinks::ostream_sink_mt>(stream, true)});
        if (routed)
            previous = qInstallMessageHandler(Hvd::Weft::Components::logToLogger);
    }
    ~LogCapture() { text(); }

    std::string text()
    {
        if (open)
        {
            if (routed)
                qInstallMessageHandler(previous);
            Hvd::Weft::Components::Logger::shutdown();
            open = false;
        }
        return stream.str();
    }

    std::ostringstream stream;

private:
    bool routed;
    bool open = true;
    QtMessageHandler previous = nullptr;
};

} // namespace TestSupport
