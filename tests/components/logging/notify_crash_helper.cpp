// Throws from a slot so that the application's exception policy can be
// observed from the outside: argv[1] is the log file, argv[2] "std" or "other".
#include "components/logging/Application.h"
#include "logging/Logger.h"

#include <QTimer>

#include <spdlog/sinks/basic_file_sink.h>

#include <stdexcept>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    Hvd::Weft::Components::Application app(argc, argv, "CrashHelper");
    Hvd::Weft::Components::Logger::configureDefault(
        {std::make_shared<spdlog::sinks::basic_file_sink_mt>(argv[1], true)});
    const bool standard = std::string(argv[2]) == "std";
    QObject target;
    target.setObjectName("crashTarget");
    QTimer::singleShot(0, &target,
                       [standard]
                       {
                           // Enough queued lines that a lost tail would show.
                           for (int i = 0; i < 200; ++i)
                               Hvd::Weft::Components::Logger::info("filler line {}", i);
                           if (standard)
                               throw std::runtime_error("sensor exploded");
                           throw 42;
                       });
    return app.exec();
}
