#include "components/connectors/DeviceStack.h"

#include "communication/VeltrixDeviceService.h"

namespace Hvd::Weft::Components
{

namespace
{

std::unique_ptr<Communication::DeviceService> serialService(const VELTRIX_Timing& timing)
{
    return std::make_unique<Communication::VeltrixDeviceService>(
        Communication::VeltrixDeviceService::serialPortOptions(timing));
}

} // namespace

DeviceStack::DeviceStack(Options options)
    : timing(options.timing)
    , service(options.service ? std::move(options.service) : serialService(options.timing))
    , scanner(timing.portScanIntervalMs, std::move(options.portLister))
    , connector(context, *service, scanner)
{
    deviceThread.setObjectName(QStringLiteral("DeviceThread"));
    service->moveToThread(&deviceThread);
    deviceThread.start(QThread::InheritPriority);
    Communication::forwardLogToLogger(*service);
}

DeviceStack::DeviceStack(const VELTRIX_Timing& timing)
    : DeviceStack(Options{timing, &Communication::QtComPortScanner::systemPorts, nullptr})
{
}

DeviceStack::~DeviceStack()
{
    deviceThread.quit();
    deviceThread.wait();
}

} // namespace Hvd::Weft::Components
