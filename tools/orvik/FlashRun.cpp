#include "tools/orvik/FlashRun.h"

#include "logging/Logger.h"

using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Communication::LogLevel;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::UploadFirmwareCommand;

namespace
{

// How the upload sequence logs each state of the bootloader.
constexpr QLatin1StringView stateEntry("New Bootloader state: ");

} // namespace

FlashRun::FlashRun(const FlashArguments::Parsed& parsed, const VELTRIX_Timing& timing, QObject* parent)
    : SensorRun(parsed.port, !parsed.request.rescueMode, timing, parent)
    , arguments(parsed)
{
    connect(&stack.getService(), &DeviceService::log, this,
            [this](LogLevel, const QString& entry)
            {
                if (entry.startsWith(stateEntry))
                    Q_EMIT progressed(entry);
            });
}

FlashRun::~FlashRun()
{
    // Before the service it listens to.
    command.reset();
}

void FlashRun::runJob()
{
    Logger::info("Uploading {} into the device on {}", arguments.request.fileName.toStdString(),
                 port.toStdString());
    command = std::make_unique<UploadFirmwareCommand>(stack.getContext(), stack.getService(),
                                                      arguments.request, nullptr);
    follow(*command,
           [this](const QString& message)
           {
               if (arguments.request.leavePortOpenOnError)
                   failKeepingPort(message);
               else
                   fail(message);
           });
    connect(command.get(), &Command::finished, this,
            [this]
            {
                Logger::info("Uploaded {} into the device on {}", arguments.request.fileName.toStdString(),
                             port.toStdString());
                jobSucceeded();
            });
    command->execute();
}

void FlashRun::stopJob()
{
    if (command)
        command->cancel();
}
