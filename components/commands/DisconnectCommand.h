#pragma once

#include "components/commands/SimpleConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// Releases the port. The context forgets the sensor as soon as the request
// is out, so nothing else talks to it while the service closes the port.
class DisconnectCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    DisconnectCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                      QObject* parent);

    QString getDescription() const override;

Q_SIGNALS:
    void disconnectDevice();

protected:
    void doConnect() override;
    void doExecute() override;
};

} // namespace Hvd::Weft::Components
