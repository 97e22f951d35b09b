#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <spdlog/spdlog.h>

namespace Hvd::Weft::Components
{

// Static logging facade over one asynchronous spdlog logger. Every line is
// prefixed with the calling thread's Qt object name; lines about commands
// can be indented. Nothing is logged before configureDefault or after shutdown.
class Logger
{
public:
    Logger() = delete;

    static void configureDefault(std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks);
    static void shutdown();
    static bool isInitialized() { return mInitialized.load(std::memory_order_acquire); }

    // Object name of QThread::currentThread() as UTF-8.
    static std::string qtThreadName();

    static constexpr const char* multiArgFormat = "[{}] ";
    static constexpr const char* multiArgIndentFormat = "[{}] {:{}}";

#define HVD_LOGGER_LEVEL(NAME, LEVEL)                                                                        \
    static void NAME(std::string message)                                                                    \
    {                                                                                                        \
        log(LEVEL, 0, message.c_str());                                                                      \
    }                                                                                                        \
    template <typename... Args> static void NAME(const char* format, Args&&... args)                         \
    {                                                                                                        \
        log(LEVEL, 0, format, std::forward<Args>(args)...);                                                  \
    }                                                                                                        \
    template <typename... Args> static void NAME(unsigned char indent, const char* format, Args&&... args)   \
    {                                                                                                        \
        log(LEVEL, indent, format, std::forward<Args>(args)...);                                             \
    }                                                                                                        \
    /* Lets a literal indent such as 0 pick this form rather than a null format. */                          \
    template <typename... Args> static void NAME(int indent, const char* format, Args&&... args)             \
    {                                                                                                        \
        log(LEVEL, static_cast<unsigned char>(indent), format, std::forward<Args>(args)...);                 \
    }

    HVD_LOGGER_LEVEL(trace, spdlog::level::trace)
    HVD_LOGGER_LEVEL(debug, spdlog::level::debug)
    HVD_LOGGER_LEVEL(info, spdlog::level::info)
    HVD_LOGGER_LEVEL(warn, spdlog::level::warn)
    HVD_LOGGER_LEVEL(error, spdlog::level::err)
    HVD_LOGGER_LEVEL(critical, spdlog::level::critical)
#undef HVD_LOGGER_LEVEL

    // An entry at a level given by number, 0 (trace) to 5 (critical), as the
    // communication library's log levels count; other numbers are dropped.
    static void entry(int level, const std::string& text)
    {
        if (level < spdlog::level::trace || level > spdlog::level::critical)
            return;
        log(static_cast<spdlog::level::level_enum>(level), 0, "{}", text);
    }

    // The rotating log file "<baseName>.log" in the working directory, not
    // rotated on open. Null, with the reason in problem, when it cannot be
    // opened (a read-only folder): the program then runs without it.
    static std::shared_ptr<spdlog::sinks::sink> rotatingFileSink(const std::string& baseName,
                                                                 std::size_t maxSize, std::size_t files,
                                                                 std::string* problem);

    static constexpr const char* pattern = "[%Y-%m-%d %H:%M:%S.%f] [%^%l%$] %v";
    static constexpr std::size_t queueSize = 8192;
    static constexpr std::size_t threadCount = 1;
    static constexpr const char* loggerName = "default";

private:
    template <typename... Args>
    static void log(spdlog::level::level_enum level, unsigned char indent, const char* format, Args&&... args)
    {
        if (!isInitialized())
            return;
        // A shared copy keeps the logger alive even if shutdown runs on another thread meanwhile.
        auto logger = spdlog::default_logger();
        if (!logger)
            return;
        const std::string threadName = qtThreadName();
        if (indent == 0)
        {
            const std::string full = std::string(multiArgFormat) + format;
            logger->log(level, fmt::runtime(full), threadName, std::forward<Args>(args)...);
        }
        else
        {
            const std::string full = std::string(multiArgIndentFormat) + format;
            logger->log(level, fmt::runtime(full), threadName, ' ', static_cast<int>(indent),
                        std::forward<Args>(args)...);
        }
    }

    static inline std::atomic<bool> mInitialized{false};
};

} // namespace Hvd::Weft::Components
