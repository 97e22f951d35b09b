#include "components/commands/ConnectCommand.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

ConnectCommand::ConnectCommand(ConnectedDeviceContext& deviceContext, DeviceService& deviceService,
                               Communication::Comport port, bool identification, QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
    , comport(std::move(port))
    , deviceIdentification(identification)
{
    connect(this, &ConnectCommand::connectToDevice, &service, &DeviceService::start);
}

QString ConnectCommand::getDescription() const
{
    return tr("Connecting to device");
}

bool ConnectCommand::checkPreconditions()
{
    if (!context.isDeviceConnected())
        return true;
    error(tr("Device already connected"), System::Application, deviceStillConnected);
    return false;
}

void ConnectCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::foundDevice, this,
            [this](const Communication::Device& device)
            {
                if (!hearsService())
                    return;
                Q_EMIT deviceFound(device);
                finishOnOwnAnswer();
            });
}

void ConnectCommand::doExecute()
{
    tagRequest();
    Q_EMIT connectToDevice(comport, deviceIdentification);
}

} // namespace Hvd::Weft::Components
