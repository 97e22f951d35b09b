#include "communication/VeltrixDeviceService.h"

#include "communication/TransferableData.h"
#include "communication/internal/FirstContact.h"
#include "communication/internal/Parameter.h"
#include "communication/internal/SysCommand.h"

namespace Hvd::Weft::Communication
{

using Internal::SysCommand;

VeltrixDeviceService::VeltrixDeviceService()
    : VeltrixDeviceService(DeviceServiceTimeouts())
{
}

VeltrixDeviceService::VeltrixDeviceService(const DeviceServiceTimeouts& timeouts,
                                           const VELTRIX_Options& protocolOptions)
    : facade(new VELTRIX(this, VELTRIX_Session::VELTRIX_HW_UART, protocolOptions))
    , port(new Internal::Port(this, facade))
    , firstContact(new Internal::FirstContact(this, facade, port, ClosePortWhenFinished::No,
                                              timeouts.sessionTimeoutMs, timeouts.portOpenTimeoutMs))
    , sysCommand(new SysCommand(this, facade, port, ClosePortWhenFinished::No, timeouts.sessionTimeoutMs))
    , parameter(
          new Internal::Parameter(this, facade, port, ClosePortWhenFinished::No, timeouts.sessionTimeoutMs))
{
    const auto forwardProgress = [this](unsigned percent)
    { emit progress(static_cast<std::uint8_t>(percent)); };

    connect(firstContact, &Internal::FirstContact::log, this, &DeviceService::log);
    connect(firstContact, &Internal::FirstContact::foundDevice, this, &DeviceService::foundDevice);
    connect(firstContact, &Internal::FirstContact::error, this, &DeviceService::error);
    connect(firstContact, &Internal::FirstContact::progress, this, forwardProgress);

    connect(sysCommand, &SysCommand::success, this,
            [this](SysCommand::Command command)
            {
                switch (command)
                {
                case SysCommand::Command::SetCurrentAsFactoryDefaults:
                    emit successSetCurrentAsFactoryDefaults();
                    break;
                case SysCommand::Command::ResetToFactoryDefaults:
                    emit successResetToFactoryDefaults();
                    break;
                case SysCommand::Command::ResetNvm:
                    emit successResetNvm();
                    break;
                case SysCommand::Command::RestartDevice:
                    emit successRestartDevice();
                    break;
                }
            });
    connect(sysCommand, &SysCommand::error, this, &DeviceService::error);
    connect(sysCommand, &SysCommand::progress, this, forwardProgress);
    connect(sysCommand, &SysCommand::log, this, &DeviceService::log);

    connect(parameter, &Internal::Parameter::readValue, this, &VeltrixDeviceService::parseReadData);
    connect(parameter, &Internal::Parameter::success, this, &DeviceService::successWriting);
    connect(parameter, &Internal::Parameter::error, this, &VeltrixDeviceService::onTransferError);
    connect(parameter, &Internal::Parameter::progress, this, forwardProgress);
    connect(parameter, &Internal::Parameter::log, this, &DeviceService::log);
}

VeltrixDeviceService::~VeltrixDeviceService() = default;

std::optional<Internal::Chunks<50>>
VeltrixDeviceService::getCombinedChunks(const Device& device, ParameterRefList& deviceParameters,
                                        ParameterRefList& subdeviceParameters)
{
    return combineChunks(device, deviceParameters, subdeviceParameters);
}

void VeltrixDeviceService::start(const Comport& comport, bool deviceIdentification)
{
    firstContact->start(comport, deviceIdentification);
}

void VeltrixDeviceService::restartDevice(Address::Type type, const Device& dev)
{
    sysCommand->systemCommand(type, dev, SysCommand::Command::RestartDevice);
}

void VeltrixDeviceService::setCurrentAsFactoryDefaults(Address::Type type, const Device& dev)
{
    sysCommand->systemCommand(type, dev, SysCommand::Command::SetCurrentAsFactoryDefaults);
}

void VeltrixDeviceService::resetToFactoryDefaults(Address::Type type, const Device& dev)
{
    sysCommand->systemCommand(type, dev, SysCommand::Command::ResetToFactoryDefaults);
}

bool VeltrixDeviceService::refuseWhileTransferRuns()
{
    if (!parameter->isRunning())
        return false;
    // Reported here rather than through the transfer, whose errors would
    // discard the lists of the read that is still running.
    emit log(LogLevel::Error, QStringLiteral("Current operation not finished!"));
    emit error(tr("Current operation not finished!"));
    return true;
}

void VeltrixDeviceService::write(const Device& dev, const ParameterList& deviceParameterList,
                                 const ParameterList& subdeviceParameterList, bool readBack)
{
    ParameterRefList deviceRefs(deviceParameterList.begin(), deviceParameterList.end());
    ParameterRefList subdeviceRefs(subdeviceParameterList.begin(), subdeviceParameterList.end());
    const auto chunks = getCombinedChunks(dev, deviceRefs, subdeviceRefs);
    if (!chunks)
    {
        emit warning(tr("The parameters are empty."));
        emit progress(100);
        emit successWriting();
        return;
    }
    if (refuseWhileTransferRuns())
        return;
    parameter->startWrite(*chunks, readBack);
}

void VeltrixDeviceService::read(const Device& dev, ParameterRefList deviceParameterList,
                                ParameterRefList subdeviceParameterList)
{
    const auto chunks = getCombinedChunks(dev, deviceParameterList, subdeviceParameterList);
    if (!chunks)
    {
        emit warning(tr("The parameters are empty."));
        emit progress(100);
        emit successReading({}, {});
        return;
    }
    if (refuseWhileTransferRuns())
        return;
    deviceParameters = std::move(deviceParameterList);
    subdeviceParameters = std::move(subdeviceParameterList);
    parameter->startRead(*chunks);
}

void VeltrixDeviceService::parseReadData(const QByteArray& data)
{
    SettingList deviceSettings;
    SettingList subdeviceSettings;
    qsizetype position = 0;
    decodeReadData(data, position, deviceParameters, deviceSettings);
    decodeReadData(data, position, subdeviceParameters, subdeviceSettings);
    emit progress(100);
    emit successReading(deviceSettings, subdeviceSettings);
    deviceParameters.clear();
    subdeviceParameters.clear();
}

void VeltrixDeviceService::onTransferError(const QString& text)
{
    deviceParameters.clear();
    subdeviceParameters.clear();
    emit error(text);
}

void VeltrixDeviceService::abort()
{
    firstContact->abort();
    parameter->abort();
    emit progress(100);
    emit successDisconnecting();
}

} // namespace Hvd::Weft::Communication
