#pragma once

#include "communication/DeviceService.h"

#include <QString>

namespace Hvd::Weft::Components
{
class CompositeCommand;
class DeviceContext;
class SetAsFactoryDefaultsCommand;
class WriteParametersCommand;
} // namespace Hvd::Weft::Components

// How every run that writes the sensor ends, the rescale and the restore
// alike: what is written becomes the factory defaults, then the sensor is
// restarted with it and released.
struct ClosingSteps
{
    // Its parameters may be set any time before the composite starts it.
    Hvd::Weft::Components::WriteParametersCommand* write = nullptr;
    Hvd::Weft::Components::SetAsFactoryDefaultsCommand* factoryDefaults = nullptr;
};

// Appends to `composite`: write the parameters with read-back (shown as
// `writeDescription`), store them as factory defaults, restart the sensor and
// release it.
ClosingSteps addClosingSteps(Hvd::Weft::Components::CompositeCommand& composite,
                             Hvd::Weft::Components::DeviceContext& context,
                             Hvd::Weft::Communication::DeviceService& service,
                             const QString& writeDescription);
