#include <QFile>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "components/QtResourceReader.h"
#include "device/Device.h"
#include "device/Exceptions.h"
#include "device/import/FileReader.h"
#include "device/import/Format.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"

namespace
{
using namespace Hvd::Weft::Device;

using ResourceReader = Hvd::Weft::Components::QtResourceReader;

struct NumericRow
{
    const char* name;
    DataType type;
    std::uint16_t address;
    double min;
    double def;
    double max;
    std::vector<Tag> tags;
};

// The minimum that differs between the two device layouts is checked on its own.
constexpr double kByVersion = std::numeric_limits<double>::quiet_NaN();

// Rows the application and the device contexts rely on, in both device layouts.
// clang-format off
const std::vector<NumericRow> kDeviceRows = {
    {"FlowMeasEnd", DataType::DFLOAT32, 514, -99999.99, 100, 99999.99, {Tag::FLOW, Tag::SLOT_MEASUREMENT_END}},
    {"FlowMeasStart", DataType::DFLOAT32, 510, -99999.99, 0, 99999.99, {Tag::FLOW, Tag::SLOT_MEASUREMENT_START}},
    {"FlowUnit", DataType::DBYTEU8, 505, 0, 1, 255, {Tag::FLOW, Tag::SLOT_UNIT}},
    {"VolumeMeasEnd", DataType::DFLOAT32, 614, -99999.99, 100, 99999.99, {Tag::SLOT_MEASUREMENT_END}},
    {"VolumeMeasStart", DataType::DFLOAT32, 610, -99999.99, 0, 99999.99, {Tag::SLOT_MEASUREMENT_START}},
    {"VolumeUnit", DataType::DBYTEU8, 605, 0, 1, 255, {Tag::SLOT_UNIT}},
    {"TemperatureMeasEnd", DataType::DFLOAT32, 714, -99999.99, 100, 99999.99, {Tag::TEMPERATURE, Tag::SLOT_MEASUREMENT_END}},
    {"TemperatureMeasStart", DataType::DFLOAT32, 710, -99999.99, 0, 99999.99, {Tag::TEMPERATURE, Tag::SLOT_MEASUREMENT_START}},
    {"TemperatureUnit", DataType::DBYTEU8, 705, 0, 1, 255, {Tag::TEMPERATURE, Tag::SLOT_UNIT}},
    {"PartVolumeMeasEnd", DataType::DFLOAT32, 814, -99999.99, 100, 99999.99, {Tag::SLOT_MEASUREMENT_END}},
    {"PartVolumeMeasStart", DataType::DFLOAT32, 810, -99999.99, 0, 99999.99, {Tag::SLOT_MEASUREMENT_START}},
    {"PartVolumeUnit", DataType::DBYTEU8, 805, 0, 1, 255, {Tag::SLOT_UNIT}},
    {"Out1CalibrationValue01V", DataType::DBYTEU16, 111, 0, 400, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue01mA", DataType::DBYTEU16, 103, 0, 300, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue10V", DataType::DBYTEU16, 117, 0, 57870, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue12mA", DataType::DBYTEU16, 107, 0, 34665, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue20mA", DataType::DBYTEU16, 109, 0, 57770, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue2V", DataType::DBYTEU16, 113, 0, 11575, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue4mA", DataType::DBYTEU16, 105, 0, 11600, 65535, {Tag::CALIBRATION}},
    {"Out1CalibrationValue6V", DataType::DBYTEU16, 115, 0, 34725, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue01V", DataType::DBYTEU16, 213, 0, 400, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue01mA", DataType::DBYTEU16, 205, 0, 300, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue10V", DataType::DBYTEU16, 219, 0, 57870, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue12mA", DataType::DBYTEU16, 209, 0, 34665, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue20mA", DataType::DBYTEU16, 211, 0, 57770, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue2V", DataType::DBYTEU16, 215, 0, 11575, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue4mA", DataType::DBYTEU16, 207, 0, 11600, 65535, {Tag::CALIBRATION}},
    {"Out2CalibrationValue6V", DataType::DBYTEU16, 217, 0, 34725, 65535, {Tag::CALIBRATION}},
    {"VolumeSavedRawValue", DataType::DFLOAT32, 644, -9999999000, 0.00001, 9999999000, {Tag::SLOT_VALUE, Tag::SLOT_COUNTER}},
    {"PartVolumeSavedRawValue", DataType::DFLOAT32, 844, -9999999000, 0.00001, 9999999000, {Tag::SLOT_VALUE, Tag::SLOT_COUNTER}},
    {"DosingUnit", DataType::DBYTEU8, 230, 0, 1, 255, {}},
    {"FlowCutOff", DataType::DFLOAT32, 501, 0, 0, 9999.9, {Tag::CUTOFF}},
    {"Out1Unit", DataType::DBYTEU8, 84, 0, 1, 255, {}},
    {"Out1Value10V", DataType::DFLOAT32, 57, -99999.99, 100, 99999.99, {}},
    {"Out1Value20mA", DataType::DFLOAT32, 45, -99999.99, 100, 99999.99, {}},
    {"Out1ValueMaxHz", DataType::DFLOAT32, 98, -99999.99, 100, 99999.99, {}},
    {"Out2Unit", DataType::DBYTEU8, 187, 0, 1, 255, {}},
    {"Out2Value10V", DataType::DFLOAT32, 160, -99999.99, 100, 99999.99, {}},
    {"Out2Value20mA", DataType::DFLOAT32, 148, -99999.99, 100, 99999.99, {}},
    {"Out2ValueMaxHz", DataType::DFLOAT32, 201, kByVersion, 100, 99999.99, {}},
};
// clang-format on

// clang-format off
const std::vector<NumericRow> kSubdeviceRowsV0110 = {
    {"EE_Anfang", DataType::DBYTEU16, 0, 0, 2327, 65535, {}},
    {"EE_debug", DataType::DBYTEU16, 2, 0, 0, 65535, {}},
    {"EE_seriennummer", DataType::DBYTEU32, 4, 0, 1, 4294967295, {}},
    {"EE_nennweite", DataType::DFLOAT32, 8, -99999.9, 5, 99999.99, {}},
    {"EE_NullRohwert", DataType::DFLOAT32, 12, -32768, 0, 32768, {Tag::CALIBRATION, Tag::OFFSET}},
    {"EE_AK", DataType::DFLOAT32, 16, -99999.9, 1, 99999.9, {Tag::CALIBRATION, Tag::KFAKTOR}},
    {"EE_leerrohrausan", DataType::DBYTEU16, 20, 0, 1, 1, {}},
    {"EE_ablauftakt", DataType::DBYTEU16, 22, 0, 2, 3, {}},
    {"EE_ADgain", DataType::DBYTEU16, 24, 0, 0, 4, {}},
    {"EEschleichmenge", DataType::DFLOAT32, 26, 0, 0.04, 99999.9, {}},
    {"EE_RangeSP", DataType::DFLOAT32, 30, -99999.9, 0, 99999.9, {}},
    {"EE_RangeEP", DataType::DFLOAT32, 34, -99999.9, 2.5, 99999.9, {}},
    {"EE_CalFlag", DataType::DBYTEU16, 38, 0, 1234, 2326, {}},
    {"fJumpDetectorThreshold", DataType::DFLOAT32, 40, 0, 0.25, 1, {}},
    {"ucFilterFactor", DataType::DBYTEU8, 44, 0, 10, 50, {}},
    {"ucJumpDetectorConfirmationFactor", DataType::DBYTEU8, 45, 0, 4, 50, {}},
    {"fMaxValue", DataType::DFLOAT32, 46, 0, 5, 99999.9, {Tag::CALIBRATION}},
    {"ucZeroValueConfirmationFactor", DataType::DBYTEU8, 50, 0, 4, 255, {}},
    {"specialMode.zeroDetector", DataType::DBYTEU8, 51, 0, 0, 1, {}},
    {"specialMode.extremValueFilter", DataType::DBYTEU8, 52, 0, 1, 1, {}},
    {"ucStatusDelaySeconds", DataType::DBYTEU8, 53, 0, 2, 50, {}},
    {"uiStartUpDelayCycles", DataType::DBYTEU16, 54, 0, 38, 65535, {}},
    {"ucTempSlotOff", DataType::DBYTEU8, 56, 0, 0, 1, {}},
    {"ucTempSlotFiltCoeff", DataType::DBYTEU8, 57, 1, 6, 9, {}},
};
// clang-format on

// clang-format off
const std::vector<NumericRow> kSubdeviceRowsV0200 = {
    {"settings.filter.ucType", DataType::DBYTEU8, 0, 0, 0, 2, {}},
    {"settings.filter.ucFilterFactor", DataType::DBYTEU8, 1, 1, 10, 50, {}},
    {"settings.filter.ucJumpDetectorConfirmationFactor", DataType::DBYTEU8, 2, 1, 4, 25, {}},
    {"settings.filter.ucZeroValueConfirmationFactor", DataType::DBYTEU8, 3, 1, 4, 255, {}},
    {"settings.filter.ucZeroDetector", DataType::DBYTEU8, 4, 0, 0, 1, {}},
    {"settings.filter.ucExtremValueFilter", DataType::DBYTEU8, 5, 0, 1, 1, {}},
    {"settings.filter.fJumpDetectorThreshold", DataType::DFLOAT32, 6, 0.05, 0.25, 1, {}},
    {"settings.filter.ucTempFilterCoeff", DataType::DBYTEU8, 10, 0, 6, 9, {}},
    {"settings.filter.ucEmptyPipeFilterCoeff", DataType::DBYTEU8, 11, 0, 0, 9, {}},
    {"settings.range.fCutOff", DataType::DFLOAT32, 12, 0, 0.04, 99999.99, {}},
    {"settings.range.fCutOffHysteresis", DataType::DFLOAT32, 16, 0, 0.1, 99999.99, {Tag::CALIBRATION}},
    {"settings.range.fMeasEnd", DataType::DFLOAT32, 20, -99999.99, 5, 99999.99, {Tag::CALIBRATION}},
    {"settings.scaling.fOffset", DataType::DFLOAT32, 24, -99999.99, 0, 99999.99, {Tag::CALIBRATION, Tag::OFFSET}},
    {"measurement.setting.scaling.K0", DataType::DFLOAT32, 28, -99999.99, 1, 99999.99, {Tag::CALIBRATION, Tag::KFAKTOR}},
    {"settings.process.ucEmptyPipeOn", DataType::DBYTEU8, 32, 0, 0, 1, {}},
    {"settings.process.ucEmptyPipeConfFactor", DataType::DBYTEU8, 33, 0, 1, 255, {}},
    {"settings.process.uiEmptyPipeThreshold", DataType::DBYTEU16, 34, 0, 32678, 65535, {}},
    {"settings.process.uiEmptyPipeHysteresis", DataType::DBYTEU16, 36, 0, 0, 65535, {}},
    {"settings.process.ucMeasSaturatedConfFactor", DataType::DBYTEU8, 38, 0, 1, 255, {}},
    {"settings.process.uiStartupDelay", DataType::DBYTEU16, 39, 0, 38, 65535, {}},
    {"settings.process.ucTempSlotOff", DataType::DBYTEU8, 41, 0, 0, 1, {}},
    {"settings.process.ucExciOn", DataType::DBYTEU8, 42, 0, 1, 1, {}},
    {"settings.process.cycleDiv", DataType::DBYTEU8, 43, 0, 1, 3, {}},
    {"settings.process.baseFreq", DataType::DBYTEU8, 44, 0, 0, 1, {}},
    {"settings.analog.gain", DataType::DBYTEU8, 45, 0, 0, 4, {}},
    {"settings.analog.attenuator", DataType::DBYTEU8, 46, 0, 0, 5, {}},
    {"settings.frequencyout.onOff", DataType::DBYTEU8, 47, 0, 0, 1, {}},
    {"settings.frequencyout.flowAt0Hz", DataType::DFLOAT32, 48, -99999.99, 0, 99999.99, {}},
    {"settings.frequencyout.flowAtMaxHz", DataType::DFLOAT32, 52, -99999.99, 0, 99999.99, {}},
    {"settings.frequencyout.overflow", DataType::DBYTEU8, 56, 0, 0, 100, {}},
    {"settings.frequencyout.hzAtFs", DataType::DBYTEU16, 57, 50, 500, 1000, {}},
};
// clang-format on

// Parameters of V02.11 that the application never touches; V02.01 has the same
// with the older spelling "Out1.contol.ucFunction" and an extra "Out2Function".
// clang-format off
const std::vector<std::string> kUntouchedNamesV0211 = {
    "DisplayBacklightTimeOut", "DisplayIntensity", "DisplayKeysensitivity", "DisplayLayout",
    "DisplayMenuTimeOut", "DisplayRefreshRate", "DisplayValueLowerDisplay", "DisplayValueUpperDisplay",
    "Displayhotkeys[0].ucFunction", "Displayhotkeys[0].ucSource", "Displayhotkeys[1].ucFunction",
    "Displayhotkeys[1].ucSource", "DosingCorrectionValue", "DosingEnabled", "DosingRawCounter",
    "DosingTimeout", "DosingUnitUser", "DosingValue", "FactoryDatasetPresent", "FlowFilterFaktor",
    "FlowFilterType", "FlowJumpDetectorConfirmationFaktor", "FlowJumpDetectorThreshold",
    "FlowMeasOverflow", "FlowRoundingValue", "FlowSavedRawMaxValue", "FlowSavedRawMinValue",
    "FlowSimulationIncValue", "FlowSimulationIntervallMs", "FlowSimulationIntervals",
    "FlowSimulationMode", "FlowSimulationStartValue", "FlowUnitUser", "FlowZeroValueConfirmationFactor",
    "HardwareRevision", "HardwareTestOkay", "IOLINKDeviceID", "LanguageSelection", "MeasInputSelection",
    "OperatingHours", "Out1.alarm.ucFunction", "Out1.control.ucFunction", "Out1AnalogMode",
    "Out1AnalogPidDirection", "Out1AnalogPidIntervalMs", "Out1AnalogPidfKd", "Out1AnalogPidfKi",
    "Out1AnalogPidfKp", "Out1AnalogPidfSetPoint", "Out1HzAtFs", "Out1NamurStandard", "Out1OutputType",
    "Out1Overflow", "Out1PulsWidth", "Out1Pulsvolume", "Out1Source", "Out1SuppressionDirection",
    "Out1SuppressionFactor", "Out1SwitchFunction", "Out1Type", "Out1UnitUser", "Out1Value0Hz",
    "Out1Value0V", "Out1Value0mA", "Out1Value2V", "Out1Value4mA", "Out1fHysteresis",
    "Out1fLowerThreshold", "Out1fThreshold", "Out2AnalogMode", "Out2AnalogPidDirection",
    "Out2AnalogPidIntervalMs", "Out2AnalogPidfKd", "Out2AnalogPidfKi", "Out2AnalogPidfKp",
    "Out2AnalogPidfSetPoint", "Out2Hysteresis", "Out2HzAtFs", "Out2LowerThreshold", "Out2NamurStandard",
    "Out2OutputType", "Out2Overflow", "Out2PulsWidth", "Out2Pulsvolume", "Out2Source",
    "Out2SuppressionDirection", "Out2SuppressionFactor", "Out2SwitchFunction", "Out2Threshold",
    "Out2Type", "Out2UnitUser", "Out2Value0Hz", "Out2Value0V", "Out2Value0mA", "Out2Value2V",
    "Out2Value4mA", "PartVolumeCountingType", "PartVolumeSimulationIncValue",
    "PartVolumeSimulationIntervallMs", "PartVolumeSimulationIntervals", "PartVolumeSimulationMode",
    "PartVolumeSimulationStartValue", "PartVolumeUnitUser", "ProductID", "ProductName", "ProductText",
    "ProductTypeKey", "ServiceHalvardLogoOnOff", "ServiceMenuLocked", "ServicePassword",
    "ServiceSimuAutoStoptime", "TemperatureFilterFaktor", "TemperatureFilterType",
    "TemperatureJumpDetectorConfirmationFaktor", "TemperatureJumpDetectorThreshold",
    "TemperatureMeasOverTemperature", "TemperatureRoundingValue", "TemperatureSavedRawMaxValue",
    "TemperatureSavedRawMinValue", "TemperatureSimulationIncValue", "TemperatureSimulationIntervallMs",
    "TemperatureSimulationIntervals", "TemperatureSimulationMode", "TemperatureSimulationStartValue",
    "TemperatureUnitUser", "TemperatureZeroValueConfirmationFactor", "UserDataSetPresent", "VendorName",
    "VendorText", "VolumeCountingType", "VolumeUnitUser", "settings.display.ucOrientation",
};
// clang-format on

std::vector<std::string> untouchedNamesV0201()
{
    std::vector<std::string> names;
    for (const auto& name : kUntouchedNamesV0211)
        names.push_back(name == "Out1.control.ucFunction" ? "Out1.contol.ucFunction" : name);
    names.push_back("Out2Function");
    return names;
}

const Version kV0201("V02.01");
const Version kV0211("V02.11");
const Version kV0110("V01.10");
const Version kV0200("V02.00");
const Version kV0210("V02.10");

class EmbeddedDescription : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const FileReader settingsSchema("Resources/DeviceSettings.schema.json");
        const FileReader descriptionSchema("Resources/DeviceDescription.schema.json");
        auto format = std::make_shared<JsonFormatImporter>(descriptionSchema, settingsSchema);
        const Importer importer(Importer::Config{{Format::DESC_JSON, format}, {Format::PARA_JSON, format}});
        try
        {
            device = importer.importDevice(ResourceReader(":/N5Q2-Orvik.desc.json"));
        }
        catch (const ValidationException& e)
        {
            for (const auto& error : e.getErrors())
                findings += error + "\n";
            findings += e.what();
        }
        catch (const std::exception& e)
        {
            findings = e.what();
        }
    }

    void SetUp() override { ASSERT_TRUE(device.has_value()) << findings; }

    static const ParameterSet<Parameter>& deviceSet(const Version& version)
    {
        return device->getDeviceParameterSets().at(version);
    }
    static const ParameterSet<Parameter>& subdeviceSet(const Version& version)
    {
        return device->getSubdeviceParameterSets().at(version);
    }

    static void expectRow(const ParameterSet<Parameter>& set, const NumericRow& row)
    {
        SCOPED_TRACE(set.getVersion().toString() + " " + row.name);
        ASSERT_TRUE(set.contains(row.name));
        const Parameter& p = set.at(row.name);
        EXPECT_EQ(p.getType(), row.type);
        EXPECT_EQ(p.getAddress(), row.address);
        EXPECT_EQ(p.getLength(), 1);
        EXPECT_EQ(p.getTags(), row.tags);
        ASSERT_TRUE(p.getMinValue().has_value());
        ASSERT_TRUE(p.getMaxValue().has_value());
        for (const Value* value : {&*p.getMinValue(), &p.getDefaultValue(), &*p.getMaxValue()})
        {
            EXPECT_EQ(value->getType(), row.type);
            EXPECT_EQ(value->getLength(), 1);
        }
        if (!std::isnan(row.min))
        {
            EXPECT_EQ(p.getMinValue()->toDouble(), row.min);
        }
        EXPECT_EQ(p.getDefaultValue().toDouble(), row.def);
        EXPECT_EQ(p.getMaxValue()->toDouble(), row.max);
    }

    static void expectStringRow(const ParameterSet<Parameter>& set, const std::string& name,
                                std::uint16_t address, std::vector<Tag> tags)
    {
        SCOPED_TRACE(set.getVersion().toString() + " " + name);
        ASSERT_TRUE(set.contains(name));
        const Parameter& p = set.at(name);
        EXPECT_EQ(p.getType(), DataType::ARRSTRING);
        EXPECT_EQ(p.getAddress(), address);
        EXPECT_EQ(p.getLength(), 16);
        EXPECT_EQ(p.getDefaultValue().getType(), DataType::ARRSTRING);
        EXPECT_EQ(p.getDefaultValue().toString(), "0");
        EXPECT_FALSE(p.getMinValue().has_value());
        EXPECT_FALSE(p.getMaxValue().has_value());
        EXPECT_EQ(p.getTags(), tags);
    }

    static std::set<std::string> namesOf(const ParameterSet<Parameter>& set)
    {
        std::set<std::string> names;
        for (const auto& [name, parameter] : set.getParameters())
            names.insert(name);
        return names;
    }

    static std::optional<Device> device;
    static std::string findings;
};

std::optional<Device> EmbeddedDescription::device;
std::string EmbeddedDescription::findings;

TEST_F(EmbeddedDescription, ImportsWithAllSetsAndNoFinding)
{
    EXPECT_EQ(device->getIdentity(), Identity::N5Q2_Orvik);
    const auto& devices = device->getDeviceParameterSets().getParameterSets();
    const auto& subdevices = device->getSubdeviceParameterSets().getParameterSets();
    ASSERT_EQ(devices.size(), 2u);
    ASSERT_EQ(subdevices.size(), 3u);
    EXPECT_EQ(deviceSet(kV0201).getParameters().size(), 175u);
    EXPECT_EQ(deviceSet(kV0211).getParameters().size(), 174u);
    EXPECT_EQ(subdeviceSet(kV0110).getParameters().size(), 24u);
    EXPECT_EQ(subdeviceSet(kV0200).getParameters().size(), 31u);
    EXPECT_EQ(subdeviceSet(kV0210).getParameters().size(), 31u);
    for (const auto* sets : {&devices, &subdevices})
    {
        for (const auto& [version, set] : *sets)
            EXPECT_TRUE(set.getDescription().empty()) << version.toString();
    }
}

TEST_F(EmbeddedDescription, DeviceRowsAreAsTheApplicationExpects)
{
    for (const Version& version : {kV0201, kV0211})
    {
        const auto& set = deviceSet(version);
        for (const auto& row : kDeviceRows)
            expectRow(set, row);
        expectStringRow(set, "IndividualProductionNumber", 251, {Tag::SERIALNUMBER});
        expectStringRow(set, "ProductVariantName", 399, {});
    }
}

TEST_F(EmbeddedDescription, DeviceLayoutsDifferOnlyWhereIntended)
{
    EXPECT_EQ(deviceSet(kV0201).at("Out2ValueMaxHz").getMinValue()->toDouble(), -9999999.0);
    EXPECT_EQ(deviceSet(kV0211).at("Out2ValueMaxHz").getMinValue()->toDouble(), -99999.99);

    std::set<std::string> tabled{"IndividualProductionNumber", "ProductVariantName"};
    for (const auto& row : kDeviceRows)
        tabled.insert(row.name);
    const auto expectNames = [&](const Version& version, const std::vector<std::string>& untouched)
    {
        std::set<std::string> expected = tabled;
        expected.insert(untouched.begin(), untouched.end());
        EXPECT_EQ(namesOf(deviceSet(version)), expected) << version.toString();
    };
    expectNames(kV0201, untouchedNamesV0201());
    expectNames(kV0211, kUntouchedNamesV0211);

    // Apart from the renamed and the dropped parameter both layouts share every address.
    for (const auto& [name, parameter] : deviceSet(kV0211).getParameters())
    {
        const std::string old = name == "Out1.control.ucFunction" ? "Out1.contol.ucFunction" : name;
        const Parameter& older = deviceSet(kV0201).at(old);
        EXPECT_EQ(older.getAddress(), parameter.getAddress()) << name;
        EXPECT_EQ(older.getType(), parameter.getType()) << name;
        EXPECT_EQ(older.getLength(), parameter.getLength()) << name;
    }
}

TEST_F(EmbeddedDescription, SubdeviceSetsAreComplete)
{
    const auto expectSet = [&](const ParameterSet<Parameter>& set, const std::vector<NumericRow>& rows)
    {
        EXPECT_EQ(set.getParameters().size(), rows.size());
        for (const auto& row : rows)
            expectRow(set, row);
    };
    expectSet(subdeviceSet(kV0110), kSubdeviceRowsV0110);
    expectSet(subdeviceSet(kV0200), kSubdeviceRowsV0200);
    expectSet(subdeviceSet(kV0210), kSubdeviceRowsV0200);

    const std::vector<std::pair<std::string, std::string>> aliases = {
        {"uiStartUpDelayCycles", "StartUpDelayCycles"},
        {"ucStatusDelaySeconds", "StatusDelaySeconds"},
        {"ucTempSlotFiltCoeff", "TempSlotFiltCoeff"},
        {"ucTempSlotOff", "TempSlotOff"},
        {"specialMode.extremValueFilter", "extremValueFilterActivation"},
        {"specialMode.zeroDetector", "zeroDetectorActivation"},
    };
    std::size_t described = 0;
    for (const auto& [name, parameter] : subdeviceSet(kV0110).getParameters())
        described += parameter.getDescription().empty() ? 0 : 1;
    EXPECT_EQ(described, aliases.size());
    for (const auto& [name, alias] : aliases)
    {
        EXPECT_EQ(subdeviceSet(kV0110).at(name).getDescription(),
                  alias + " ist eine alternative Bezeichnung in manchen Dateien");
    }
}

TEST_F(EmbeddedDescription, RescalingFindsItsParametersByRoleAndName)
{
    const std::vector<std::pair<Version, std::string>> kFactors = {
        {kV0110, "EE_AK"},
        {kV0200, "measurement.setting.scaling.K0"},
        {kV0210, "measurement.setting.scaling.K0"}};
    for (const auto& [version, name] : kFactors)
    {
        const auto found = subdeviceSet(version).query(QueryTag{Tag::KFAKTOR});
        ASSERT_EQ(found.size(), 1u) << version.toString();
        EXPECT_EQ(found.front().get().getName(), name);
        EXPECT_EQ(found.front().get().getType(), DataType::DFLOAT32);
    }
    EXPECT_FALSE(subdeviceSet(kV0110).contains("settings.range.fMeasEnd"));
    EXPECT_TRUE(subdeviceSet(kV0200).contains("settings.range.fMeasEnd"));
    EXPECT_TRUE(subdeviceSet(kV0210).contains("settings.range.fMeasEnd"));

    // The rescaler writes a sixteen-character size text; a longer one must be refused.
    Parameter name = deviceSet(kV0211).at("ProductVariantName");
    EXPECT_NO_THROW(name.setCurrentValue(Value(std::string("Orvik 1234567890"))));
    EXPECT_THROW(name.setCurrentValue(Value(std::string("Orvik 12345678901"))), std::invalid_argument);
}

TEST_F(EmbeddedDescription, EveryParameterFollowsTheFileConventions)
{
    const std::set<Tag> allowed = {Tag::CALIBRATION,
                                   Tag::CUTOFF,
                                   Tag::FLOW,
                                   Tag::KFAKTOR,
                                   Tag::OFFSET,
                                   Tag::SERIALNUMBER,
                                   Tag::SLOT_COUNTER,
                                   Tag::SLOT_MEASUREMENT_END,
                                   Tag::SLOT_MEASUREMENT_START,
                                   Tag::SLOT_UNIT,
                                   Tag::SLOT_VALUE,
                                   Tag::TEMPERATURE};
    for (const auto* container : {&device->getDeviceParameterSets(), &device->getSubdeviceParameterSets()})
    {
        for (const auto& [version, set] : container->getParameterSets())
        {
            for (const auto& [name, p] : set.getParameters())
            {
                SCOPED_TRACE(version.toString() + " " + name);
                EXPECT_TRUE(p.isValid());
                EXPECT_FALSE(p.getRefMin() || p.getRefMax() || p.getIoLink());
                EXPECT_FALSE(p.getCurrentValue().isValid());
                for (Tag tag : p.getTags())
                    EXPECT_TRUE(allowed.count(tag)) << static_cast<int>(tag);
                if (p.getType() == DataType::ARRSTRING)
                {
                    EXPECT_EQ(p.getDefaultValue().toString(), "0");
                    EXPECT_FALSE(p.getMinValue() || p.getMaxValue());
                }
                else
                {
                    ASSERT_TRUE(p.getMinValue() && p.getMaxValue());
                    // A default the device would refuse could never be written back.
                    Parameter copy = p;
                    EXPECT_NO_THROW(copy.setCurrentValue(p.getDefaultValue()));
                }
                if (container == &device->getDeviceParameterSets() || version != kV0110)
                {
                    EXPECT_TRUE(p.getDescription().empty());
                }
            }
        }
    }
}

TEST_F(EmbeddedDescription, TraitsDescribeTheSensorInterface)
{
    const Traits& traits = device->getTraits();
    const auto& interface = traits.getInterface();
    EXPECT_EQ(interface.getName(), "N5Q2");
    EXPECT_EQ(interface.getType(), InterfaceTraits::Type::UART);
    EXPECT_EQ(interface.getAddress().getBytes(), (std::array<std::uint8_t, 5>{19, 0, 4, 0, 2}));
    EXPECT_TRUE(interface.isHalfDuplex());
    EXPECT_EQ(interface.getStartUp_ms(), 215);
    EXPECT_EQ(interface.getPowerDown_ms(), 300);

    const auto flags = [](const OutputTraits& o)
    {
        return std::vector<bool>{o.hasAlarm(),  o.hasCtrlInput(), o.hasCurrent(), o.hasFrequency(),
                                 o.hasIoLink(), o.hasVeltrix(),   o.hasPulse(),   o.hasVoltage()};
    };
    ASSERT_TRUE(traits.getOutputs().contains(OutputTraits::Name::OUT1));
    ASSERT_TRUE(traits.getOutputs().contains(OutputTraits::Name::OUT2));
    EXPECT_EQ(flags(traits.getOutputs().at(OutputTraits::Name::OUT1)), std::vector<bool>(8, true));
    EXPECT_EQ(flags(traits.getOutputs().at(OutputTraits::Name::OUT2)),
              (std::vector<bool>{true, false, true, true, false, false, true, true}));

    EXPECT_TRUE(traits.getIoLink().getCommands().isEmpty());
    EXPECT_TRUE(traits.getIoLink().getEvents().isEmpty());
    EXPECT_TRUE(traits.getIoLink().getSystemDataObjects().isEmpty());
    EXPECT_TRUE(traits.getCalibrations().getCalibrations().empty());

    const auto& test = traits.getTest();
    EXPECT_EQ(test.getSlotCount(), 1u);
    EXPECT_EQ(test.getCalibrationQueueAddress(), 1);
    EXPECT_EQ(test.getGeneralQueueAddress(), 0);
    EXPECT_EQ(test.getCurrentConsumptionMin_mA(), 0.0f);
    EXPECT_EQ(test.getCurrentConsumptionMax_mA(), 0.0f);
    EXPECT_EQ(test.getProgressStepCount(), 1u);
    EXPECT_FALSE(test.hasSensorResistor());
}

} // namespace
