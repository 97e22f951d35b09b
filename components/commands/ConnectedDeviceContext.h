#pragma once

#include "communication/Comport.h"
#include "communication/Device.h"

#include <QString>

#include <cstdint>

namespace Hvd::Weft::Components
{

// The sensor the device commands talk to and the port it was reached on.
// Shared by all device commands; the connect and disconnect paths write it.
class ConnectedDeviceContext
{
public:
    ConnectedDeviceContext() = default;
    virtual ~ConnectedDeviceContext() = default;

    const Communication::Device& getConnectedDevice() const { return connectedDevice; }
    void setConnectedDevice(Communication::Device device) { connectedDevice = std::move(device); }

    const Communication::Comport& getConnectedDevicePort() const { return connectedDevicePort; }
    // Only the line properties are known when a connection starts; the
    // scanner's details (manufacturer, ids) stay empty.
    void setConnectedDevicePort(QString number, bool halfDuplex, unsigned short startupMs,
                                unsigned short powerDownMs);

    void clearConnectedDeviceAndPort();

    // A bootloader placeholder has no address yet still holds the port.
    bool isDeviceConnected() const;

private:
    Communication::Comport connectedDevicePort;
    Communication::Device connectedDevice;
};

} // namespace Hvd::Weft::Components
