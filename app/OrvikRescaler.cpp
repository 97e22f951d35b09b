#include "app/OrvikRescaler.h"

#include "app/MainWindow.h"
#include "app/RescalerSteps.h"
#include "communication/QtComPortScanner.h"
#include "communication/VeltrixDeviceService.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"
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

    // Destroyed in reverse order after the logger has stopped: the window
    // first, which stops the device thread before the service goes.
    Hvd::Weft::Components::DeviceContext context;
    Hvd::Weft::Components::DesktopLocalizedFileOpener opener;
    Hvd::Weft::Communication::VeltrixDeviceService service({}, RescalerSteps::serialPortOptions());
    Hvd::Weft::Communication::QtComPortScanner scanner(scanIntervalMs);
    Hvd::Weft::Components::DeviceConnector connector(context, service, scanner);
    MainWindow window(context, service, connector, opener);
    window.show();

    const int code = exec();
    Logger::info("Closing {}, return code {}", applicationNameText, code);
    Logger::shutdown();
    return code;
}
