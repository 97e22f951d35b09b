#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "device/import/FileReader.h"
#include "device/import/JsonValidator.h"

namespace
{
using namespace Hvd::Weft::Device;
using nlohmann::json;

struct Case
{
    const char* what;
    std::function<void(json&)> change;
    const char* pointer; // of the element that must be reported
};

// True when some reported text names exactly this element.
bool reports(const std::vector<std::string>& errors, const std::string& pointer)
{
    for (const auto& error : errors)
    {
        if (error.rfind(pointer + ": ", 0) == 0)
            return true;
    }
    return false;
}

std::string joined(const std::vector<std::string>& errors)
{
    std::string text;
    for (const auto& error : errors)
        text += "\n  " + error;
    return text;
}

void expectRejections(const JsonValidator& validator, const json& valid, const std::vector<Case>& cases)
{
    // Without this the rejections below could have another cause than the change.
    ASSERT_TRUE(validator.validate(valid).empty()) << joined(validator.validate(valid));
    for (const auto& c : cases)
    {
        json document = valid;
        c.change(document);
        const auto errors = validator.validate(document);
        EXPECT_TRUE(reports(errors, c.pointer)) << c.what << ", expected " << c.pointer << joined(errors);
    }
}

void expectAccepted(const JsonValidator& validator, const json& valid, const std::vector<Case>& cases)
{
    for (const auto& c : cases)
    {
        json document = valid;
        c.change(document);
        const auto errors = validator.validate(document);
        EXPECT_TRUE(errors.empty()) << c.what << joined(errors);
    }
}

json validDescription()
{
    return json::parse(R"({
      "Identity": "N5Q2-Orvik",
      "DeviceParameterSets": [{"Version": "V02.01", "Parameters": [
        {"Name": "FlowUnit", "Description": "", "Address": 505, "Type": "DBYTEU8",
         "MinValue": 0, "DefaultValue": 1, "MaxValue": 255, "Tags": ["FLOW", "SLOT_UNIT"]},
        {"Name": "FlowMeasEnd", "Description": "", "Address": 514, "Type": "DFLOAT32",
         "MinValue": -99999.99, "DefaultValue": 100, "MaxValue": 99999.99},
        {"Name": "Name", "Description": "", "Address": 399, "Type": "ARRSTRING", "Length": 16, "DefaultValue": "0"},
        {"Name": "Counter", "Description": "", "Address": 0, "Type": "DBYTEU16",
         "MinValue": 0, "DefaultValue": 0, "MaxValue": 65535,
         "IoLink": {"Address": 3, "FactoryAccess": "ReadWrite", "UserAccess": "Read", "Menu": ["Main"]}}
      ]}],
      "Traits": {
        "Interface": {"Name": "N5Q2", "Type": "UART", "Address": [19, 0, 4, 0, 2], "HalfDuplex": true,
                      "StartUp_ms": 215, "PowerDown_ms": 300},
        "Outputs": [{"Name": "OUT1", "Alarm": true, "CtrlInput": true, "Current": true, "Frequency": true,
                     "IoLink": true, "Veltrix": true, "Pulse": true, "Voltage": true}],
        "IoLink": {"Commands": [], "Events": [], "SystemDataObjects": []},
        "Calibrations": [{"Slot": 0, "DeviationPercent": 1.5, "SampleCount": 10, "AverageAlgorithm": "Gauss"}],
        "Test": {"SlotCount": 1, "CalibrationQueueAddress": 1, "GeneralQueueAddress": 0,
                 "CurrentConsumptionMin_mA": 0.0, "CurrentConsumptionMax_mA": 0.0,
                 "ProgressStepCount": 1, "SensorResistor": false}
      }
    })");
}

json& parameter(json& d, int index)
{
    return d["DeviceParameterSets"][0]["Parameters"][index];
}

TEST(DescriptionSchema, RejectsEachViolationAtItsElement)
{
    const JsonValidator validator(FileReader("Resources/DeviceDescription.schema.json"));
    const std::vector<Case> cases = {
        {"type name in lower case", [](json& d) { parameter(d, 0)["Type"] = "dbyteu8"; },
         "/DeviceParameterSets/0/Parameters/0/Type"},
        {"key outside the format", [](json& d) { parameter(d, 0)["Unit"] = "m3/h"; },
         "/DeviceParameterSets/0/Parameters/0"},
        {"address beyond 16 bits", [](json& d) { parameter(d, 0)["Address"] = 65536; },
         "/DeviceParameterSets/0/Parameters/0/Address"},
        {"negative address", [](json& d) { parameter(d, 0)["Address"] = -1; },
         "/DeviceParameterSets/0/Parameters/0/Address"},
        {"8-bit default out of range", [](json& d) { parameter(d, 0)["DefaultValue"] = 256; },
         "/DeviceParameterSets/0/Parameters/0/DefaultValue"},
        {"fraction for an integer type", [](json& d) { parameter(d, 0)["MinValue"] = 0.5; },
         "/DeviceParameterSets/0/Parameters/0/MinValue"},
        {"16-bit maximum out of range", [](json& d) { parameter(d, 3)["MaxValue"] = 65536; },
         "/DeviceParameterSets/0/Parameters/3/MaxValue"},
        {"text as a float limit", [](json& d) { parameter(d, 1)["MaxValue"] = "99999.99"; },
         "/DeviceParameterSets/0/Parameters/1/MaxValue"},
        {"limits without default", [](json& d) { parameter(d, 1).erase("DefaultValue"); },
         "/DeviceParameterSets/0/Parameters/1"},
        {"number as string default", [](json& d) { parameter(d, 2)["DefaultValue"] = 0; },
         "/DeviceParameterSets/0/Parameters/2/DefaultValue"},
        {"missing address", [](json& d) { parameter(d, 0).erase("Address"); },
         "/DeviceParameterSets/0/Parameters/0"},
        {"bad access right", [](json& d) { parameter(d, 3)["IoLink"]["UserAccess"] = "RW"; },
         "/DeviceParameterSets/0/Parameters/3/IoLink/UserAccess"},
        {"unknown identity", [](json& d) { d["Identity"] = "Orvik"; }, "/Identity"},
        {"key outside the format at the top", [](json& d) { d["Comment"] = "x"; }, ""},
        {"set without parameters", [](json& d) { d["DeviceParameterSets"][0].erase("Parameters"); },
         "/DeviceParameterSets/0"},
        {"unknown output name", [](json& d) { d["Traits"]["Outputs"][0]["Name"] = "OUT3"; },
         "/Traits/Outputs/0/Name"},
        {"flag as number", [](json& d) { d["Traits"]["Outputs"][0]["Pulse"] = 1; },
         "/Traits/Outputs/0/Pulse"},
        {"unknown interface type", [](json& d) { d["Traits"]["Interface"]["Type"] = "USB"; },
         "/Traits/Interface/Type"},
        {"address byte out of range", [](json& d) { d["Traits"]["Interface"]["Address"][2] = 256; },
         "/Traits/Interface/Address/2"},
        {"start-up time beyond 16 bits", [](json& d) { d["Traits"]["Interface"]["StartUp_ms"] = 70000; },
         "/Traits/Interface/StartUp_ms"},
        {"unknown averaging", [](json& d) { d["Traits"]["Calibrations"][0]["AverageAlgorithm"] = "Median"; },
         "/Traits/Calibrations/0/AverageAlgorithm"},
        {"queue address beyond 16 bits", [](json& d) { d["Traits"]["Test"]["GeneralQueueAddress"] = 65536; },
         "/Traits/Test/GeneralQueueAddress"},
    };
    expectRejections(validator, validDescription(), cases);
}

// Forms the importer defines a meaning for must stay importable.
TEST(DescriptionSchema, AcceptsEveryFormTheImporterReads)
{
    const JsonValidator validator(FileReader("Resources/DeviceDescription.schema.json"));
    const std::vector<Case> cases = {
        {"no parameter sets at all", [](json& d) { d.erase("DeviceParameterSets"); }, ""},
        {"parameter without values",
         [](json& d) {
             parameter(d, 0) = {{"Name", "Bare"}, {"Description", ""}, {"Address", 9}, {"Type", "DBYTEU8"}};
         },
         ""},
        {"length makes a string of any type",
         [](json& d)
         {
             parameter(d, 0) = {{"Name", "Text"},    {"Description", ""}, {"Address", 9},
                                {"Type", "DBYTEU8"}, {"Length", 4},       {"DefaultValue", "ab"}};
         },
         ""},
        {"array limits",
         [](json& d)
         {
             parameter(d, 0) = {{"Name", "Curve"},        {"Description", ""},
                                {"Address", 9},           {"Type", "ARRFLOAT32"},
                                {"MinValue", {0.0, 0.0}}, {"DefaultValue", {1.0, 2.5}},
                                {"MaxValue", {10, 10}},   {"RefMin", 0},
                                {"RefMax", 514}};
         },
         ""},
        {"large unsigned 32-bit maximum",
         [](json& d)
         {
             parameter(d, 3)["Type"] = "DBYTEU32";
             parameter(d, 3)["MaxValue"] = 4294967295u;
         },
         ""},
        {"subdevice sets alone",
         [](json& d)
         {
             d["SubdeviceParameterSets"] = d["DeviceParameterSets"];
             d.erase("DeviceParameterSets");
         },
         ""},
    };
    expectAccepted(validator, validDescription(), cases);
}

json validSettings()
{
    return json::parse(R"({
      "Identity": "N5Q2-Orvik",
      "SubdeviceParameterSets": [{"Version": "V02.00", "Description": "factory", "Parameters": [
        {"Name": "FlowUnit", "Type": "DBYTEU8", "Value": 4},
        {"Name": "measurement.setting.scaling.K0", "Type": "DFLOAT32", "Value": null},
        {"Name": "ProductVariantName", "Type": "ARRSTRING", "Value": "Orvik 82.5"},
        {"Name": "Curve", "Type": "ARRFLOAT64", "Value": [1.5, 2]}
      ]}]
    })");
}

json& setting(json& d, int index)
{
    return d["SubdeviceParameterSets"][0]["Parameters"][index];
}

TEST(SettingsSchema, RejectsEachViolationAtItsElement)
{
    const JsonValidator validator(FileReader("Resources/DeviceSettings.schema.json"));
    const std::vector<Case> cases = {
        {"8-bit value out of range", [](json& d) { setting(d, 0)["Value"] = 300; },
         "/SubdeviceParameterSets/0/Parameters/0/Value"},
        {"number for a string", [](json& d) { setting(d, 2)["Value"] = 82.5; },
         "/SubdeviceParameterSets/0/Parameters/2/Value"},
        {"null inside an array", [](json& d) { setting(d, 3)["Value"][1] = nullptr; },
         "/SubdeviceParameterSets/0/Parameters/3/Value/1"},
        {"unknown type name", [](json& d) { setting(d, 0)["Type"] = "U8"; },
         "/SubdeviceParameterSets/0/Parameters/0/Type"},
        {"key outside the format", [](json& d) { setting(d, 0)["Unit"] = 1; },
         "/SubdeviceParameterSets/0/Parameters/0"},
        {"setting without value", [](json& d) { setting(d, 0).erase("Value"); },
         "/SubdeviceParameterSets/0/Parameters/0"},
        {"set without version", [](json& d) { d["SubdeviceParameterSets"][0].erase("Version"); },
         "/SubdeviceParameterSets/0"},
        {"unknown identity", [](json& d) { d["Identity"] = "N5Q2"; }, "/Identity"},
    };
    expectRejections(validator, validSettings(), cases);
}

} // namespace
