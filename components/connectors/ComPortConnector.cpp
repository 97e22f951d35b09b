#include "components/connectors/ComPortConnector.h"

#include "logging/Logger.h"

namespace Hvd::Weft::Components
{

ComPortConnector::ComPortConnector(const Communication::ComPortScanner& scanner, QObject* parent)
    : Connector(parent)
{
    connect(&scanner, &Communication::ComPortScanner::foundNewPorts, this, &ComPortConnector::updatePorts);
}

void ComPortConnector::connectTarget(const QString& port)
{
    if (isRunning() || isTargetConnected())
        return;
    setRunning(true);
    doConnectTarget(port);
}

void ComPortConnector::updatePorts(const QList<Communication::Comport>& ports)
{
    if (!portMonitoring)
        return;
    const bool vanished = containsConnectedPort(lastPorts) && !containsConnectedPort(ports);
    lastPorts = ports;
    if (vanished)
        connectedPortVanished();
    if (targetMonitoring && isTargetConnected() && !containsConnectedPort(ports))
    {
        Logger::info("Target was disconnected");
        clear();
        Q_EMIT targetDisconnected();
    }
    Q_EMIT portsChanged(ports);
}

} // namespace Hvd::Weft::Components
