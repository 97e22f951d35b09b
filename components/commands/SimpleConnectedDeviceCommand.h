#pragma once

#include "communication/DeviceService.h"
#include "components/commands/ConnectedDeviceCommand.h"

namespace Hvd::Weft::Components
{

// A device command that drives one operation of the device service. It tags
// its request and hears the service only from the moment the service reports
// that request taken until the command ends, so an answer meant for an
// earlier operation never ends this one, however the threads are scheduled.
class SimpleConnectedDeviceCommand : public ConnectedDeviceCommand
{
    Q_OBJECT

public:
    SimpleConnectedDeviceCommand(ConnectedDeviceContext& context, Communication::DeviceService& service,
                                 QObject* parent);
    ~SimpleConnectedDeviceCommand() override;

Q_SIGNALS:
    void requestTagged(quint64 requestId);

protected:
    void doConnect() override;
    void doDisconnect() override;

    // The checks a read or write makes before anything is sent; on failure
    // the command has already ended with the error.
    bool checkParameterLists(bool hasDeviceParameters, bool hasSubdeviceParameters);
    // Where a system command goes: the device part if the sensor has one.
    Communication::Address::Type systemCommandTarget() const;
    // Call right before emitting the request to the service: tags it, so
    // that only what the service sends after taking it up is heard.
    void tagRequest();
    // True for a signal of the service that belongs to this command's
    // request while it runs.
    bool hearsService() const { return isRunning() && requestTaken; }
    // Ends the command with the service's answer if that answer is its own.
    void finishOnOwnAnswer();

    Communication::DeviceService& service;

private:
    void refuse(const char* logText, const QString& message);

    quint64 requestId = 0;
    bool requestTaken = false;
};

} // namespace Hvd::Weft::Components
