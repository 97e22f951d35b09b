#include "logging/Logger.h"

#include <QThread>

#include <chrono>

#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/rotating_file_sink.h>

namespace Hvd::Weft::Components
{

void Logger::configureDefault(std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks)
{
    if (isInitialized())
        return;
    spdlog::init_thread_pool(queueSize, threadCount);
    auto logger =
        std::make_shared<spdlog::async_logger>(loggerName, sinks.begin(), sinks.end(), spdlog::thread_pool(),
                                               spdlog::async_overflow_policy::overrun_oldest);
    logger->set_pattern(pattern);
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::err);
    spdlog::set_default_logger(logger);
    // A crash or a kill loses at most the last second of the record.
    spdlog::flush_every(std::chrono::seconds(1));
    mInitialized.store(true, std::memory_order_release);
}

void Logger::shutdown()
{
    if (!mInitialized.exchange(false, std::memory_order_acq_rel))
        return;
    // Drops every logger and joins the pool after the queued records are written.
    spdlog::shutdown();
}

std::shared_ptr<spdlog::sinks::sink> Logger::rotatingFileSink(const std::string& baseName,
                                                              std::size_t maxSize, std::size_t files,
                                                              std::string* problem)
{
    try
    {
        return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(baseName + ".log", maxSize, files,
                                                                      false);
    }
    catch (const std::exception& exception)
    {
        if (problem)
            *problem = exception.what();
        return nullptr;
    }
}

std::string Logger::qtThreadName()
{
    return QThread::currentThread()->objectName().toStdString();
}

} // namespace Hvd::Weft::Components
