#include "tools/orvik/ValuesRun.h"

#include "app/RescaleFlow.h"
#include "logging/Logger.h"
#include "tools/orvik/ValuesOutput.h"

using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Communication::DeviceServiceTimeouts;
using Hvd::Weft::Communication::LogLevel;
using Hvd::Weft::Communication::Slots;
using Hvd::Weft::Communication::VeltrixDeviceService;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::Connector;
using Hvd::Weft::Components::DeviceConnector;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::ReadValuesCommand;

namespace
{

constexpr int scanIntervalMs = 1000;
constexpr int releasePollMs = 50;
constexpr int interruptWaitMs = 3000;

} // namespace

ValuesRun::ValuesRun(const ValuesArguments::Parsed& parsed, const DeviceServiceTimeouts& timeouts,
                     QObject* parent)
    : CommandRun(parent)
    , arguments(parsed)
    , service(std::make_unique<VeltrixDeviceService>(timeouts, VeltrixDeviceService::serialPortOptions()))
    , scanner(scanIntervalMs)
    , connector(context, *service, scanner)
{
    deviceThread.setObjectName(QStringLiteral("DeviceThread"));
    service->moveToThread(&deviceThread);
    deviceThread.start(QThread::InheritPriority);
    Hvd::Weft::Communication::forwardLogToLogger(*service);

    // A warning of the line (such as variables left out) is the user's to see.
    connect(service.get(), &DeviceService::log, this,
            [this](LogLevel level, const QString& entry)
            {
                if (level == LogLevel::Warning)
                    Q_EMIT progressed(tr("Warning: %1").arg(entry));
            });
    connect(&connector, &Connector::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            { showProgress(progress, description); });
    connect(&connector, &DeviceConnector::deviceConnected, this, &ValuesRun::readValues);
    connect(&connector, &DeviceConnector::unexpectedDeviceConnected, this,
            [this] { fail(RescaleFlow::text("Only Orvik devices are supported.")); });
    connect(&connector, &Connector::errorOccurred, this, &ValuesRun::fail);
    connect(&connector, &Connector::targetDisconnected, this, &ValuesRun::released);

    interruptWatch.setSingleShot(true);
    interruptWatch.setInterval(interruptWaitMs);
    connect(&interruptWatch, &QTimer::timeout, this, &ValuesRun::released);
    connect(service.get(), &DeviceService::requestTaken, this,
            [this](quint64 id)
            {
                if (id == interruptRequest)
                    interruptTaken = true;
            });
    connect(service.get(), &DeviceService::successDisconnecting, this,
            [this]
            {
                if (interruptTaken)
                    released();
            });
}

ValuesRun::~ValuesRun()
{
    // Before the service it listens to, as the window's commands go first.
    command.reset();
    deviceThread.quit();
    deviceThread.wait();
}

void ValuesRun::start()
{
    if (started)
        return;
    started = true;
    Logger::info("Reading the values of the device on {}", arguments.port.toStdString());
    QString problem;
    if (!RescaleFlow::importDeviceDescription(context, &problem))
    {
        Q_EMIT failed(problem);
        end(CommandLine::Failed);
        return;
    }
    connector.connectTarget(arguments.port);
}

void ValuesRun::readValues()
{
    command = std::make_unique<ReadValuesCommand>(context, *service, arguments.request, nullptr);
    connect(command.get(), &Command::progressUpdated, this,
            [this](std::uint32_t progress, const QString& description)
            { showProgress(progress, description); });
    connect(command.get(), &ReadValuesCommand::sampleReceived, this,
            [this](const Slots& sample)
            {
                const QString line =
                    ValuesOutput::sampleLine(static_cast<int>(command->getSamples().size()), sample);
                // Text output is the samples themselves; csv and json come whole at the end.
                if (arguments.format == ValuesArguments::Format::Text)
                    Q_EMIT printed(line);
                else
                    Q_EMIT progressed(line);
            });
    connect(command.get(), &Command::finished, this, &ValuesRun::readFinished);
    connect(command.get(), &Command::errorOccurred, this, [this](const QString& message) { fail(message); });
    command->execute();
}

void ValuesRun::readFinished()
{
    const QList<Slots>& samples = command->getSamples();
    const std::optional<Slots>& average = command->getAverage();
    const qsizetype averaged = samples.size() - 2 * arguments.request.topBotSamplesToRemove;
    switch (arguments.format)
    {
    case ValuesArguments::Format::Text:
        if (average)
            Q_EMIT printed(ValuesOutput::averageLine(*average, averaged));
        break;
    case ValuesArguments::Format::Csv:
        Q_EMIT printed(ValuesOutput::csv(samples, average));
        break;
    case ValuesArguments::Format::Json:
        Q_EMIT printed(ValuesOutput::json(arguments.request.source, samples, average, averaged));
        break;
    }
    Logger::info("Read {} samples of the device on {}", samples.size(), arguments.port.toStdString());
    succeeded = true;
    release();
}

void ValuesRun::fail(const QString& message)
{
    if (failure.isEmpty())
        failure = message;
    release();
}

void ValuesRun::release()
{
    if (code || interruptWatch.isActive())
        return;
    if (connector.isTargetConnected() && !connector.isRunning())
    {
        // Nothing on the sensor changed: no restart needed.
        connector.releaseTarget();
        return;
    }
    if (connector.isRunning())
    {
        // A wrong sensor is released by the connector on its own, without a signal.
        QTimer::singleShot(releasePollMs, this, &ValuesRun::release);
        return;
    }
    released();
}

void ValuesRun::released()
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

void ValuesRun::interrupt(const QString& reason)
{
    if (code || interruptWatch.isActive())
        return;
    Logger::warn("Values read interrupted: stopping and releasing the port");
    failure = tr("Interrupted by %1: the read was stopped and the port released.").arg(reason);
    succeeded = false;
    if (command)
        command->cancel();
    // The abort stops the read and closes the port; its confirmation, heard
    // only once the service has taken up this very request, ends the run.
    const quint64 requestId = service->newRequestId();
    interruptRequest = requestId;
    interruptTaken = false;
    interruptWatch.start();
    QMetaObject::invokeMethod(
        service.get(),
        [target = service.get(), requestId]
        {
            target->tagNextRequest(requestId);
            target->abort();
        },
        Qt::QueuedConnection);
}
