#include "components/commands/DisconnectCommand.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

DisconnectCommand::DisconnectCommand(ConnectedDeviceContext& deviceContext, DeviceService& deviceService,
                                     QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
{
    connect(this, &DisconnectCommand::disconnectDevice, &service, &DeviceService::abort);
}

QString DisconnectCommand::getDescription() const
{
    return tr("Disconnecting from device");
}

void DisconnectCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::successDisconnecting, this, &DisconnectCommand::finishOnOwnAnswer);
}

void DisconnectCommand::doExecute()
{
    tagRequest();
    Q_EMIT disconnectDevice();
    context.clearConnectedDeviceAndPort();
}

} // namespace Hvd::Weft::Components
