#include "device/validation/Validator.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <tuple>

#include <fmt/format.h>

namespace Hvd::Weft::Device
{

namespace
{

constexpr const char* V_MSG = "Version {}: ";
constexpr const char* V_P_MSG = "Version {} Parameter {}: ";

std::string setPrefix(const Version& version)
{
    return fmt::format(fmt::runtime(V_MSG), version.toString());
}

std::string parameterPrefix(const Version& version, const std::string& name)
{
    return fmt::format(fmt::runtime(V_P_MSG), version.toString(), name);
}

std::string typeName(DataType type)
{
    return std::string(enumName(type));
}

// --- device ---------------------------------------------------------------

void DeviceParameterSetsOrSubdeviceParameterSetsArePresent(const Device& device, ValidationResult& result)
{
    if (device.getDeviceParameterSets().isEmpty() && device.getSubdeviceParameterSets().isEmpty())
        result.addError("Either DeviceParameterSets or SubdeviceParameterSets must be present");
}

// --- traits ---------------------------------------------------------------

void QueueAddressesUnique(const Traits& traits, ValidationResult& result)
{
    const TestTraits& test = traits.getTest();
    if (test.getGeneralQueueAddress() == test.getCalibrationQueueAddress())
    {
        result.addError(fmt::format(
            "TestTrait: Queue address is not unique: GeneralQueueAddress={}, CalibrationQueueAddress={}",
            test.getGeneralQueueAddress(), test.getCalibrationQueueAddress()));
    }
}

// --- parameter set ----------------------------------------------------------

// Memory range of one parameter; ordered by start, end, name.
struct ParameterAddress
{
    std::uint16_t start;
    std::uint16_t end;
    std::string name;

    friend bool operator<(const ParameterAddress& a, const ParameterAddress& b)
    {
        return std::tie(a.start, a.end, a.name) < std::tie(b.start, b.end, b.name);
    }
};

void AddressesDoNotOverlap(const ParameterSet<Parameter>& set, ValidationResult& result)
{
    std::set<ParameterAddress> ranges;
    for (const auto& [name, parameter] : set.getParameters())
    {
        // Wraps like the 16-bit address space; AddressDoesNotExceedMaximum
        // reports parameters that leave it.
        const auto end = static_cast<std::uint16_t>(parameter.getAddress() + parameter.getByteSize() - 1);
        ranges.insert({parameter.getAddress(), end, name});
    }
    // Only neighbours are compared.
    for (auto it = ranges.begin(); it != ranges.end() && std::next(it) != ranges.end(); ++it)
    {
        const ParameterAddress& first = *it;
        const ParameterAddress& next = *std::next(it);
        if (first.end >= next.start)
        {
            result.addError(parameterPrefix(set.getVersion(), next.name) +
                            fmt::format("Addresses overlap: Start address={}, End address={}, Overlapping "
                                        "parameter={}, Start address={}, End address={}",
                                        next.start, next.end, first.name, first.start, first.end));
        }
    }
}

struct ParameterReference
{
    std::string name;
    DataType type;
    std::uint16_t length;
};

void checkReference(const Parameter& parameter, const Version& version, std::uint16_t address,
                    std::string_view kind, const std::map<std::uint16_t, ParameterReference>& references,
                    ValidationResult& result)
{
    const auto it = references.find(address);
    if (it == references.end())
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("{} address does not exist", kind));
        return;
    }
    const ParameterReference& reference = it->second;
    if (reference.type != parameter.getType() || reference.length != parameter.getLength())
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("{} type/length differ: Type={}, Length={}, Reference name={}, Type={}, "
                                    "Length={}",
                                    kind, typeName(parameter.getType()), parameter.getLength(),
                                    reference.name, typeName(reference.type), reference.length));
    }
}

void ReferencesHaveSameTypeAndSize(const ParameterSet<Parameter>& set, ValidationResult& result)
{
    std::map<std::uint16_t, ParameterReference> references;
    for (const auto& [name, parameter] : set.getParameters())
        references.try_emplace(parameter.getAddress(),
                               ParameterReference{name, parameter.getType(), parameter.getLength()});

    for (const auto& [name, parameter] : set.getParameters())
    {
        if (!parameter.getRefMin() || !parameter.getRefMax())
            continue;
        checkReference(parameter, set.getVersion(), *parameter.getRefMin(), "RefMin", references, result);
        checkReference(parameter, set.getVersion(), *parameter.getRefMax(), "RefMax", references, result);
    }
}

bool hasAnyTag(const Parameter& parameter, const std::array<Tag, 10>& tags)
{
    return std::any_of(tags.begin(), tags.end(), [&](Tag tag) { return parameter.hasTag(tag); });
}

void checkIndexedFamilyWithoutGaps(std::string_view family, const std::vector<const Parameter*>& list,
                                   const std::string& prefix, ValidationResult& result)
{
    if (list.empty())
        return;
    const std::size_t max = list.size() - 1;
    for (std::size_t i = 0; i < list.size(); ++i)
    {
        const std::string tagName = fmt::format("{}{}", family, i);
        const auto tag = enumFromName<Tag>(tagName);
        if (!tag)
            return;
        const bool present = std::any_of(list.begin(), list.end(),
                                         [&](const Parameter* parameter) { return parameter->hasTag(*tag); });
        if (!present)
        {
            result.addError(prefix +
                            fmt::format("{} tags must be ascending from 0 to max ({}) without gaps. Tag {} "
                                        "is not present",
                                        family, max, tagName));
        }
    }
}

void OnlyIndexedOrNonIndexesKFactorTagsArePresentAndWithoutGaps(const ParameterSet<Parameter>& set,
                                                                ValidationResult& result)
{
    std::vector<const Parameter*> kFactor, scaledKFactors, references, scalingPoints;
    for (const auto& [name, parameter] : set.getParameters())
    {
        if (parameter.hasTag(Tag::KFAKTOR))
            kFactor.push_back(&parameter);
        if (hasAnyTag(parameter, scaledKFactorTags))
            scaledKFactors.push_back(&parameter);
        if (hasAnyTag(parameter, kFactorReferenceTags))
            references.push_back(&parameter);
        if (parameter.hasTag(Tag::SCALING_POINTS))
            scalingPoints.push_back(&parameter);
    }

    // Reference tags alone are accepted.
    if (kFactor.empty() && scaledKFactors.empty())
        return;

    const std::string prefix = setPrefix(set.getVersion());
    if (!kFactor.empty() && !scaledKFactors.empty())
    {
        result.addError(prefix + fmt::format("Both KFAKTOR and KFAKTORx tags are present: {}, {}",
                                             kFactor.front()->getName(), scaledKFactors.front()->getName()));
    }
    if (!scaledKFactors.empty() && scalingPoints.empty())
    {
        result.addError(prefix +
                        fmt::format("KFAKTORx tags are present on {} but no SCALING_POINTS tag found",
                                    scaledKFactors.front()->getName()));
    }
    if (scaledKFactors.size() != references.size())
    {
        result.addError(prefix + fmt::format("Invalid number of KFAKTOR ({}) and REFERENCE tags ({}) found",
                                             scaledKFactors.size(), references.size()));
    }
    checkIndexedFamilyWithoutGaps("KFAKTOR", scaledKFactors, prefix, result);
    checkIndexedFamilyWithoutGaps("REFERENCE", references, prefix, result);
}

bool mustBeUnique(Tag tag)
{
    switch (tag)
    {
    case Tag::CUTOFF:
    case Tag::KFAKTOR:
    case Tag::SCALING_POINTS:
    case Tag::SERIALNUMBER:
        return true;
    default:
        return std::find(scaledKFactorTags.begin(), scaledKFactorTags.end(), tag) !=
                   scaledKFactorTags.end() ||
               std::find(kFactorReferenceTags.begin(), kFactorReferenceTags.end(), tag) !=
                   kFactorReferenceTags.end();
    }
}

void TagsUnique(const ParameterSet<Parameter>& set, ValidationResult& result)
{
    std::set<Tag> seen;
    for (const auto& [name, parameter] : set.getParameters())
    {
        for (Tag tag : parameter.getTags())
        {
            if (!seen.insert(tag).second && mustBeUnique(tag))
                result.addError(setPrefix(set.getVersion()) +
                                fmt::format("Tag is not unique: {}", enumName(tag)));
        }
    }
}

// --- parameter ----------------------------------------------------------------

void AddressDoesNotExceedMaximum(const Parameter& parameter, const Version& version, ValidationResult& result)
{
    const std::uint64_t end =
        std::uint64_t{parameter.getAddress()} + std::uint64_t{parameter.getByteSize()} - std::uint64_t{1};
    if (end > 65535)
    {
        result.addError(
            parameterPrefix(version, parameter.getName()) +
            fmt::format("Address exceeds maximum: Address={}, End address={}", parameter.getAddress(), end));
    }
}

void MinValueSmallerEqualsDefaultValueSmallerEqualsMaxValue(const Parameter& parameter,
                                                            const Version& version, ValidationResult& result)
{
    const auto& min = parameter.getMinValue();
    const auto& max = parameter.getMaxValue();
    if (!min || !max)
        return;
    const Value& defaultValue = parameter.getDefaultValue();
    if (!(*min <= defaultValue) || !(defaultValue <= *max))
    {
        result.addError(
            parameterPrefix(version, parameter.getName()) +
            fmt::format("Value must be between MinValue and MaxValue: MinValue={}, DefaultValue={}, "
                        "MaxValue={}",
                        min->toString(), defaultValue.toString(), max->toString()));
    }
}

void OnlyOneIndexedTagPresent(const Parameter& parameter, const Version& version, ValidationResult& result)
{
    for (std::string_view family : {std::string_view("KFAKTOR"), std::string_view("REFERENCE")})
    {
        std::size_t count = 0;
        for (Tag tag : parameter.getTags())
        {
            if (enumName(tag).starts_with(family) && ++count > 1)
            {
                result.addError(parameterPrefix(version, parameter.getName()) +
                                fmt::format("Multiple tags for {} found", family));
            }
        }
    }
}

void StringLengthAndLengthMatch(const Parameter& parameter, const Version& version, ValidationResult& result)
{
    if (parameter.getType() != DataType::ARRSTRING)
        return;
    const std::uint16_t stringLength = parameter.getDefaultValue().getLength();
    if (parameter.getLength() < stringLength)
    {
        result.addError(
            parameterPrefix(version, parameter.getName()) +
            fmt::format("String too long: string length={}, Length={}", stringLength, parameter.getLength()));
    }
}

// Types a role tag may sit on; empty means any type.
std::vector<DataType> allowedTypes(Tag tag)
{
    switch (tag)
    {
    case Tag::SCALING_POINTS:
    case Tag::SLOT_UNIT:
        return {DataType::DBYTEU8};
    case Tag::SERIALNUMBER:
        return {DataType::ARRSTRING};
    case Tag::CALIBRATION:
    case Tag::CUTOFF:
    case Tag::FLOW:
    case Tag::PRESSURE:
    case Tag::TEMPERATURE:
        return {};
    default:
        // The k-factors, offset, references and slot values are numbers with
        // a fraction.
        return {DataType::DFLOAT32, DataType::DFLOAT64, DataType::ARRFLOAT32, DataType::ARRFLOAT64};
    }
}

void TaggedParametersHaveCorrectType(const Parameter& parameter, const Version& version,
                                     ValidationResult& result)
{
    for (Tag tag : parameter.getTags())
    {
        const std::vector<DataType> allowed = allowedTypes(tag);
        if (!allowed.empty() &&
            std::find(allowed.begin(), allowed.end(), parameter.getType()) == allowed.end())
        {
            result.addError(
                parameterPrefix(version, parameter.getName()) +
                fmt::format("Tagged parameter has wrong type: {}", enumName(parameter.getType())));
        }
    }
}

void ValueLengthsAndLengthMatch(const Parameter& parameter, const Version& version, ValidationResult& result)
{
    const auto& min = parameter.getMinValue();
    const auto& max = parameter.getMaxValue();
    if (!min || !max)
        return;
    const std::uint16_t minLength = min->getLength();
    const std::uint16_t defaultLength = parameter.getDefaultValue().getLength();
    const std::uint16_t maxLength = max->getLength();
    if (minLength != defaultLength || defaultLength != maxLength)
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("Length of MinValue, DefaultValue, MaxValue differs: MinValue={}, "
                                    "DefaultValue={}, MaxValue={}",
                                    minLength, defaultLength, maxLength));
    }
    else if (defaultLength != parameter.getLength())
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("Value length does not match Length: Size={}, Length={}", defaultLength,
                                    parameter.getLength()));
    }
}

// --- settings -------------------------------------------------------------------

void DeviceParameterSettingsOrSubdeviceParameterSettingsArePresent(const DeviceSettings& settings,
                                                                   ValidationResult& result)
{
    if (settings.getDeviceParameterSettings().isEmpty() && settings.getSubdeviceParameterSettings().isEmpty())
        result.addError("Either DeviceParameterSets or SubdeviceParameterSets must be present");
}

void IdentitiesMatch(const DeviceSettings& settings, const Device& device, ValidationResult& result)
{
    if (settings.getIdentity() != device.getIdentity())
    {
        result.addError(fmt::format("Identity does not match: DeviceSettings={}, Device={}",
                                    enumName(settings.getIdentity()), enumName(device.getIdentity())));
    }
}

void MinValueSmallerEqualsValueSmallerEqualsMaxValue(const ParameterSetting& setting,
                                                     const Parameter& parameter, const Version& version,
                                                     ValidationResult& result)
{
    if (setting.getName() != parameter.getName())
        return;
    const auto& min = parameter.getMinValue();
    const auto& max = parameter.getMaxValue();
    if (!min || !max)
        return;
    const Value& value = setting.getValue();
    if (!(*min <= value) || !(value <= *max))
    {
        result.addError(
            parameterPrefix(version, parameter.getName()) +
            fmt::format("Value must be between MinValue and MaxValue: MinValue={}, Value={}, MaxValue={}",
                        min->toString(), value.toString(), max->toString()));
    }
}

void ParameterSettingValueLengthsAndLengthMatch(const ParameterSetting& setting, const Parameter& parameter,
                                                const Version& version, ValidationResult& result)
{
    if (setting.getName() != parameter.getName() || parameter.getType() == DataType::ARRSTRING)
        return;
    if (setting.getValue().getLength() != parameter.getLength())
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("Value length does not match Length: Array size={}, Length={}",
                                    setting.getValue().getLength(), parameter.getLength()));
    }
}

void StringLengthsMatch(const ParameterSetting& setting, const Parameter& parameter, const Version& version,
                        ValidationResult& result)
{
    if (setting.getName() != parameter.getName() || parameter.getType() != DataType::ARRSTRING)
        return;
    if (parameter.getLength() < setting.getValue().getLength())
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("String too long: string length={}, Length={}",
                                    setting.getValue().getLength(), parameter.getLength()));
    }
}

void TypesMatch(const ParameterSetting& setting, const Parameter& parameter, const Version& version,
                ValidationResult& result)
{
    if (setting.getName() != parameter.getName())
        return;
    if (setting.getType() != parameter.getType())
    {
        result.addError(parameterPrefix(version, parameter.getName()) +
                        fmt::format("Type does not match: DeviceSettings={}, Device={}",
                                    enumName(setting.getType()), enumName(parameter.getType())));
    }
}

} // namespace

Validator::Validator()
    : mDeviceRules{DeviceParameterSetsOrSubdeviceParameterSetsArePresent}
    , mParameterSetRules{AddressesDoNotOverlap, ReferencesHaveSameTypeAndSize,
                         OnlyIndexedOrNonIndexesKFactorTagsArePresentAndWithoutGaps, TagsUnique}
    , mParameterRules{AddressDoesNotExceedMaximum,     MinValueSmallerEqualsDefaultValueSmallerEqualsMaxValue,
                      OnlyOneIndexedTagPresent,        StringLengthAndLengthMatch,
                      TaggedParametersHaveCorrectType, ValueLengthsAndLengthMatch}
    , mTraitsRules{QueueAddressesUnique}
    , mSettingsRules{DeviceParameterSettingsOrSubdeviceParameterSettingsArePresent}
    , mSettingsAgainstDeviceRules{IdentitiesMatch}
    , mSettingRules{MinValueSmallerEqualsValueSmallerEqualsMaxValue,
                    ParameterSettingValueLengthsAndLengthMatch, StringLengthsMatch, TypesMatch}
{
}

ValidationResult Validator::validate(const Device& device) const
{
    ValidationResult result;
    validate(device, result);
    return result;
}

void Validator::validate(const Device& device, ValidationResult& result) const
{
    for (const auto& rule : mDeviceRules)
        rule(device, result);
    validate(device.getDeviceParameterSets(), result);
    validate(device.getSubdeviceParameterSets(), result);
    validate(device.getTraits(), result);
}

void Validator::validate(const ParameterSetContainer<Parameter>& sets, ValidationResult& result) const
{
    for (const auto& [version, set] : sets.getParameterSets())
        validate(set, result);
}

void Validator::validate(const ParameterSet<Parameter>& set, ValidationResult& result) const
{
    for (const auto& rule : mParameterSetRules)
        rule(set, result);
    for (const auto& [name, parameter] : set.getParameters())
        validate(parameter, set.getVersion(), result);
}

void Validator::validate(const Parameter& parameter, const Version& version, ValidationResult& result) const
{
    for (const auto& rule : mParameterRules)
        rule(parameter, version, result);
}

void Validator::validate(const Traits& traits, ValidationResult& result) const
{
    for (const auto& rule : mTraitsRules)
        rule(traits, result);
}

ValidationResult Validator::validate(const DeviceSettings& settings) const
{
    ValidationResult result;
    for (const auto& rule : mSettingsRules)
        rule(settings, result);
    return result;
}

ValidationResult Validator::validateSettingsAgainstDevice(const DeviceSettings& settings,
                                                          const Device& device) const
{
    ValidationResult result;
    for (const auto& rule : mSettingsAgainstDeviceRules)
        rule(settings, device, result);
    validate(settings.getDeviceParameterSettings(), device.getDeviceParameterSets(), result);
    validate(settings.getSubdeviceParameterSettings(), device.getSubdeviceParameterSets(), result);
    return result;
}

void Validator::validate(const ParameterSetContainer<ParameterSetting>& settings,
                         const ParameterSetContainer<Parameter>& parameters, ValidationResult& result) const
{
    for (const auto& [version, settingSet] : settings.getParameterSets())
    {
        if (!parameters.contains(version))
        {
            result.addError(setPrefix(version) +
                            "No parameter set of this version in the device description");
            continue;
        }
        validate(settingSet, parameters.at(version), result);
    }
}

void Validator::validate(const ParameterSet<ParameterSetting>& settings,
                         const ParameterSet<Parameter>& parameters, ValidationResult& result) const
{
    for (const auto& [name, setting] : settings.getParameters())
    {
        if (!parameters.contains(name))
        {
            result.addError(parameterPrefix(settings.getVersion(), name) +
                            "No parameter of this name in the device description");
            continue;
        }
        validate(setting, parameters.at(name), settings.getVersion(), result);
    }
}

void Validator::validate(const ParameterSetting& setting, const Parameter& parameter, const Version& version,
                         ValidationResult& result) const
{
    for (const auto& rule : mSettingRules)
        rule(setting, parameter, version, result);
}

} // namespace Hvd::Weft::Device
