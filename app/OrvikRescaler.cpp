#include "app/OrvikRescaler.h"

#include "app/MainWindow.h"
#include "components/logging/LocalizedFileOpener.h"
#include "components/logging/Logger.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

using Hvd::Weft::Components::Logger;

OrvikRescaler::OrvikRescaler(int& argc, char** argv)
    : Application(argc, argv, applicationNameText)
{
}

int OrvikRescaler::start()
{
    auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>();
    auto file = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
        std::string(applicationNameText) + ".log", logFileMaxSize, logFileCount, false);
    Logger::configureDefault({console, file});
    Logger::info("Starting {}", applicationNameText);

    setupTranslator(applicationNameText, translationDirectory);

    Hvd::Weft::Components::DesktopLocalizedFileOpener opener;
    MainWindow window(opener);
    window.show();

    const int code = exec();
    Logger::info("Closing {}, return code {}", applicationNameText, code);
    Logger::shutdown();
    return code;
}
