#include "tools/help-manual/StandInService.h"

#include <QMetaObject>
#include <QTimer>

using Hvd::Weft::Communication::Address;
using Hvd::Weft::Communication::BootloaderType;
using Hvd::Weft::Communication::Comport;
using Hvd::Weft::Communication::Device;
using Hvd::Weft::Communication::DeviceService;
using Hvd::Weft::Device::ParameterSetting;
using Hvd::Weft::Device::Value;

namespace
{

// The sensor the shipped description knows, at its usual bus address.
Device orvikSensor(bool foreign)
{
    Device sensor;
    sensor.name = QStringLiteral("Orvik");
    sensor.version = QStringLiteral("V02.11");
    sensor.subVersion = QStringLiteral("V02.10");
    sensor.address.bytes = {19, 0, 4, 0, 2};
    if (foreign)
        sensor.address.bytes = {19, 0, 7, 0, 1};
    return sensor;
}

// Every requested parameter with the value a factory-fresh sensor holds,
// except its size name, which carries the calibrated diameter.
DeviceService::SettingList factoryValues(const DeviceService::ParameterList& parameters)
{
    DeviceService::SettingList values;
    for (const auto& parameter : parameters)
    {
        if (parameter.getName() == "ProductVariantName")
            values.emplace_back(parameter.getName(), Value(std::string(StandInService::variantName)));
        else
            values.emplace_back(parameter.getName(), parameter.getType(), parameter.getDefaultValue());
    }
    return values;
}

} // namespace

// Answers arrive from the event loop, as the real service's do from its
// thread, never inside the request itself.
template <typename Answer> void StandInService::later(Answer answer)
{
    QTimer::singleShot(0, this, std::move(answer));
}

void StandInService::releaseWrite()
{
    QMetaObject::invokeMethod(
        this,
        [this]
        {
            writeHeld = false;
            emit progress(100);
            emit successWriting();
        },
        Qt::QueuedConnection);
}

void StandInService::abort()
{
    takeRequest();
    later(
        [this]
        {
            emit progress(100);
            emit successDisconnecting();
        });
}

void StandInService::start(const Comport&, bool)
{
    takeRequest();
    const bool foreign = foreignSensor;
    later(
        [this, foreign]
        {
            emit progress(40);
            emit foundDevice(orvikSensor(foreign));
        });
}

void StandInService::restartDevice(Address::Type, const Device&)
{
    takeRequest();
    later([this] { emit successRestartDevice(); });
}

void StandInService::setCurrentAsFactoryDefaults(Address::Type, const Device&)
{
    takeRequest();
    later([this] { emit successSetCurrentAsFactoryDefaults(); });
}

void StandInService::resetToFactoryDefaults(Address::Type, const Device&)
{
    takeRequest();
    later([this] { emit successResetToFactoryDefaults(); });
}

void StandInService::write(const Device&, const ParameterList&, const ParameterList&, bool)
{
    takeRequest();
    if (holdWrite)
    {
        // Half way through the chunks, where the window stays until released.
        later(
            [this]
            {
                emit progress(50);
                writeHeld = true;
            });
        return;
    }
    later(
        [this]
        {
            emit progress(100);
            emit successWriting();
        });
}

// Like the real service, a read ends with the transfer's own trailing
// progress and successWriting.
void StandInService::read(const Device&, const ParameterList& deviceParameters,
                          const ParameterList& subdeviceParameters)
{
    takeRequest();
    later(
        [this, device = factoryValues(deviceParameters), subdevice = factoryValues(subdeviceParameters)]
        {
            emit progress(100);
            emit successReading(device, subdevice);
            emit progress(100);
            emit successWriting();
        });
}

void StandInService::refuse()
{
    takeRequest();
    later([this] { emit error(QStringLiteral("Not available in this stand-in")); });
}

void StandInService::readFixedBurstValues(Address::Type, const Device&, std::uint32_t)
{
    refuse();
}

void StandInService::accumulateBurstValues(Address::Type, const Device&, std::uint32_t, std::uint8_t,
                                           std::uint16_t)
{
    refuse();
}

void StandInService::readFixedDeviceValues(Address::Type, const Device&, std::uint32_t)
{
    refuse();
}

void StandInService::accumulateDeviceValues(Address::Type, const Device&, std::uint32_t, std::uint8_t,
                                            std::uint16_t)
{
    refuse();
}

void StandInService::readFixedDeviceAndBurstValues(Address::Type, const Device&, std::uint32_t)
{
    refuse();
}

void StandInService::upload(Address::Type, const Device&, BootloaderType, const QString&, bool, bool)
{
    refuse();
}
