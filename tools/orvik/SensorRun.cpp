#include "tools/orvik/SensorRun.h"

#include "app/OrvikDescription.h"
#include "app/RescaleFlow.h"
#include "components/commands/Command.h"
#include "logging/Logger.h"
#include "tools/orvik/CommandLine.h"

using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Communication::LogLevel;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::SensorSession;

SensorRun::SensorRun(const QString& portName, bool identify, const VELTRIX_Timing& timing, QObject* parent)
    : CommandRun(parent)
    , port(portName)
    , stack(timing)
    , session(stack)
{
    stack.getConnector().setDeviceIdentification(identify);

    // A warning of the line (such as variables left out) is the user's to see.
    connect(&stack.getService(), &DeviceService::log, this,
            [this](LogLevel level, const QString& entry)
            {
                if (level == LogLevel::Warning)
                    Q_EMIT progressed(tr("Warning: %1").arg(entry));
            });
    connect(&session, &SensorSession::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            { showProgress(progress, description); });
    connect(&session, &SensorSession::connected, this, [this] { runJob(); });
    connect(&session, &SensorSession::wrongSensor, this,
            [this] { fail(RescaleFlow::text("Only Orvik devices are supported.")); });
    connect(&session, &SensorSession::connectFailed, this, &SensorRun::fail);
    connect(&session, &SensorSession::released, this,
            [this](const std::optional<QString>& releaseError)
            {
                if (releaseError && failure.isEmpty())
                    failure = *releaseError;
                released();
            });
}

SensorRun::~SensorRun() = default;

void SensorRun::start()
{
    if (started)
        return;
    started = true;
    QString problem;
    if (!OrvikDescription::importInto(stack.getContext(), &problem) || !prepare(&problem))
    {
        Q_EMIT failed(problem);
        end(CommandLine::Failed);
        return;
    }
    if (!session.connectSensor(port))
        fail(RescaleFlow::text("The device is still being released. Please try again."));
}

void SensorRun::follow(Command& command, std::function<void(const QString&)> onError)
{
    connect(&command, &Command::progressUpdated, this,
            [this](std::uint32_t progress, const QString& description)
            { showProgress(progress, description); });
    if (!onError)
        onError = [this](const QString& message) { fail(message); };
    connect(&command, &Command::errorOccurred, this, [onError](const QString& message) { onError(message); });
}

void SensorRun::jobSucceeded()
{
    succeeded = true;
    release();
}

void SensorRun::fail(const QString& message)
{
    if (failure.isEmpty())
        failure = message;
    release();
}

void SensorRun::failKeepingPort(const QString& message)
{
    if (code)
        return;
    Q_EMIT failed(message);
    end(CommandLine::Failed);
}

void SensorRun::release()
{
    if (code || interrupted)
        return;
    // Nothing on the sensor needs a restart to take effect. With nothing to
    // release the run ends at once.
    if (!session.release(SensorSession::Release::Close))
        released();
}

void SensorRun::released()
{
    if (code)
        return;
    if (succeeded && failure.isEmpty())
    {
        end(CommandLine::Success);
        return;
    }
    Q_EMIT failed(failure);
    end(CommandLine::Failed);
}

void SensorRun::interrupt(const QString& reason)
{
    if (code || interrupted)
        return;
    Logger::warn("Interrupted: stopping and releasing the port");
    interrupted = true;
    failure = tr("Interrupted by %1: the run was stopped and the port released.").arg(reason);
    succeeded = false;
    stopJob();
    session.interrupt();
}
