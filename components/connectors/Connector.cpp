#include "components/connectors/Connector.h"

namespace Hvd::Weft::Components
{

Connector::Connector(QObject* parent)
    : QObject(parent)
{
}

void Connector::disconnectTarget()
{
    doDisconnectTarget(true);
}

} // namespace Hvd::Weft::Components
