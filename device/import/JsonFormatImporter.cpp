#include "device/import/JsonFormatImporter.h"

#include <limits>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "device/Exceptions.h"
#include "device/NumberConversion.h"
#include "device/ParameterSetBuilder.h"

namespace Hvd::Weft::Device
{

namespace
{

using nlohmann::json;

// A number that no integer of any width can hold; reported as a format
// mismatch like the JSON library's own errors.
class NumberOutOfRange : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The ordinary conversion (low bits kept). JSON numbers with a fraction are
// truncated; a cast of one beyond the 64-bit range would be undefined.
template <typename T> T integer(const json& value)
{
    if (!value.is_number_float())
        return value.get<T>();
    const double number = value.get<double>();
    if (!inInteger64Range(number))
        throw NumberOutOfRange(fmt::format("number {} is out of range", number));
    return truncateKeepingLowBits<T>(number);
}

float floatNumber(const json& value)
{
    return static_cast<float>(value.get<double>());
}

// The JSON library's own type error for anything but an array.
const json::array_t& array(const json& value)
{
    if (!value.is_array())
        (void)value.get<json::array_t>();
    return value.get_ref<const json::array_t&>();
}

std::vector<std::uint8_t> byteArray(const json& value)
{
    std::vector<std::uint8_t> bytes;
    for (const json& element : array(value))
        bytes.push_back(integer<std::uint8_t>(element));
    return bytes;
}

std::vector<double> doubleArray(const json& value)
{
    std::vector<double> numbers;
    for (const json& element : array(value))
        numbers.push_back(element.get<double>());
    return numbers;
}

std::string text(const json& object, const char* key)
{
    return object.at(key).get<std::string>();
}

// One value of a numeric or array type from its JSON form.
Value typedValue(const json& value, DataType type)
{
    switch (type)
    {
    case DataType::DBYTEU8:
        return Value(integer<std::uint8_t>(value));
    case DataType::DBYTEU16:
        return Value(integer<std::uint16_t>(value));
    case DataType::DBYTEU32:
        return Value(integer<std::uint32_t>(value));
    case DataType::DBYTEU64:
        return Value(static_cast<unsigned long long>(integer<std::uint64_t>(value)));
    case DataType::DBYTEI64:
        return Value(static_cast<long long>(integer<std::int64_t>(value)));
    case DataType::DFLOAT32:
    case DataType::DFLOAT64:
        return Value(value.get<double>(), type);
    case DataType::ARRSTRING:
        return Value(value.get<std::string>());
    case DataType::ARRBYTE:
        return Value(byteArray(value));
    case DataType::ARRFLOAT32:
    case DataType::ARRFLOAT64:
        return Value(doubleArray(value), type);
    default:
        return {};
    }
}

// Everything a parameter object says, read before the parameter is added so
// that a malformed object fails as such even when its name repeats.
struct ParameterFields
{
    std::string name;
    std::string description;
    std::uint16_t address = 0;
    DataType type = DataType::UNKNOWN;
    std::optional<std::uint16_t> length;
    std::optional<Value> minValue;
    std::optional<Value> defaultValue;
    std::optional<Value> maxValue;
    std::optional<std::uint16_t> refMin;
    std::optional<std::uint16_t> refMax;
    std::optional<IoLink> ioLink;
    std::vector<Tag> tags;
};

IoLink readIoLink(const json& object)
{
    const auto access = [&](const char* key)
    { return enumFromName<AccessRight>(text(object, key)).value_or(AccessRight::Read); };
    const auto address = integer<std::uint16_t>(object.at("Address"));
    const AccessRight factoryAccess = access("FactoryAccess");
    const AccessRight userAccess = access("UserAccess");
    auto menu = object.at("Menu").get<std::vector<std::string>>();
    return IoLink::builder()
        .address(address)
        .factoryAccess(factoryAccess)
        .userAccess(userAccess)
        .menu(std::move(menu))
        .build();
}

void readStringValue(const json& object, ParameterFields& fields)
{
    fields.length = integer<std::uint16_t>(object.at("Length"));
    fields.defaultValue = Value(text(object, "DefaultValue"));
}

ParameterFields readParameter(const json& object)
{
    ParameterFields fields;
    fields.name = text(object, "Name");
    fields.description = text(object, "Description");
    fields.address = integer<std::uint16_t>(object.at("Address"));
    const auto type = enumFromName<DataType>(text(object, "Type"));
    // An unknown type name leaves nothing else to interpret.
    if (!type)
        return fields;
    fields.type = *type;

    const bool hasLength = object.contains("Length");
    if (object.contains("MinValue") && object.contains("MaxValue"))
    {
        if (fields.type == DataType::ARRSTRING)
        {
            if (hasLength)
                readStringValue(object, fields);
        }
        else if (isKnownType(fields.type))
        {
            fields.minValue = typedValue(object.at("MinValue"), fields.type);
            fields.defaultValue = typedValue(object.at("DefaultValue"), fields.type);
            fields.maxValue = typedValue(object.at("MaxValue"), fields.type);
            fields.length = fields.defaultValue->getLength();
        }
        if (object.contains("RefMin"))
            fields.refMin = integer<std::uint16_t>(object.at("RefMin"));
        if (object.contains("RefMax"))
            fields.refMax = integer<std::uint16_t>(object.at("RefMax"));
    }
    else if (hasLength)
    {
        // Without both limits a length makes a string parameter.
        fields.type = DataType::ARRSTRING;
        readStringValue(object, fields);
    }

    if (object.contains("IoLink"))
        fields.ioLink = readIoLink(object.at("IoLink"));
    if (object.contains("Tags"))
    {
        for (const json& element : array(object.at("Tags")))
        {
            // Unknown names are for the schema to reject.
            if (const auto tag = enumFromName<Tag>(element.get<std::string>()))
                fields.tags.push_back(*tag);
        }
    }
    return fields;
}

void addParameter(ParameterSetBuilder& builder, ParameterFields fields)
{
    builder.parameter(std::move(fields.name), std::move(fields.description))
        .address(fields.address)
        .type(fields.type);
    if (fields.minValue && fields.maxValue)
        builder.minDefaultMaxValue(std::move(*fields.minValue), std::move(*fields.defaultValue),
                                   std::move(*fields.maxValue));
    else if (fields.defaultValue)
        builder.defaultValue(std::move(*fields.defaultValue));
    if (fields.length)
        builder.length(*fields.length);
    if (fields.refMin)
        builder.refMin(*fields.refMin);
    if (fields.refMax)
        builder.refMax(*fields.refMax);
    if (fields.ioLink)
        builder.ioLink(std::move(*fields.ioLink));
    for (Tag tag : fields.tags)
        builder.tag(tag);
}

Identity readIdentity(const json& document)
{
    // An unknown name throws std::bad_optional_access.
    return enumFromName<Identity>(text(document, "Identity")).value();
}

struct SetHeader
{
    Version version;
    std::string description;
};

SetHeader readSetHeader(const json& object)
{
    SetHeader header{Version(text(object, "Version")), {}};
    if (object.contains("Description"))
        header.description = text(object, "Description");
    return header;
}

template <typename T> void insertSet(ParameterSetContainer<T>& container, ParameterSet<T> set)
{
    const std::string version = set.getVersion().toString();
    if (!container.insert(std::move(set)))
        throw IdentifierNotUniqueException("Version", version);
}

ParameterSetContainer<Parameter> readParameterSets(const json& document, const char* key)
{
    ParameterSetContainer<Parameter> container;
    if (!document.contains(key))
        return container;
    for (const json& setObject : array(document.at(key)))
    {
        SetHeader header = readSetHeader(setObject);
        ParameterSetBuilder builder;
        builder.version(header.version).description(std::move(header.description));
        for (const json& parameterObject : array(setObject.at("Parameters")))
            addParameter(builder, readParameter(parameterObject));
        insertSet(container, builder.build());
    }
    return container;
}

InterfaceTraits readInterface(const json& object)
{
    std::string name = text(object, "Name");
    const json& addressArray = object.at("Address");
    std::array<std::uint8_t, 5> address{};
    for (std::size_t i = 0; i < address.size(); ++i)
        address[i] = integer<std::uint8_t>(addressArray.at(i));
    const bool halfDuplex = object.at("HalfDuplex").get<bool>();
    const auto startUp = integer<std::uint16_t>(object.at("StartUp_ms"));
    const auto powerDown = integer<std::uint16_t>(object.at("PowerDown_ms"));
    const auto type =
        enumFromName<InterfaceTraits::Type>(text(object, "Type")).value_or(InterfaceTraits::Type::Unknown);
    return InterfaceTraits::builder()
        .name(std::move(name))
        .address(InterfaceTraits::Address(address))
        .halfDuplex(halfDuplex)
        .startUp_ms(startUp)
        .powerDown_ms(powerDown)
        .type(type)
        .build();
}

OutputTraitsContainer readOutputs(const json& outputs)
{
    auto builder = OutputTraitsContainer::builder();
    for (const json& object : array(outputs))
    {
        const auto name =
            enumFromName<OutputTraits::Name>(text(object, "Name")).value_or(OutputTraits::Name::Unknown);
        const auto flag = [&](const char* key) { return object.at(key).get<bool>(); };
        const bool alarm = flag("Alarm"), ctrlInput = flag("CtrlInput"), current = flag("Current"),
                   frequency = flag("Frequency"), ioLink = flag("IoLink"), veltrix = flag("Veltrix"),
                   pulse = flag("Pulse"), voltage = flag("Voltage");
        builder.name(name)
            .alarm(alarm)
            .ctrlInput(ctrlInput)
            .current(current)
            .frequency(frequency)
            .ioLink(ioLink)
            .veltrix(veltrix)
            .pulse(pulse)
            .voltage(voltage);
    }
    return builder.build();
}

CommandTraitsContainer readCommands(const json& commands)
{
    auto builder = CommandTraitsContainer::builder();
    for (const json& object : array(commands))
    {
        std::string name = text(object, "Name");
        std::string description = text(object, "Description");
        const auto address = integer<std::uint16_t>(object.at("Address"));
        builder.name(std::move(name)).description(std::move(description)).address(address);
    }
    return builder.build();
}

EventTraitsContainer readEvents(const json& events)
{
    auto builder = EventTraitsContainer::builder();
    for (const json& object : array(events))
    {
        std::string name = text(object, "Name");
        std::string description = text(object, "Description");
        const auto address = integer<std::uint16_t>(object.at("Address"));
        const auto deviceStatus = integer<std::uint8_t>(object.at("DeviceStatus"));
        const auto type = enumFromName<EventTraits::Type>(text(object, "Type"));
        builder.name(std::move(name))
            .description(std::move(description))
            .address(address)
            .deviceStatus(deviceStatus);
        if (type)
            builder.type(*type);
    }
    return builder.build();
}

SystemDataObjectTraitsContainer readSystemDataObjects(const json& objects)
{
    auto builder = SystemDataObjectTraitsContainer::builder();
    for (const json& object : array(objects))
    {
        std::string name = text(object, "Name");
        std::string description = text(object, "Description");
        const auto address = integer<std::uint16_t>(object.at("Address"));
        const auto type = enumFromName<DataType>(text(object, "Type")).value_or(DataType::UNKNOWN);
        const auto access = [&](const char* key)
        { return enumFromName<AccessRight>(text(object, key)).value_or(AccessRight::Read); };
        const AccessRight factoryAccess = access("FactoryAccess");
        const AccessRight userAccess = access("UserAccess");
        builder.name(std::move(name))
            .description(std::move(description))
            .address(address)
            .type(type)
            .factoryAccess(factoryAccess)
            .userAccess(userAccess);
    }
    return builder.build();
}

CalibrationTraitsContainer readCalibrations(const json& calibrations)
{
    auto builder = CalibrationTraitsContainer::builder();
    for (const json& object : array(calibrations))
    {
        const auto slot = integer<std::uint64_t>(object.at("Slot"));
        const float deviation = floatNumber(object.at("DeviationPercent"));
        const auto sampleCount = integer<std::uint64_t>(object.at("SampleCount"));
        const auto algorithm =
            enumFromName<CalibrationTraits::AverageAlgorithm>(text(object, "AverageAlgorithm"));
        builder.slot(slot).deviationPercent(deviation).sampleCount(sampleCount);
        if (algorithm)
            builder.averageAlgorithm(*algorithm);
    }
    return builder.build();
}

TestTraits readTest(const json& object)
{
    const auto slotCount = integer<std::uint64_t>(object.at("SlotCount"));
    const auto calibrationQueue = integer<std::uint16_t>(object.at("CalibrationQueueAddress"));
    const auto generalQueue = integer<std::uint16_t>(object.at("GeneralQueueAddress"));
    const float currentMin = floatNumber(object.at("CurrentConsumptionMin_mA"));
    const float currentMax = floatNumber(object.at("CurrentConsumptionMax_mA"));
    const auto progressSteps = integer<std::uint64_t>(object.at("ProgressStepCount"));
    const bool sensorResistor = object.at("SensorResistor").get<bool>();
    return TestTraits::builder()
        .slotCount(slotCount)
        .calibrationQueueAddress(calibrationQueue)
        .generalQueueAddress(generalQueue)
        .currentConsumptionMin_mA(currentMin)
        .currentConsumptionMax_mA(currentMax)
        .progressStepCount(progressSteps)
        .sensorResistor(sensorResistor)
        .build();
}

Traits readTraits(const json& object)
{
    InterfaceTraits interface = readInterface(object.at("Interface"));
    OutputTraitsContainer outputs = readOutputs(object.at("Outputs"));
    const json& ioLink = object.at("IoLink");
    CommandTraitsContainer commands = readCommands(ioLink.at("Commands"));
    EventTraitsContainer events = readEvents(ioLink.at("Events"));
    SystemDataObjectTraitsContainer systemDataObjects = readSystemDataObjects(ioLink.at("SystemDataObjects"));
    CalibrationTraitsContainer calibrations = readCalibrations(object.at("Calibrations"));
    TestTraits test = readTest(object.at("Test"));
    return Traits(std::move(interface), std::move(outputs),
                  IoLinkTraits(std::move(commands), std::move(events), std::move(systemDataObjects)),
                  std::move(calibrations), std::move(test));
}

Device mapDevice(const json& document)
{
    const Identity identity = readIdentity(document);
    auto deviceSets = readParameterSets(document, "DeviceParameterSets");
    auto subdeviceSets = readParameterSets(document, "SubdeviceParameterSets");
    Traits traits = readTraits(document.at("Traits"));
    return Device(identity, std::move(deviceSets), std::move(subdeviceSets), std::move(traits));
}

Value settingValue(const json& object, DataType type)
{
    // UNKNOWN names a type, but one without a value.
    if (!isKnownType(type))
        throw std::exception();
    const json& value = object.at("Value");
    if ((type == DataType::DFLOAT32 || type == DataType::DFLOAT64) && value.is_null())
        return Value(std::numeric_limits<double>::quiet_NaN(), type);
    return typedValue(value, type);
}

ParameterSetContainer<ParameterSetting> readSettingSets(const json& document, const char* key)
{
    ParameterSetContainer<ParameterSetting> container;
    if (!document.contains(key))
        return container;
    for (const json& setObject : array(document.at(key)))
    {
        SetHeader header = readSetHeader(setObject);
        ParameterSettingSetBuilder builder;
        builder.version(header.version).description(std::move(header.description));
        for (const json& object : array(setObject.at("Parameters")))
        {
            std::string name = text(object, "Name");
            const auto type = enumFromName<DataType>(text(object, "Type"));
            Value value = type ? settingValue(object, *type) : Value();
            builder.parameter(std::move(name)).value(std::move(value));
        }
        insertSet(container, builder.build());
    }
    return container;
}

DeviceSettings mapDeviceSettings(const json& document)
{
    const Identity identity = readIdentity(document);
    auto deviceSettings = readSettingSets(document, "DeviceParameterSets");
    auto subdeviceSettings = readSettingSets(document, "SubdeviceParameterSets");
    return DeviceSettings(identity, std::move(deviceSettings), std::move(subdeviceSettings));
}

// Parse, check against the schema and map; the JSON library's failures
// become format mismatches naming the source.
template <typename Map> auto importWith(const Reader& reader, const JsonValidator& validator, Map map)
{
    const std::string sourceName = reader.getSourceName();
    try
    {
        const json document = json::parse(reader.read());
        std::vector<std::string> errors = validator.validate(document);
        if (!errors.empty())
            throw ValidationException(sourceName, std::move(errors));
        return map(document);
    }
    catch (const json::exception& e)
    {
        throw FormatMismatchException(sourceName, e.what());
    }
    catch (const NumberOutOfRange& e)
    {
        throw FormatMismatchException(sourceName, e.what());
    }
}

} // namespace

JsonFormatImporter::JsonFormatImporter(const Reader& deviceDescriptionSchema,
                                       const Reader& deviceSettingsSchema)
    : mDeviceDescriptionValidator(deviceDescriptionSchema)
    , mDeviceSettingsValidator(deviceSettingsSchema)
{
}

Device JsonFormatImporter::importDevice(const Reader& reader) const
{
    return importWith(reader, mDeviceDescriptionValidator, mapDevice);
}

DeviceSettings JsonFormatImporter::importDeviceSettings(const Reader& reader) const
{
    return importWith(reader, mDeviceSettingsValidator, mapDeviceSettings);
}

} // namespace Hvd::Weft::Device
