#include "components/commands/ConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

ConnectedDeviceCommand::ConnectedDeviceCommand(ConnectedDeviceContext& deviceContext, QObject* parent)
    : Command(parent)
    , context(deviceContext)
{
}

bool ConnectedDeviceCommand::checkPreconditions()
{
    if (context.isDeviceConnected())
        return true;
    // Reported as a lost connection: whoever runs the command should treat
    // the sensor as gone.
    error(tr("No device connected"), System::Application, deviceDisconnected);
    return false;
}

} // namespace Hvd::Weft::Components
