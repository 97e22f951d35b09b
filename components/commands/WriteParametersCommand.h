#pragma once

#include "components/commands/SimpleConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// Writes parameters with their new current values into the sensor's
// non-volatile memory; the service reads every chunk back to verify it.
class WriteParametersCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    using ParameterList = Communication::DeviceService::ParameterList;

    WriteParametersCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                           QString description, QObject* parent);

    QString getDescription() const override;

    void setParameters(ParameterList deviceParameters, ParameterList subdeviceParameters);

Q_SIGNALS:
    void write(Hvd::Weft::Communication::Device device,
               Hvd::Weft::Communication::DeviceService::ParameterList deviceParameters,
               Hvd::Weft::Communication::DeviceService::ParameterList subdeviceParameters, bool readBack);

protected:
    void doConnect() override;
    void doExecute() override;

private:
    void logParameters(const ParameterList& parameters, const char* part);

    ParameterList deviceParameters;
    ParameterList subdeviceParameters;
    QString description;
};

} // namespace Hvd::Weft::Components
