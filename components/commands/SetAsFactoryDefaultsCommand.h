#pragma once

#include "components/commands/SimpleConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// Makes the sensor keep its current parameters as its factory defaults.
class SetAsFactoryDefaultsCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    SetAsFactoryDefaultsCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                                QObject* parent);

    QString getDescription() const override;

Q_SIGNALS:
    void setCurrentAsFactoryDefaults(Hvd::Weft::Communication::Address::Type type,
                                     Hvd::Weft::Communication::Device device);

protected:
    void doConnect() override;
    void doExecute() override;
};

} // namespace Hvd::Weft::Components
