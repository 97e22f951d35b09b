#include "tools/orvik/SensorRun.h"

#include "app/RescaleFlow.h"
#include "components/commands/Command.h"
#include "logging/Logger.h"
#include "tools/orvik/CommandLine.h"

using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Communication::LogLevel;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::Connector;
using Hvd::Weft::Components::DeviceConnector;
using Hvd::Weft::Components::Logger;

namespace
{

constexpr int releasePollMs = 50;

} // namespace

SensorRun::SensorRun(const QString& portName, bool identify, const VELTRIX_Timing& timing, QObject* parent)
    : CommandRun(parent)
    , port(portName)
    , stack(timing)
{
    DeviceService* service = stack.service.get();
    DeviceConnector& connector = stack.connector;
    connector.setDeviceIdentification(identify);

    // A warning of the line (such as variables left out) is the user's to see.
    connect(service, &DeviceService::log, this,
            [this](LogLevel level, const QString& entry)
            {
                if (level == LogLevel::Warning)
                    Q_EMIT progressed(tr("Warning: %1").arg(entry));
            });
    connect(&connector, &Connector::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            { showProgress(progress, description); });
    connect(&connector, &DeviceConnector::deviceConnected, this, [this] { runJob(); });
    connect(&connector, &DeviceConnector::unexpectedDeviceConnected, this,
            [this] { fail(RescaleFlow::text("Only Orvik devices are supported.")); });
    connect(&connector, &Connector::errorOccurred, this, &SensorRun::fail);
    connect(&connector, &Connector::targetDisconnected, this, &SensorRun::released);

    interruptWatch.setSingleShot(true);
    interruptWatch.setInterval(stack.timing.releaseTimeoutMs);
    connect(&interruptWatch, &QTimer::timeout, this, &SensorRun::released);
    connect(service, &DeviceService::requestTaken, this,
            [this](quint64 id)
            {
                if (id == interruptRequest)
                    interruptTaken = true;
            });
    connect(service, &DeviceService::successDisconnecting, this,
            [this]
            {
                if (interruptTaken)
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
    if (!RescaleFlow::importDeviceDescription(stack.context, &problem) || !prepare(&problem))
    {
        Q_EMIT failed(problem);
        end(CommandLine::Failed);
        return;
    }
    stack.connector.connectTarget(port);
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
    if (code || interruptWatch.isActive())
        return;
    if (stack.connector.isTargetConnected() && !stack.connector.isRunning())
    {
        // Nothing on the sensor needs a restart to take effect.
        stack.connector.releaseTarget();
        return;
    }
    if (stack.connector.isRunning())
    {
        // A wrong sensor is released by the connector on its own, without a signal.
        QTimer::singleShot(releasePollMs, this, &SensorRun::release);
        return;
    }
    released();
}

void SensorRun::released()
{
    if (code)
        return;
    interruptWatch.stop();
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
    if (code || interruptWatch.isActive())
        return;
    Logger::warn("Interrupted: stopping and releasing the port");
    failure = tr("Interrupted by %1: the run was stopped and the port released.").arg(reason);
    succeeded = false;
    stopJob();
    // The abort stops the service's operation and closes the port; its
    // confirmation, heard only once the service has taken up this very
    // request, ends the run.
    DeviceService* service = stack.service.get();
    const quint64 requestId = service->newRequestId();
    interruptRequest = requestId;
    interruptTaken = false;
    interruptWatch.start();
    QMetaObject::invokeMethod(
        service,
        [target = service, requestId]
        {
            target->tagNextRequest(requestId);
            target->abort();
        },
        Qt::QueuedConnection);
}
