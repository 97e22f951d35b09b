#include "communication/QtComPortScanner.h"

#include "communication/DeviceService.h"

#include <QDeadlineTimer>
#include <QSerialPortInfo>

namespace Hvd::Weft::Communication
{

QtComPortScanner::QtComPortScanner(int intervalMs)
    : QtComPortScanner(intervalMs, &QtComPortScanner::systemPorts)
{
}

QtComPortScanner::QtComPortScanner(int intervalMs, Lister portLister)
    : lister(std::move(portLister))
{
    DeviceService::registerMetaTypes();
    timer.setInterval(intervalMs);
    thread.setObjectName(QStringLiteral("ComPortScanner"));
    thread.start(QThread::InheritPriority);
    moveToThread(&thread);
    connect(&timer, &QTimer::timeout, this, &QtComPortScanner::scan);
    timer.start();
}

QtComPortScanner::~QtComPortScanner()
{
    timer.stop();
    thread.quit();
    thread.wait(QDeadlineTimer(QDeadlineTimer::Forever));
}

ComPortScanner::List QtComPortScanner::systemPorts()
{
    List found;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos)
    {
        Comport port;
        port.number = info.portName();
        port.manufacturer = info.manufacturer();
        port.pid = info.productIdentifier();
        port.vid = info.vendorIdentifier();
        found.append(port);
    }
    return found;
}

void QtComPortScanner::scan()
{
    const List current = lister ? lister() : List{};
    if (!isChange(ports, current))
        return;
    ports = current;
    emit foundNewPorts(ports);
}

} // namespace Hvd::Weft::Communication
