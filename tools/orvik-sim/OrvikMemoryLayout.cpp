#include "tools/orvik-sim/OrvikMemoryLayout.h"

#include "device/Exceptions.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"
#include "device/import/StringReader.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>

// The embedded resources live in a library of their own; naming them here
// keeps them in every program that links the simulator.
static void initEmbeddedResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Hvd::Weft::Simulator
{

namespace
{
namespace D = Hvd::Weft::Device;

constexpr const char* kEmbeddedDescription = ":/N5Q2-Orvik.desc.json";
// Memory images are whole pages of this size.
constexpr int iPageSize = 256;

int pageAligned(int bytes)
{
    return std::max(iPageSize, (bytes + iPageSize - 1) / iPageSize * iPageSize);
}

int setEnd(const D::ParameterSet<D::Parameter>& set)
{
    int end = 0;
    for (const auto& [name, parameter] : set.getParameters())
        end = std::max(end, parameter.getAddress() + static_cast<int>(parameter.getByteSize()));
    return end;
}

void put(QByteArray& image, const D::Parameter& parameter, const D::Value& value)
{
    const std::vector<std::uint8_t> bytes = value.toBytes(parameter.getLength());
    const int address = parameter.getAddress();
    if (bytes.empty() || address + static_cast<int>(bytes.size()) > image.size())
        return;
    image.replace(address, static_cast<int>(bytes.size()),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())));
}

} // namespace

std::optional<Device::Device> loadDescription(const QString& path, QString* error)
{
    initEmbeddedResources();
    const QString source = path.isEmpty() ? QString::fromLatin1(kEmbeddedDescription) : path;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
    {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(source, file.errorString());
        return std::nullopt;
    }
    const std::string text = file.readAll().toStdString();
    try
    {
        auto any = std::make_shared<D::JsonFormatImporter>(D::StringReader("any.schema.json", "{}"),
                                                           D::StringReader("any.schema.json", "{}"));
        const D::Importer importer({{D::Format::DESC_JSON, any}});
        return importer.importDevice(D::StringReader(QFileInfo(source).fileName().toStdString(), text));
    }
    catch (const D::ValidationException& e)
    {
        if (error)
        {
            *error = QString::fromStdString(e.what());
            for (const std::string& finding : e.getErrors())
                *error += QStringLiteral("; ") + QString::fromStdString(finding);
        }
    }
    catch (const std::exception& e)
    {
        if (error)
            *error = QString::fromStdString(e.what());
    }
    return std::nullopt;
}

MemoryLayout buildMemoryLayout(const Device::Device& description, Target target,
                               const OrvikSensorConfig& config, QStringList* notes)
{
    const auto& sets = target == Target::Device ? description.getDeviceParameterSets()
                                                : description.getSubdeviceParameterSets();
    const QString versionText = target == Target::Device ? config.device.version : config.subDevice.version;
    const D::ParameterSet<D::Parameter>* set = nullptr;
    try
    {
        const D::Version version(versionText.toStdString());
        if (sets.contains(version))
            set = &sets.at(version);
    }
    catch (const std::invalid_argument&)
    {
        // Not a version the description could hold; treated like an unknown one.
    }

    MemoryLayout layout;
    if (!set)
    {
        int end = 0;
        for (const auto& [version, known] : sets.getParameterSets())
            end = std::max(end, setEnd(known));
        layout.blank = QByteArray(pageAligned(end), '\0');
        layout.initial = layout.blank;
        if (notes)
            *notes << QStringLiteral("no %1 parameter set for %2: its memory starts as zeros")
                          .arg(targetName(target), versionText);
        return layout;
    }

    layout.blank = QByteArray(pageAligned(setEnd(*set)), '\0');
    for (const auto& [name, parameter] : set->getParameters())
        put(layout.blank, parameter, parameter.getDefaultValue());
    layout.initial = layout.blank;

    if (target == Target::Device)
    {
        if (set->contains(productVariantName))
            put(layout.initial, set->at(productVariantName), D::Value(config.variant.toStdString()));
        else if (notes)
            *notes
                << QStringLiteral("%1 %2 has no %3").arg(targetName(target), versionText, productVariantName);
    }
    else if (config.kfactor)
    {
        const auto found = set->query(D::QueryTag{D::Tag::KFAKTOR});
        const bool isFloat = !found.empty() && (found.front().get().getType() == D::DataType::DFLOAT32 ||
                                                found.front().get().getType() == D::DataType::DFLOAT64);
        if (isFloat)
            put(layout.initial, found.front().get(),
                D::Value(*config.kfactor, found.front().get().getType()));
        else if (notes)
            *notes << QStringLiteral("sub %1 has no floating-point KFAKTOR parameter").arg(versionText);
    }
    return layout;
}

OrvikSensor makeSensor(const OrvikSensorConfig& config, const Device::Device& description, QStringList* notes)
{
    MemoryLayout device = buildMemoryLayout(description, Target::Device, config, notes);
    MemoryLayout subDevice = buildMemoryLayout(description, Target::SubDevice, config, notes);
    return OrvikSensor(config, std::move(device), std::move(subDevice));
}

} // namespace Hvd::Weft::Simulator
