#pragma once

#include "app/SensorBackup.h"
#include "communication/DeviceService.h"

#include <QObject>

namespace Hvd::Weft::Components
{
class CompositeCommand;
class DeviceContext;
} // namespace Hvd::Weft::Components

// Puts a backup back into the connected sensor: refuses a backup of another
// unit or with values that cannot be written (nullptr, the reason in
// `refusal`); otherwise checks the unit's serial number against the
// backup's, writes the values with read-back, stores them as factory
// defaults, restarts the sensor and releases it. Nothing is written to
// another unit. Used after a failed rescale and by "orvik restore".
Hvd::Weft::Components::CompositeCommand*
createRestoreCommand(Hvd::Weft::Components::DeviceContext& context,
                     Hvd::Weft::Communication::DeviceService& service, const SensorBackup& backup,
                     SensorBackup::Limits limits, QString* refusal, QObject* parent);
