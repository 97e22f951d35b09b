#include "app/ClosingSteps.h"

#include "components/commands/CompositeCommand.h"
#include "components/commands/DisconnectCommand.h"
#include "components/commands/RestartDeviceCommand.h"
#include "components/commands/SetAsFactoryDefaultsCommand.h"
#include "components/commands/WriteParametersCommand.h"
#include "components/connectors/DeviceContext.h"

using namespace Hvd::Weft::Components;
using Hvd::Weft::Communication::DeviceService;

ClosingSteps addClosingSteps(CompositeCommand& composite, DeviceContext& context, DeviceService& service,
                             const QString& writeDescription)
{
    ClosingSteps steps;
    steps.write = new WriteParametersCommand(context, service, writeDescription, &composite);
    steps.factoryDefaults = new SetAsFactoryDefaultsCommand(context, service, &composite);
    composite.addCommand(steps.write);
    composite.addCommand(steps.factoryDefaults);
    composite.addCommand(new RestartDeviceCommand(context, service, &composite));
    composite.addCommand(new DisconnectCommand(context, service, &composite));
    return steps;
}
