#pragma once

#include "components/commands/SimpleConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// Opens the port and finds (and, if asked, identifies) the sensor on it.
class ConnectCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    ConnectCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                   Communication::Comport comport, bool deviceIdentification, QObject* parent);

    QString getDescription() const override;

Q_SIGNALS:
    void connectToDevice(Hvd::Weft::Communication::Comport comPort, bool deviceIdentification);
    void deviceFound(const Hvd::Weft::Communication::Device& device);

protected:
    bool checkPreconditions() override;
    void doConnect() override;
    void doExecute() override;

private:
    Communication::Comport comport;
    bool deviceIdentification;
};

} // namespace Hvd::Weft::Components
