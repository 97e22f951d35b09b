#include "components/commands/SimpleConnectedDeviceCommand.h"

#include "logging/Logger.h"

namespace Hvd::Weft::Components
{

using Communication::Address;
using Communication::DeviceService;

SimpleConnectedDeviceCommand::SimpleConnectedDeviceCommand(ConnectedDeviceContext& deviceContext,
                                                           DeviceService& deviceService, QObject* parent)
    : ConnectedDeviceCommand(deviceContext, parent)
    , service(deviceService)
{
    connect(this, &SimpleConnectedDeviceCommand::requestTagged, &service, &DeviceService::tagNextRequest);
}

SimpleConnectedDeviceCommand::~SimpleConnectedDeviceCommand()
{
    cancel();
}

void SimpleConnectedDeviceCommand::doConnect()
{
    requestTaken = false;
    connect(&service, &DeviceService::requestTaken, this,
            [this](quint64 id)
            {
                if (isRunning() && id == requestId)
                    requestTaken = true;
            });
    connect(&service, &DeviceService::progress, this,
            [this](std::uint8_t percent)
            {
                if (hearsService())
                    Q_EMIT progressUpdated(percent, getDescription());
            });
    connect(&service, &DeviceService::warning, this,
            [this](const QString& text)
            {
                if (hearsService())
                    Q_EMIT warningOccurred(text);
            });
    connect(&service, &DeviceService::error, this,
            [this](const QString& text)
            {
                if (hearsService())
                    error(text, System::Application, deviceDisconnected);
            });
}

void SimpleConnectedDeviceCommand::doDisconnect()
{
    disconnect(&service, nullptr, this, nullptr);
}

void SimpleConnectedDeviceCommand::tagRequest()
{
    requestId = service.newRequestId();
    requestTaken = false;
    Q_EMIT requestTagged(requestId);
}

void SimpleConnectedDeviceCommand::finishOnOwnAnswer()
{
    if (hearsService())
        finish();
}

void SimpleConnectedDeviceCommand::refuse(const char* logText, const QString& message)
{
    Logger::error(getDepth(), logText);
    error(message, System::Application, deviceStillConnected);
}

bool SimpleConnectedDeviceCommand::checkParameterLists(bool hasDeviceParameters, bool hasSubdeviceParameters)
{
    if (!hasDeviceParameters && !hasSubdeviceParameters)
    {
        refuse("The parameters are empty", tr("The parameters are empty."));
        return false;
    }
    const auto& device = context.getConnectedDevice();
    const Address::Type type = device.address.getType();
    const bool bootloader = device.name == Communication::bootloaderDeviceName;
    if (!bootloader && hasDeviceParameters && type != Address::Type::Device &&
        type != Address::Type::DeviceAndSubDevice)
    {
        refuse("No device is connected but parameters are not empty",
               tr("No device is connected but parameters are not empty."));
        return false;
    }
    if (hasSubdeviceParameters && type != Address::Type::SubDevice &&
        type != Address::Type::DeviceAndSubDevice)
    {
        refuse("No subdevice is connected but parameters are not empty",
               tr("No subdevice is connected but parameters are not empty."));
        return false;
    }
    return true;
}

Address::Type SimpleConnectedDeviceCommand::systemCommandTarget() const
{
    const Address::Type type = context.getConnectedDevice().address.getType();
    return type == Address::Type::Device || type == Address::Type::DeviceAndSubDevice
               ? Address::Type::Device
               : Address::Type::Invalid;
}

} // namespace Hvd::Weft::Components
