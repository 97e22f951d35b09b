#pragma once

#include "communication/DeviceService.h"
#include "components/commands/ConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// A device command that drives one operation of the device service. It hears
// the service only while it runs, so answers meant for an earlier command
// never end this one.
class SimpleConnectedDeviceCommand : public ConnectedDeviceCommand
{
    Q_OBJECT

public:
    SimpleConnectedDeviceCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                                 QObject* parent);
    ~SimpleConnectedDeviceCommand() override;

protected:
    void doConnect() override;
    void doDisconnect() override;

    // The checks a read or write makes before anything is sent; on failure
    // the command has already ended with the error.
    bool checkParameterLists(bool hasDeviceParameters, bool hasSubdeviceParameters);
    // Where a system command goes: the device part if the sensor has one.
    Communication::Address::Type systemCommandTarget() const;
    // Ends the command with the service's answer unless it was cancelled
    // while that answer was already on its way.
    void finishIfRunning();

    Communication::DeviceService& service;

private:
    void refuse(const char* logText, const QString& message);
};

} // namespace Hvd::Weft::Components
