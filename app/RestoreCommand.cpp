#include "app/RestoreCommand.h"

#include "components/commands/CompositeCommand.h"
#include "components/commands/DisconnectCommand.h"
#include "components/commands/RestartDeviceCommand.h"
#include "components/commands/SetAsFactoryDefaultsCommand.h"
#include "components/commands/WriteParametersCommand.h"
#include "components/connectors/DeviceContext.h"

#include <QCoreApplication>

using namespace Hvd::Weft::Components;
using Hvd::Weft::Communication::DeviceService;

CompositeCommand* createRestoreCommand(DeviceContext& context, DeviceService& service,
                                       DeviceService::ParameterList deviceParameters,
                                       DeviceService::ParameterList subdeviceParameters, QObject* parent)
{
    auto* write = new WriteParametersCommand(
        context, service, QCoreApplication::translate("SensorBackup", "Restoring previous parameters"),
        nullptr);
    write->setParameters(std::move(deviceParameters), std::move(subdeviceParameters));
    return new CompositeCommand({write, new SetAsFactoryDefaultsCommand(context, service, nullptr),
                                 new RestartDeviceCommand(context, service, nullptr),
                                 new DisconnectCommand(context, service, nullptr)},
                                CompositeCommand::detailedProgressReports, parent);
}
