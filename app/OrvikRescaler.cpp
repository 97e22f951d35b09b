#include "app/OrvikRescaler.h"

#include "app/MainWindow.h"
#include "communication/VeltrixDeviceService.h"
#include "components/connectors/DeviceStack.h"
#include "components/logging/LocalizedFileOpener.h"
#include "logging/Logger.h"
#include "logging/TerminationSignals.h"

#include <spdlog/sinks/stdout_color_sinks.h>

using Hvd::Weft::Components::Logger;

OrvikRescaler::OrvikRescaler(int& argc, char** argv)
    : Application(argc, argv, applicationNameText)
{
}

int OrvikRescaler::start()
{
    std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks{
        std::make_shared<spdlog::sinks::stdout_color_sink_mt>()};
    std::string problem;
    if (auto file = Logger::rotatingFileSink(applicationNameText, logFileMaxSize, logFileCount, &problem))
        sinks.push_back(std::move(file));
    Logger::configureDefault(sinks);
    if (!problem.empty())
        Logger::warn("Could not open the log file, logging to the console only: {}", problem);
    Logger::info("Starting {}", applicationNameText);

    setupTranslator(applicationNameText, translationDirectory);
    installLibraryCatalogues();

    // Stopped from outside: leave through the normal path below, so that the
    // window stops a running rescale, the port is released and the log ends
    // with its closing line.
    Hvd::Weft::Components::TerminationSignals terminations;
    QObject::connect(&terminations, &Hvd::Weft::Components::TerminationSignals::received, this,
                     [](int signalNumber)
                     {
                         Logger::warn("Received {}, closing",
                                      Hvd::Weft::Components::TerminationSignals::name(signalNumber));
                         QCoreApplication::exit(terminatedReturnCode);
                     });

    // Destroyed in reverse order after the logger has stopped: the window
    // first, then the stack, which stops the device thread before the
    // service goes.
    Hvd::Weft::Components::DesktopLocalizedFileOpener opener;
    Hvd::Weft::Components::DeviceStack stack(
        {Hvd::Weft::Communication::VeltrixDeviceService::timingFromEnvironment(), portLister, nullptr});
    MainWindow window(stack, opener);
    window.show();

    const int code = exec();
    Logger::info("Closing {}, return code {}", applicationNameText, code);
    Logger::shutdown();
    return code;
}
