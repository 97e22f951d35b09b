#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <typeinfo>

#include "device/Exceptions.h"
#include "device/ParameterSetBuilder.h"
#include "device/import/JsonSettingsWriter.h"
#include "device/validation/Validator.h"
#include "device_test_support.h"
#include "exception_text.h"

namespace
{
using namespace DeviceTest;
using nlohmann::json;
using Texts = std::vector<std::string>;

const Version v0201("V02.01");

json minimalSettings()
{
    return json::parse(FileReader(dataFile("minimal.para.json")).read());
}

json& settingJson(json& settings, std::size_t index)
{
    return settings["DeviceParameterSets"][0]["Parameters"][index];
}

class Settings : public ::testing::Test
{
protected:
    Device description() const { return mImporter.importDevice(FileReader(dataFile("minimal.desc.json"))); }

    DeviceSettings importFor(const json& settings) const
    {
        return mImporter.importDeviceSettingsForDevice(description(),
                                                       StringReader("s.para.json", settings.dump()));
    }

    Texts findingsFor(const json& settings) const
    {
        try
        {
            importFor(settings);
        }
        catch (const ValidationException& e)
        {
            EXPECT_STREQ(e.what(), "Import error: Validation failed: s.para.json");
            return e.getErrors();
        }
        return {};
    }

    Importer mImporter = importerWith(realSchemaImporter());
    Importer mPermissive = importerWith(permissiveImporter());
};

TEST_F(Settings, ImportOfASoundFile)
{
    const DeviceSettings settings = mImporter.importDeviceSettings(FileReader(dataFile("minimal.para.json")));
    EXPECT_EQ(settings.getIdentity(), Identity::N5Q2_Orvik);
    EXPECT_TRUE(settings.isValid());
    const auto& set = settings.getDeviceParameterSettings().at(v0201);
    EXPECT_EQ(set.at("Flow").getValue(), Value(2.5, DataType::DFLOAT32));
    EXPECT_EQ(set.at("Unit").getValue(), Value(static_cast<unsigned char>(7)));
    EXPECT_EQ(set.at("Serial").getValue(), Value("A-123"));
    EXPECT_EQ(set.at("Serial").getType(), DataType::ARRSTRING);
    EXPECT_TRUE(importFor(minimalSettings()).getSubdeviceParameterSettings().isEmpty());
}

TEST_F(Settings, ByteValueBeyondEightBits)
{
    // The schema rejects it; without the schema it is cut to eight bits and
    // then passes the limits 0 and 255.
    const std::string path = dataFile("out-of-range.para.json");
    EXPECT_THROW(mImporter.importDeviceSettings(FileReader(path)), ValidationException);
    const DeviceSettings settings =
        mPermissive.importDeviceSettingsForDevice(description(), FileReader(path));
    EXPECT_EQ(settings.getDeviceParameterSettings().at(v0201).at("Unit").getValue().toU8(), 44);
}

TEST_F(Settings, NullFloatIsNaNAndOutsideEveryRange)
{
    const DeviceSettings settings =
        mImporter.importDeviceSettings(FileReader(dataFile("null-float.para.json")));
    EXPECT_TRUE(std::isnan(settings.getDeviceParameterSettings().at(v0201).at("Flow").getValue().toDouble()));
    json nullFlow = minimalSettings();
    settingJson(nullFlow, 0)["Value"] = nullptr;
    EXPECT_EQ(findingsFor(nullFlow),
              Texts{"Version V02.01 Parameter Flow: Value must be between MinValue and "
                    "MaxValue: MinValue=-10, Value=nan, MaxValue=10"});
}

TEST_F(Settings, FindingsAgainstTheDescription)
{
    json settings = minimalSettings();
    settings["Identity"] = "K7R3-Kestrel";
    settingJson(settings, 2)["Value"] = "123456789";
    settingJson(settings, 1)["Type"] = "DBYTEU16";
    settingJson(settings, 1)["Value"] = 7;
    settings["DeviceParameterSets"][0]["Parameters"].push_back(
        {{"Name", "Bogus"}, {"Type", "DBYTEU8"}, {"Value", 1}});
    settings["DeviceParameterSets"].push_back({{"Version", "V03.01"}, {"Parameters", json::array()}});
    settings["SubdeviceParameterSets"] = {
        {{"Version", "V02.01"},
         {"Parameters", {{{"Name", "Flow"}, {"Type", "ARRFLOAT32"}, {"Value", {1, 2}}}}}}};
    EXPECT_EQ(
        findingsFor(settings),
        (Texts{
            "Identity does not match: DeviceSettings=K7R3-Kestrel, Device=N5Q2-Orvik",
            "Version V02.01 Parameter Bogus: No parameter of this name in the device description",
            "Version V02.01 Parameter Serial: String too long: string length=9, Length=8",
            "Version V02.01 Parameter Unit: Value must be between MinValue and MaxValue: MinValue=0, "
            "Value=7, "
            "MaxValue=255",
            "Version V02.01 Parameter Unit: Type does not match: DeviceSettings=DBYTEU16, Device=DBYTEU8",
            "Version V03.01: No parameter set of this version in the device description",
            "Version V02.01: No parameter set of this version in the device description",
        }));
}

TEST_F(Settings, RulesOfOnePairing)
{
    const auto parameters = ParameterSetBuilder()
                                .version(v0201)
                                .parameter("Name")
                                .type(DataType::ARRSTRING)
                                .length(16)
                                .defaultValue(Value("0"))
                                .parameter("Curve")
                                .type(DataType::ARRFLOAT32)
                                .minDefaultMaxValue(Value(std::vector<double>{0, 0}, DataType::ARRFLOAT32),
                                                    Value(std::vector<double>{1, 1}, DataType::ARRFLOAT32),
                                                    Value(std::vector<double>{9, 9}, DataType::ARRFLOAT32))
                                .build();
    const Validator validator;
    ValidationResult result;
    validator.validate(ParameterSetting("Name", Value(std::string(17, 'x'))), parameters.at("Name"), v0201,
                       result);
    validator.validate(ParameterSetting("Name", Value(std::string(16, 'x'))), parameters.at("Name"), v0201,
                       result);
    validator.validate(ParameterSetting("Curve", Value(std::vector<double>{1, 2, 3}, DataType::ARRFLOAT32)),
                       parameters.at("Curve"), v0201, result);
    // Different names: the rules do not apply to this pairing.
    validator.validate(ParameterSetting("Other", Value(1u)), parameters.at("Curve"), v0201, result);
    EXPECT_EQ(
        result.getErrors(),
        (Texts{
            "Version V02.01 Parameter Name: String too long: string length=17, Length=16",
            "Version V02.01 Parameter Curve: Value must be between MinValue and MaxValue: MinValue=0;0, "
            "Value=1;2;3, MaxValue=9;9",
            "Version V02.01 Parameter Curve: Value length does not match Length: Array size=3, Length=2",
        }));
}

TEST_F(Settings, FileWithoutSets)
{
    EXPECT_EQ(messageOf<ValidationException>(
                  [&] {
                      mImporter.importDeviceSettings(
                          StringReader("e.para.json", R"({"Identity": "N5Q2-Orvik"})"));
                  }),
              "Import error: Validation failed: e.para.json");
    EXPECT_EQ(Validator().validate(DeviceSettings()).getErrors(),
              Texts{"Either DeviceParameterSets or SubdeviceParameterSets must be present"});
}

TEST_F(Settings, BrokenFiles)
{
    try
    {
        mImporter.importDeviceSettings(FileReader(dataFile("duplicate-setting.para.json")));
        FAIL() << "no exception";
    }
    catch (const ValidationException& e)
    {
        EXPECT_EQ(e.getErrors(), Texts{"Parameter is not unique: Flow"});
    }

    // "UNKNOWN" names a type without a value.
    try
    {
        mImporter.importDeviceSettings(FileReader(dataFile("unknown-type.para.json")));
        FAIL() << "no exception";
    }
    catch (const std::exception& e)
    {
        EXPECT_EQ(typeid(e), typeid(std::exception));
    }

    // A name that is no type at all leaves an invalid value behind (the
    // shipped schema already refuses it).
    json noType = minimalSettings();
    settingJson(noType, 1)["Type"] = "BYTE";
    EXPECT_THROW(mImporter.importDeviceSettings(StringReader("n.para.json", noType.dump())),
                 ValidationException);
    const DeviceSettings settings =
        mPermissive.importDeviceSettings(StringReader("n.para.json", noType.dump()));
    const ParameterSetting& unit = settings.getDeviceParameterSettings().at(v0201).at("Unit");
    EXPECT_EQ(unit.getType(), DataType::UNKNOWN);
    EXPECT_FALSE(unit.isValid());

    json wrongJson = minimalSettings();
    settingJson(wrongJson, 2)["Value"] = 5;
    EXPECT_EQ(messageOf<FormatMismatchException>(
                  [&] { mPermissive.importDeviceSettings(StringReader("w.para.json", wrongJson.dump())); }),
              "Import error: Format mismatch: w.para.json, detailed error: [json.exception.type_error.302] "
              "type must "
              "be string, but is number");
}

// Written and read back through the real schema, every value comes back
// bit for bit; what the file cannot hold exactly is refused by name.
TEST_F(Settings, WrittenSettingsReadBackExactly)
{
    const std::vector<ParameterSetting> values{
        {"u8", Value(static_cast<unsigned char>(255))},
        {"u64", Value(static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))},
        {"i64", Value(std::numeric_limits<long long>::min())},
        {"f32", Value(static_cast<double>(std::nextafter(0.1f, 1.0f)), DataType::DFLOAT32)},
        {"f32nan", Value(std::nan(""), DataType::DFLOAT32)},
        {"f64", Value(1.0 / 3.0, DataType::DFLOAT64)},
        {"text", Value(std::string("Orvik \"82.5\" \xC3\xA4"))},
        {"bytes", Value(std::vector<std::uint8_t>{0, 7, 255})},
        {"floats", Value(std::vector<double>{-0.0, 3.4e38}, DataType::ARRFLOAT32)},
    };
    ParameterSet<ParameterSetting> set(v0201, "backup");
    for (const auto& value : values)
        set.insert(value);
    ParameterSetContainer<ParameterSetting> sets;
    sets.insert(set);
    const DeviceSettings written(Identity::N5Q2_Orvik, sets, {});

    const std::string text = writeDeviceSettings(
        written, json{{"Backup", {{"Address", {19, 0, 4, 0, 2}}, {"Version", "V02.01"}}}});
    const DeviceSettings read = mImporter.importDeviceSettings(StringReader("b.para.json", text));
    EXPECT_EQ(read.getIdentity(), Identity::N5Q2_Orvik);
    EXPECT_TRUE(read.getSubdeviceParameterSettings().isEmpty());
    const auto& readSet = read.getDeviceParameterSettings().at(v0201);
    EXPECT_EQ(readSet.getDescription(), "backup");
    ASSERT_EQ(readSet.getParameters().size(), values.size());
    for (const auto& value : values)
    {
        const ParameterSetting& back = readSet.at(value.getName());
        EXPECT_EQ(back.getType(), value.getType()) << value.getName();
        EXPECT_EQ(back.getValue().toBytes(16), value.getValue().toBytes(16)) << value.getName();
    }

    const auto refused = [&](ParameterSetting setting)
    {
        ParameterSet<ParameterSetting> one(v0201);
        one.insert(std::move(setting));
        ParameterSetContainer<ParameterSetting> container;
        container.insert(one);
        try
        {
            writeDeviceSettings(DeviceSettings(Identity::N5Q2_Orvik, container, {}));
        }
        catch (const std::invalid_argument& e)
        {
            return std::string(e.what());
        }
        return std::string("written");
    };
    EXPECT_EQ(refused({"name", Value(std::string("\xFF\xFE"))}),
              "Setting name cannot be stored exactly: the text is not UTF-8");
    EXPECT_EQ(refused({"inf", Value(HUGE_VAL, DataType::DFLOAT64)}),
              "Setting inf cannot be stored exactly: the value is not a finite number");
    EXPECT_EQ(refused({"arr", Value(std::vector<double>{1, std::nan("")}, DataType::ARRFLOAT32)}),
              "Setting arr cannot be stored exactly: the value is not a finite number");
}

} // namespace
