#pragma once

#include "components/commands/SimpleConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// Restarts the sensor so that it works with what its memory now holds.
class RestartDeviceCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    RestartDeviceCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                         QObject* parent);

    QString getDescription() const override;

Q_SIGNALS:
    void restartDevice(Hvd::Weft::Communication::Address::Type type, Hvd::Weft::Communication::Device device);

protected:
    void doConnect() override;
    void doExecute() override;
};

} // namespace Hvd::Weft::Components
