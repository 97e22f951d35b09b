#include "communication/DeviceService.h"

#include "communication/internal/SysCommand.h"
#include "logging/Logger.h"

namespace Hvd::Weft::Communication
{

DeviceService::DeviceService(QObject* parent)
    : QObject(parent)
{
    registerMetaTypes();
}

DeviceService::~DeviceService() = default;

void DeviceService::registerMetaTypes()
{
    qRegisterMetaType<LogLevel>("Hvd::Weft::Communication::LogLevel");
    qRegisterMetaType<Address::Type>("Hvd::Weft::Communication::Address::Type");
    qRegisterMetaType<Comport>("Hvd::Weft::Communication::Comport");
    qRegisterMetaType<QList<Comport>>("QList<Hvd::Weft::Communication::Comport>");
    qRegisterMetaType<Device>("Hvd::Weft::Communication::Device");
    qRegisterMetaType<ParameterList>("Hvd::Weft::Communication::DeviceService::ParameterList");
    qRegisterMetaType<ParameterRefList>("Hvd::Weft::Communication::DeviceService::ParameterRefList");
    qRegisterMetaType<SettingList>("Hvd::Weft::Communication::DeviceService::SettingList");
    qRegisterMetaType<std::uint8_t>("std::uint8_t");
    qRegisterMetaType<std::uint16_t>("std::uint16_t");
    qRegisterMetaType<std::uint32_t>("std::uint32_t");
    qRegisterMetaType<BootloaderType>("Hvd::Weft::Communication::BootloaderType");
    qRegisterMetaType<Slots>("Hvd::Weft::Communication::Slots");
    qRegisterMetaType<QList<Slots>>("QList<Hvd::Weft::Communication::Slots>");
    qRegisterMetaType<Internal::SysCommand::Command>(
        "Hvd::Weft::Communication::Internal::SysCommand::Command");
}

void forwardLogToLogger(DeviceService& service)
{
    // The service as context: the handler runs in the device thread, whose
    // name the logger puts in front of every line.
    QObject::connect(&service, &DeviceService::log, &service,
                     [](LogLevel level, const QString& entry)
                     { Components::Logger::entry(static_cast<int>(level), entry.toStdString()); });
}

} // namespace Hvd::Weft::Communication
