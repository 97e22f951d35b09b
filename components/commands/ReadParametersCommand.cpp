#include "components/commands/ReadParametersCommand.h"

#include "logging/Logger.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

ReadParametersCommand::ReadParametersCommand(ConnectedDeviceContext& deviceContext,
                                             DeviceService& deviceService, QString text, QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
    , description(std::move(text))
{
    connect(this, &ReadParametersCommand::read, &service, &DeviceService::read);
}

QString ReadParametersCommand::getDescription() const
{
    return description.isEmpty() ? tr("Reading parameters") : description;
}

void ReadParametersCommand::setParameters(ParameterRefList deviceList, ParameterRefList subdeviceList)
{
    deviceParameters = std::move(deviceList);
    subdeviceParameters = std::move(subdeviceList);
}

void ReadParametersCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    // successWriting is left alone on purpose: the service sends it after
    // every read, and it belongs to no command.
    connect(&service, &DeviceService::successReading, this, &ReadParametersCommand::handleRead);
}

void ReadParametersCommand::doExecute()
{
    if (!checkParameterLists(!deviceParameters.empty(), !subdeviceParameters.empty()))
        return;
    // Copies go to the service's thread; the description stays here.
    const ParameterList deviceCopies(deviceParameters.begin(), deviceParameters.end());
    const ParameterList subdeviceCopies(subdeviceParameters.begin(), subdeviceParameters.end());
    tagRequest();
    Q_EMIT read(context.getConnectedDevice(), deviceCopies, subdeviceCopies);
}

void ReadParametersCommand::handleRead(const SettingList& deviceSettings,
                                       const SettingList& subdeviceSettings)
{
    if (!hearsService())
        return;
    const unsigned char indent = getDepth();
    Logger::info(indent, "Read parameters:");
    for (const SettingList* settings : {&deviceSettings, &subdeviceSettings})
    {
        for (const auto& setting : *settings)
            Logger::info(indent, "{} {}", setting.getName(), setting.getValue().toString());
    }
    Q_EMIT parametersRead(deviceSettings, subdeviceSettings);
    finishOnOwnAnswer();
}

} // namespace Hvd::Weft::Components
