#pragma once

#include "communication/Slots.h"
#include "components/commands/ReadValuesCommand.h"

#include <QList>
#include <QString>

#include <optional>

// How `orvik values` writes samples: lines for people, CSV and JSON for
// scripts. Numbers always in the C locale.
namespace ValuesOutput
{

// "Sample 3: 12.5 L/m, 21.5 °C | status 0x24: Memory error, Temp too high"
QString sampleLine(int number, const Hvd::Weft::Communication::Slots& sample);
// "Average of 10 samples: 7.5 L/m (min 3, max 12), 10 L (total)"
QString averageLine(const Hvd::Weft::Communication::Slots& average, qsizetype sampleCount);

// A header line, then one row per sample, or one row "average".
QString csv(const QList<Hvd::Weft::Communication::Slots>& samples,
            const std::optional<Hvd::Weft::Communication::Slots>& average);
// {"source", "samples": [...], "average": {..., "count"} (only when averaged)};
// `averagedCount` is how many samples the average is made of.
QString json(Hvd::Weft::Components::ReadValuesCommand::Source source,
             const QList<Hvd::Weft::Communication::Slots>& samples,
             const std::optional<Hvd::Weft::Communication::Slots>& average, qsizetype averagedCount);

} // namespace ValuesOutput
