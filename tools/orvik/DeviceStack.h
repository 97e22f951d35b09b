#pragma once

#include "communication/QtComPortScanner.h"
#include "communication/VeltrixDeviceService.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"

#include <QThread>

#include <memory>

// The objects every run of `orvik` talks to the sensor through, as the
// window's program creates them: the device context, the device service in
// its own "DeviceThread" (its log forwarded into the program log), the port
// scanner and the connector. Whatever listens to the service must go before
// this stack does.
struct DeviceStack
{
    explicit DeviceStack(const VELTRIX_Timing& timing)
        : timing(timing)
        , service(std::make_unique<Hvd::Weft::Communication::VeltrixDeviceService>(
              Hvd::Weft::Communication::VeltrixDeviceService::serialPortOptions(timing)))
        , scanner(timing.portScanIntervalMs)
        , connector(context, *service, scanner)
    {
        deviceThread.setObjectName(QStringLiteral("DeviceThread"));
        service->moveToThread(&deviceThread);
        deviceThread.start(QThread::InheritPriority);
        Hvd::Weft::Communication::forwardLogToLogger(*service);
    }

    // The device thread stops first; the service is destroyed after it, in
    // this thread.
    ~DeviceStack()
    {
        deviceThread.quit();
        deviceThread.wait();
    }

    DeviceStack(const DeviceStack&) = delete;
    DeviceStack& operator=(const DeviceStack&) = delete;

    const VELTRIX_Timing timing;
    Hvd::Weft::Components::DeviceContext context;
    std::unique_ptr<Hvd::Weft::Communication::VeltrixDeviceService> service;
    QThread deviceThread;
    Hvd::Weft::Communication::QtComPortScanner scanner;
    Hvd::Weft::Components::DeviceConnector connector;
};
