#include "components/commands/RestartDeviceCommand.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

RestartDeviceCommand::RestartDeviceCommand(ConnectedDeviceContext& deviceContext,
                                           DeviceService& deviceService, QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
{
    connect(this, &RestartDeviceCommand::restartDevice, &service, &DeviceService::restartDevice);
}

QString RestartDeviceCommand::getDescription() const
{
    return tr("Restarting device");
}

void RestartDeviceCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::successRestartDevice, this, &RestartDeviceCommand::finishOnOwnAnswer);
}

void RestartDeviceCommand::doExecute()
{
    tagRequest();
    Q_EMIT restartDevice(systemCommandTarget(), context.getConnectedDevice());
}

} // namespace Hvd::Weft::Components
