#pragma once

#include "components/commands/SimpleConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// Reads parameters of the loaded description from the sensor. The lists
// refer into the description, which must stay unchanged while a read runs.
class ReadParametersCommand : public SimpleConnectedDeviceCommand
{
    Q_OBJECT

public:
    using ParameterList = Communication::DeviceService::ParameterList;
    using ParameterRefList = Communication::DeviceService::ParameterRefList;
    using SettingList = Communication::DeviceService::SettingList;

    ReadParametersCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                          QString description, QObject* parent);

    QString getDescription() const override;

    void setParameters(ParameterRefList deviceParameters, ParameterRefList subdeviceParameters);

Q_SIGNALS:
    void read(Hvd::Weft::Communication::Device device,
              Hvd::Weft::Communication::DeviceService::ParameterList deviceParameters,
              Hvd::Weft::Communication::DeviceService::ParameterList subdeviceParameters);
    void parametersRead(const Hvd::Weft::Communication::DeviceService::SettingList& deviceParameters,
                        const Hvd::Weft::Communication::DeviceService::SettingList& subdeviceParameters);

protected:
    void doConnect() override;
    void doExecute() override;

private:
    void handleRead(const SettingList& deviceSettings, const SettingList& subdeviceSettings);

    ParameterRefList deviceParameters;
    ParameterRefList subdeviceParameters;
    QString description;
};

} // namespace Hvd::Weft::Components
