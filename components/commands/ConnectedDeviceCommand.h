#pragma once

#include "components/commands/Command.h"
#include "components/commands/ConnectedDeviceContext.h"

namespace Hvd::Weft::Components
{

// A command that needs a connected sensor before it may run.
class ConnectedDeviceCommand : public Command
{
    Q_OBJECT

public:
    ConnectedDeviceCommand(ConnectedDeviceContext& context, QObject* parent);

protected:
    bool checkPreconditions() override;

    ConnectedDeviceContext& context;
};

} // namespace Hvd::Weft::Components
