// Time of one import of the embedded description as the application runs it
// at every press of "Parameterize": read the resource, parse, validate against
// the schema, map onto the model, apply the semantic rules. The importer and
// its compiled schemas are built once, outside the timed loop.

#include <QFile>
#include <QString>

#include <benchmark/benchmark.h>

#include "components/QtResourceReader.h"
#include "device/Exceptions.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"

namespace
{
using namespace Hvd::Weft::Device;

using ResourceReader = Hvd::Weft::Components::QtResourceReader;

void importEmbeddedDescription(benchmark::State& state)
{
    const FileReader settingsSchema("Resources/DeviceSettings.schema.json");
    const FileReader descriptionSchema("Resources/DeviceDescription.schema.json");
    const auto formatImporter = std::make_shared<JsonFormatImporter>(descriptionSchema, settingsSchema);
    const Importer importer({{Format::DESC_JSON, formatImporter}, {Format::PARA_JSON, formatImporter}});
    const ResourceReader description(":/N5Q2-Orvik.desc.json");

    std::size_t sets = 0;
    for (auto _ : state)
    {
        const Device device = importer.importDevice(description);
        sets = device.getDeviceParameterSets().getParameterSets().size() +
               device.getSubdeviceParameterSets().getParameterSets().size();
        benchmark::DoNotOptimize(sets);
    }
    state.counters["parameterSets"] = static_cast<double>(sets);
}

BENCHMARK(importEmbeddedDescription)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
