#include "components/connectors/DeviceConnector.h"

#include "components/commands/CompositeCommand.h"
#include "components/commands/ConnectCommand.h"
#include "components/commands/DisconnectCommand.h"
#include "components/commands/RestartDeviceCommand.h"
#include "logging/Logger.h"

#include <algorithm>

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

DeviceConnector::DeviceConnector(DeviceContext& deviceContext, DeviceService& deviceService,
                                 const Communication::ComPortScanner& scanner)
    : ComPortConnector(scanner)
    , context(deviceContext)
    , service(deviceService)
{
}

DeviceConnector::~DeviceConnector()
{
    // The commands go with the connector as its children; only stop them
    // from reaching back into it while that happens.
    for (Command* command : {connectCommand, disconnectCommand})
    {
        if (!command)
            continue;
        command->cancel();
        disconnect(command, nullptr, this, nullptr);
    }
}

bool DeviceConnector::isTargetConnected() const
{
    return context.isDeviceConnected();
}

void DeviceConnector::clear()
{
    context.clearConnectedDeviceAndPort();
}

bool DeviceConnector::containsConnectedPort(const QList<Communication::Comport>& ports) const
{
    const QString& number = context.getConnectedDevicePort().number;
    return std::any_of(ports.begin(), ports.end(),
                       [&number](const Communication::Comport& port) { return port.number == number; });
}

void DeviceConnector::connectedPortVanished()
{
    // The service ends what runs on that port with its lost-line message;
    // the flows take it from there as for a hang-up.
    const QString number = context.getConnectedDevicePort().number;
    Logger::warn("Port {} is no longer listed", number.toStdString());
    QMetaObject::invokeMethod(
        &service, [service = &service, number] { service->portVanished(number); }, Qt::QueuedConnection);
}

void DeviceConnector::discard(Command*& command)
{
    if (!command)
        return;
    command->cancel();
    disconnect(command, nullptr, this, nullptr);
    command->deleteLater();
    command = nullptr;
}

void DeviceConnector::forwardProgress(Command* command)
{
    connect(command, &Command::progressUpdated, this,
            [this](std::uint32_t progress, const QString& description)
            { Q_EMIT progressUpdated(static_cast<std::uint8_t>(progress), description); });
}

void DeviceConnector::doConnectTarget(const QString& port)
{
    const Device::Device& description = context.getDevice();
    if (description.getIdentity() == Device::Identity::Unknown)
    {
        setRunning(false);
        Q_EMIT errorOccurred(tr("No device has been selected"));
        return;
    }
    discard(connectCommand);

    const auto& interface = description.getTraits().getInterface();
    context.setConnectedDevicePort(port, interface.isHalfDuplex(), interface.getStartUp_ms(),
                                   interface.getPowerDown_ms());
    auto* command =
        new ConnectCommand(context, service, context.getConnectedDevicePort(), deviceIdentification, this);
    forwardProgress(command);
    connect(command, &ConnectCommand::deviceFound, this, &DeviceConnector::handleDeviceConnected);
    connect(command, &Command::errorOccurred, this,
            [this](const QString& message)
            {
                clear();
                setRunning(false);
                Q_EMIT errorOccurred(message);
            });
    connectCommand = command;
    command->execute();
}

void DeviceConnector::handleDeviceConnected(const Communication::Device& device)
{
    context.setConnectedDevice(device);
    const auto& expected = context.getDevice().getTraits().getInterface().getAddress().getBytes();
    if (deviceIdentification && device.address.bytes != expected)
    {
        // Released quietly: the user interface only hears that the sensor
        // was the wrong one. Busy until that disconnect has ended.
        doDisconnectTarget(/*withSignals=*/false);
        Q_EMIT unexpectedDeviceConnected(device);
        return;
    }
    setRunning(false);
    Q_EMIT deviceConnected(device);
}

void DeviceConnector::doDisconnectTarget(bool withSignals)
{
    // Restarted first, so the sensor runs with what it now holds once the
    // port is gone.
    runDisconnect(new CompositeCommand({new RestartDeviceCommand(context, service, nullptr),
                                        new DisconnectCommand(context, service, nullptr)},
                                       false, this),
                  withSignals);
}

void DeviceConnector::releaseTarget()
{
    if (isRunning() || !isTargetConnected())
        return;
    setRunning(true);
    runDisconnect(new DisconnectCommand(context, service, this), true);
}

void DeviceConnector::runDisconnect(Command* command, bool withSignals)
{
    discard(disconnectCommand);
    if (withSignals)
        forwardProgress(command);
    connect(command, &Command::finished, this,
            [this, withSignals]
            {
                clear();
                setRunning(false);
                if (withSignals)
                    Q_EMIT targetDisconnected();
                Q_EMIT releaseEnded(std::nullopt);
            });
    connect(command, &Command::errorOccurred, this,
            [this, withSignals](const QString& message)
            {
                clear();
                setRunning(false);
                if (withSignals)
                    Q_EMIT errorOccurred(message);
                Q_EMIT releaseEnded(message);
            });
    disconnectCommand = command;
    command->execute();
}

} // namespace Hvd::Weft::Components
