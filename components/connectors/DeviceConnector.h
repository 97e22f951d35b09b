#pragma once

#include "communication/DeviceService.h"
#include "components/commands/Command.h"
#include "components/connectors/ComPortConnector.h"
#include "components/connectors/DeviceContext.h"

#include <optional>

namespace Hvd::Weft::Components
{

// Connects the sensor of the loaded description through the device service
// and keeps the device context in step: set on a successful connect, cleared
// on every failed connect and every disconnect.
class DeviceConnector : public ComPortConnector
{
    Q_OBJECT

public:
    DeviceConnector(DeviceContext& context, Communication::DeviceService& service,
                    const Communication::ComPortScanner& scanner);
    ~DeviceConnector() override;

    // With identification on, a sensor whose address is not the one the
    // description names is restarted and released again.
    void setDeviceIdentification(bool enable) { deviceIdentification = enable; }

    bool isTargetConnected() const override;

    // Releases the sensor without restarting it: forgets it and closes the
    // port, with signals. For a line the service has already given up (it
    // closes its port on every failure, so a restart could only wait out its
    // timeout) and after a job that changed nothing on the sensor. Does
    // nothing while busy or with no sensor connected.
    void releaseTarget();

Q_SIGNALS:
    void deviceConnected(const Hvd::Weft::Communication::Device& device);
    void unexpectedDeviceConnected(const Hvd::Weft::Communication::Device& device);
    // Every release ends with this, with or without the user-facing signals
    // and whether it succeeded or not (then with its message).
    void releaseEnded(const std::optional<QString>& releaseError);

protected:
    void doDisconnectTarget(bool withSignals) override;
    void clear() override;
    void doConnectTarget(const QString& port) override;
    bool containsConnectedPort(const QList<Communication::Comport>& ports) const override;
    void connectedPortVanished() override;

private:
    void handleDeviceConnected(const Communication::Device& device);
    // Cancels a previous command, cuts it off from the connector and lets the
    // event loop delete it.
    void discard(Command*& command);
    void forwardProgress(Command* command);
    // Runs a release; busy until it has ended, the sensor forgotten either way.
    void runDisconnect(Command* command, bool withSignals);

    DeviceContext& context;
    Communication::DeviceService& service;
    Command* connectCommand = nullptr;
    Command* disconnectCommand = nullptr;
    bool deviceIdentification = true;
};

} // namespace Hvd::Weft::Components
