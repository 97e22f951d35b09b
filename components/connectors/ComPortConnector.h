#pragma once

#include "communication/ComPortScanner.h"
#include "components/connectors/Connector.h"

namespace Hvd::Weft::Components
{

// A connector for targets on serial ports: passes the scanner's port lists
// on and notices when the port of the connected target disappears.
class ComPortConnector : public Connector
{
    Q_OBJECT

public:
    explicit ComPortConnector(const Communication::ComPortScanner& scanner, QObject* parent = nullptr);

    void connectTarget(const QString& port);

    void enablePortMonitoring(bool enable) { portMonitoring = enable; }
    void enableTargetMonitoring(bool enable) { targetMonitoring = enable; }

Q_SIGNALS:
    void portsChanged(const Hvd::Weft::Communication::ComPortScanner::List& ports);

public Q_SLOTS:
    void updatePorts(const QList<Hvd::Weft::Communication::Comport>& ports);

protected:
    // The port of the connection (connecting, connected or releasing) was in
    // the last list and is missing from this one: its adapter was unplugged.
    virtual void connectedPortVanished() {}

private:
    // What the scanner listed last: a port it never listed (a pseudo-
    // terminal, a port given by name) cannot vanish from it.
    QList<Communication::Comport> lastPorts;
    bool portMonitoring = true;
    bool targetMonitoring = false;
};

} // namespace Hvd::Weft::Components
