#include "components/commands/WriteParametersCommand.h"

#include "logging/Logger.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

WriteParametersCommand::WriteParametersCommand(ConnectedDeviceContext& deviceContext,
                                               DeviceService& deviceService, QString text, QObject* parent)
    : SimpleConnectedDeviceCommand(deviceContext, deviceService, parent)
    , description(std::move(text))
{
    connect(this, &WriteParametersCommand::write, &service, &DeviceService::write);
}

QString WriteParametersCommand::getDescription() const
{
    return description;
}

void WriteParametersCommand::setParameters(ParameterList deviceList, ParameterList subdeviceList)
{
    deviceParameters = std::move(deviceList);
    subdeviceParameters = std::move(subdeviceList);
}

void WriteParametersCommand::doConnect()
{
    SimpleConnectedDeviceCommand::doConnect();
    connect(&service, &DeviceService::successWriting, this, &WriteParametersCommand::finishOnOwnAnswer);
}

void WriteParametersCommand::logParameters(const ParameterList& parameters, const char* part)
{
    if (parameters.empty())
        return;
    const unsigned char indent = getDepth();
    Logger::info(indent, "Writing parameters to {}:", part);
    for (const auto& parameter : parameters)
        Logger::info(indent, "{}: {}", parameter.getName(), parameter.getCurrentValue().toString());
}

void WriteParametersCommand::doExecute()
{
    // Logged before the checks, so even a refused write shows what it held.
    logParameters(deviceParameters, "device");
    logParameters(subdeviceParameters, "subdevice");
    if (!checkParameterLists(!deviceParameters.empty(), !subdeviceParameters.empty()))
        return;
    tagRequest();
    Q_EMIT write(context.getConnectedDevice(), deviceParameters, subdeviceParameters, true);
}

} // namespace Hvd::Weft::Components
