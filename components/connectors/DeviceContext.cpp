#include "components/connectors/DeviceContext.h"

#include <stdexcept>

namespace Hvd::Weft::Components
{

using Communication::Address;

namespace
{

std::optional<DeviceContext::ParameterSetRef>
findSet(const Device::ParameterSetContainer<Device::Parameter>& sets, const QString& versionText)
{
    // The identification placeholder carries "-", and a sensor may report
    // anything; neither must take the program down.
    try
    {
        const Device::Version version(versionText.toStdString());
        if (sets.contains(version))
            return std::cref(sets.at(version));
    }
    catch (const std::invalid_argument&)
    {
    }
    return std::nullopt;
}

std::optional<DeviceContext::ParameterRef>
findTagged(const std::optional<DeviceContext::ParameterSetRef>& set, Device::Tag tag)
{
    if (!set)
        return std::nullopt;
    const auto found = set->get().query(Device::QueryTag{tag});
    if (found.empty())
        return std::nullopt;
    return found.front();
}

} // namespace

std::optional<DeviceContext::ParameterSetRef> DeviceContext::getDeviceParameterSet() const
{
    const auto& device = getConnectedDevice();
    const Address::Type type = device.address.getType();
    if (device.name != Communication::bootloaderDeviceName && type != Address::Type::Device &&
        type != Address::Type::DeviceAndSubDevice)
        return std::nullopt;
    return findSet(getDevice().getDeviceParameterSets(), device.version);
}

std::optional<DeviceContext::ParameterSetRef> DeviceContext::getSubdeviceParameterSet() const
{
    const auto& device = getConnectedDevice();
    if (!device.hasSubDevice())
        return std::nullopt;
    return findSet(getDevice().getSubdeviceParameterSets(), device.subVersion);
}

std::optional<DeviceContext::ParameterRef> DeviceContext::getDeviceParameter(Device::Tag tag) const
{
    return findTagged(getDeviceParameterSet(), tag);
}

std::optional<DeviceContext::ParameterRef> DeviceContext::getDeviceParameter(const std::string& name) const
{
    const auto set = getDeviceParameterSet();
    if (!set || !set->get().contains(name))
        return std::nullopt;
    return std::cref(set->get().at(name));
}

std::optional<DeviceContext::ParameterRef> DeviceContext::getSubdeviceParameter(Device::Tag tag) const
{
    return findTagged(getSubdeviceParameterSet(), tag);
}

} // namespace Hvd::Weft::Components
