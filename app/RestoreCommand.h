#pragma once

#include "communication/DeviceService.h"

#include <QObject>

namespace Hvd::Weft::Components
{
class CompositeCommand;
class DeviceContext;
} // namespace Hvd::Weft::Components

// Puts earlier values back into the connected sensor: writes them with
// read-back, stores them as factory defaults, restarts the sensor and
// releases it. Used after a failed rescale and by "orvik restore".
Hvd::Weft::Components::CompositeCommand* createRestoreCommand(
    Hvd::Weft::Components::DeviceContext& context, Hvd::Weft::Communication::DeviceService& service,
    Hvd::Weft::Communication::DeviceService::ParameterList deviceParameters,
    Hvd::Weft::Communication::DeviceService::ParameterList subdeviceParameters, QObject* parent);
