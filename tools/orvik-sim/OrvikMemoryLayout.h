#pragma once

#include "device/Device.h"
#include "tools/orvik-sim/OrvikSensor.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace Hvd::Weft::Simulator
{

// Name of the parameter that carries the sensor's size text.
inline constexpr const char* productVariantName = "ProductVariantName";

// The description shipped with the program when path is empty, otherwise
// the ".desc.json" file at path. The simulator only takes memory rows from
// it, so no schema is applied; the semantic rules still are. On failure the
// reason is in error.
std::optional<Device::Device> loadDescription(const QString& path, QString* error);

// The memory of one part at power-up: every parameter of the version's set
// at its default value, then the variant text (device) or the k-factor (sub
// device) of the configuration. A version the description lacks gives zeros
// of the usual size; what could not be filled is added to notes.
MemoryLayout buildMemoryLayout(const Device::Device& description, Target target,
                               const OrvikSensorConfig& config, QStringList* notes);

// The sensor as configured, its memory filled from the description.
OrvikSensor makeSensor(const OrvikSensorConfig& config, const Device::Device& description,
                       QStringList* notes);

} // namespace Hvd::Weft::Simulator
