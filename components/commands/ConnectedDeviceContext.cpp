#include "components/commands/ConnectedDeviceContext.h"

#include <algorithm>

namespace Hvd::Weft::Components
{

void ConnectedDeviceContext::setConnectedDevicePort(QString number, bool halfDuplex, unsigned short startupMs,
                                                    unsigned short powerDownMs)
{
    connectedDevicePort = Communication::Comport{};
    connectedDevicePort.number = std::move(number);
    connectedDevicePort.halfDuplex = halfDuplex;
    connectedDevicePort.startupMs = startupMs;
    connectedDevicePort.powerDownMs = powerDownMs;
}

void ConnectedDeviceContext::clearConnectedDeviceAndPort()
{
    connectedDevicePort = Communication::Comport{};
    connectedDevice = Communication::Device{};
}

bool ConnectedDeviceContext::isDeviceConnected() const
{
    if (connectedDevice.name == Communication::bootloaderDeviceName)
        return true;
    const auto& bytes = connectedDevice.address.bytes;
    return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte != 0; });
}

} // namespace Hvd::Weft::Components
