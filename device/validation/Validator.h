#pragma once

#include <functional>
#include <vector>

#include "device/Device.h"
#include "device/DeviceSettings.h"
#include "device/validation/ValidationResult.h"

namespace Hvd::Weft::Device
{

// Checks the relations between parameters that a schema cannot express.
// Every rule only appends texts, so one run reports every problem. The rules
// run in a fixed order: device, then per set (device sets, then subdevice
// sets, ascending versions) the set rules and per parameter (name order)
// the parameter rules, then the traits.
class Validator
{
public:
    using DeviceRule = std::function<void(const Device&, ValidationResult&)>;
    using ParameterSetRule = std::function<void(const ParameterSet<Parameter>&, ValidationResult&)>;
    using ParameterRule = std::function<void(const Parameter&, const Version&, ValidationResult&)>;
    using TraitsRule = std::function<void(const Traits&, ValidationResult&)>;
    using SettingsRule = std::function<void(const DeviceSettings&, ValidationResult&)>;
    using SettingsAgainstDeviceRule =
        std::function<void(const DeviceSettings&, const Device&, ValidationResult&)>;
    using SettingRule =
        std::function<void(const ParameterSetting&, const Parameter&, const Version&, ValidationResult&)>;

    Validator();

    ValidationResult validate(const Device& device) const;
    void validate(const Device& device, ValidationResult& result) const;
    void validate(const ParameterSetContainer<Parameter>& sets, ValidationResult& result) const;
    void validate(const ParameterSet<Parameter>& set, ValidationResult& result) const;
    void validate(const Parameter& parameter, const Version& version, ValidationResult& result) const;
    void validate(const Traits& traits, ValidationResult& result) const;

    // A settings file on its own.
    ValidationResult validate(const DeviceSettings& settings) const;
    // Settings against the description they are meant for. A settings version
    // the description lacks, or a setting without a parameter of its name, is
    // reported as well: it could never be applied.
    ValidationResult validateSettingsAgainstDevice(const DeviceSettings& settings,
                                                   const Device& device) const;
    void validate(const ParameterSetContainer<ParameterSetting>& settings,
                  const ParameterSetContainer<Parameter>& parameters, ValidationResult& result) const;
    void validate(const ParameterSet<ParameterSetting>& settings, const ParameterSet<Parameter>& parameters,
                  ValidationResult& result) const;
    void validate(const ParameterSetting& setting, const Parameter& parameter, const Version& version,
                  ValidationResult& result) const;

private:
    std::vector<DeviceRule> mDeviceRules;
    std::vector<ParameterSetRule> mParameterSetRules;
    std::vector<ParameterRule> mParameterRules;
    std::vector<TraitsRule> mTraitsRules;
    std::vector<SettingsRule> mSettingsRules;
    std::vector<SettingsAgainstDeviceRule> mSettingsAgainstDeviceRules;
    std::vector<SettingRule> mSettingRules;
};

} // namespace Hvd::Weft::Device
