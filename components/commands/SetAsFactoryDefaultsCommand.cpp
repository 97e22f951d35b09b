#include "components/commands/SetAsFactoryDefaultsCommand.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

SetAsFactoryDefaultsCommand::SetAsFactoryDefaultsCommand(ConnectedDeviceContext& deviceContext,
                                                         DeviceService& deviceService, QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
{
    connect(this, &SetAsFactoryDefaultsCommand::setCurrentAsFactoryDefaults, &service,
            &DeviceService::setCurrentAsFactoryDefaults);
}

QString SetAsFactoryDefaultsCommand::getDescription() const
{
    return tr("Setting parameters as factory defaults");
}

void SetAsFactoryDefaultsCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::successSetCurrentAsFactoryDefaults, this,
            &SetAsFactoryDefaultsCommand::finishOnOwnAnswer);
}

void SetAsFactoryDefaultsCommand::doExecute()
{
    tagRequest();
    Q_EMIT setCurrentAsFactoryDefaults(systemCommandTarget(), context.getConnectedDevice());
}

} // namespace Hvd::Weft::Components
