#pragma once

#include "communication/DeviceService.h"
#include "communication/QtComPortScanner.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"
#include "protocol/VELTRIX_Timing.h"

#include <QThread>

#include <memory>

namespace Hvd::Weft::Components
{

// The objects every view talks to the sensor through, built in one place:
// the device context, the device service in its own "DeviceThread" (its log
// forwarded into the program log), the port scanner and the connector. The
// window, `orvik`, the manual's window tour and the benches each hold one.
// Whatever listens to the service must go before the stack does.
class DeviceStack
{
public:
    struct Options
    {
        VELTRIX_Timing timing;
        // Lists the ports (a simulated sensor's line in tests); runs in the
        // scanner's thread.
        Communication::QtComPortScanner::Lister portLister = &Communication::QtComPortScanner::systemPorts;
        // A stand-in service; the serial-port service with `timing` otherwise.
        std::unique_ptr<Communication::DeviceService> service;
    };

    explicit DeviceStack(Options options);
    explicit DeviceStack(const VELTRIX_Timing& timing);
    // Stops the device thread (waiting for the slot it runs); the service is
    // destroyed after it, in this thread.
    ~DeviceStack();

    DeviceStack(const DeviceStack&) = delete;
    DeviceStack& operator=(const DeviceStack&) = delete;

    const VELTRIX_Timing& getTiming() const { return timing; }
    DeviceContext& getContext() { return context; }
    Communication::DeviceService& getService() { return *service; }
    DeviceConnector& getConnector() { return connector; }
    const DeviceConnector& getConnector() const { return connector; }

private:
    const VELTRIX_Timing timing;
    DeviceContext context;
    std::unique_ptr<Communication::DeviceService> service;
    QThread deviceThread;
    Communication::QtComPortScanner scanner;
    DeviceConnector connector;
};

} // namespace Hvd::Weft::Components
