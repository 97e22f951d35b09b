#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "device/Exceptions.h"
#include "device_test_support.h"
#include "exception_text.h"

namespace
{
using namespace DeviceTest;
using nlohmann::json;

// Probes the mapping onto the model; the schema accepts anything here.
class Mapping : public ::testing::Test
{
protected:
    Device import(const json& document) const
    {
        return mImporter->importDevice(StringReader("probe.desc.json", document.dump()));
    }

    std::string formatMismatch(const json& document) const
    {
        return messageOf<FormatMismatchException>([&] { import(document); });
    }

    const Parameter& parameter(const Device& device, const std::string& name) const
    {
        return device.getDeviceParameterSets().at(Version("V02.01")).at(name);
    }

    static std::string detail(const std::string& libraryText)
    {
        return "Import error: Format mismatch: probe.desc.json, detailed error: " + libraryText;
    }

    std::shared_ptr<JsonFormatImporter> mImporter = permissiveImporter();
    json mDescription = minimalDescription();
};

TEST_F(Mapping, MinimalDescription)
{
    const Device device = import(mDescription);
    EXPECT_EQ(device.getIdentity(), Identity::N5Q2_Orvik);
    EXPECT_TRUE(device.getSubdeviceParameterSets().isEmpty());

    const Parameter& flow = parameter(device, "Flow");
    EXPECT_EQ(flow.getType(), DataType::DFLOAT32);
    EXPECT_EQ(flow.getLength(), 1);
    EXPECT_EQ(flow.getAddress(), 10);
    EXPECT_EQ(flow.getMinValue(), Value(-10.0, DataType::DFLOAT32));
    EXPECT_EQ(flow.getDefaultValue(), Value(1.0, DataType::DFLOAT32));
    EXPECT_EQ(flow.getTags(), (std::vector<Tag>{Tag::FLOW, Tag::KFAKTOR}));
    EXPECT_FALSE(flow.getCurrentValue().isValid());

    const Parameter& serial = parameter(device, "Serial");
    EXPECT_EQ(serial.getType(), DataType::ARRSTRING);
    EXPECT_EQ(serial.getLength(), 8);
    EXPECT_EQ(serial.getDefaultValue(), Value("0"));
    EXPECT_FALSE(serial.getMaxValue().has_value());

    const Traits& traits = device.getTraits();
    EXPECT_EQ(traits.getInterface().getAddress(), InterfaceTraits::Address({19, 0, 4, 0, 2}));
    EXPECT_EQ(traits.getInterface().getType(), InterfaceTraits::Type::UART);
    EXPECT_TRUE(traits.getInterface().isHalfDuplex());
    EXPECT_EQ(traits.getInterface().getStartUp_ms(), 215);
    EXPECT_TRUE(traits.getOutputs().at(OutputTraits::Name::OUT1).hasVeltrix());
    EXPECT_FALSE(traits.getOutputs().at(OutputTraits::Name::OUT1).hasPulse());
    EXPECT_EQ(traits.getTest().getCalibrationQueueAddress(), 1);
}

TEST_F(Mapping, MissingKeyAndWrongJsonType)
{
    json noTest = mDescription;
    noTest["Traits"].erase("Test");
    EXPECT_EQ(formatMismatch(noTest), detail("[json.exception.out_of_range.403] key 'Test' not found"));

    json numberIdentity = mDescription;
    numberIdentity["Identity"] = 5;
    EXPECT_EQ(formatMismatch(numberIdentity),
              detail("[json.exception.type_error.302] type must be string, but is number"));

    json stringTags = mDescription;
    parameterJson(stringTags, 0)["Tags"] = "FLOW";
    EXPECT_EQ(formatMismatch(stringTags),
              detail("[json.exception.type_error.302] type must be array, but is string"));

    json numberFlag = mDescription;
    numberFlag["Traits"]["Outputs"][0]["Pulse"] = 1;
    EXPECT_EQ(formatMismatch(numberFlag),
              detail("[json.exception.type_error.302] type must be boolean, but is number"));

    EXPECT_EQ(formatMismatch(json::array()),
              detail("[json.exception.type_error.304] cannot use at() with array"));
}

TEST_F(Mapping, InterfaceAddressNeedsFiveBytes)
{
    json four = mDescription;
    four["Traits"]["Interface"]["Address"] = {19, 0, 4, 0};
    EXPECT_EQ(formatMismatch(four),
              detail("[json.exception.out_of_range.401] array index 4 is out of range"));

    json six = mDescription;
    six["Traits"]["Interface"]["Address"] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(import(six).getTraits().getInterface().getAddress(), InterfaceTraits::Address({1, 2, 3, 4, 5}));
}

TEST_F(Mapping, LengthWithoutLimitsMakesAString)
{
    json& unit = parameterJson(mDescription, 1);
    unit.erase("MinValue");
    unit["Length"] = 4;
    unit["DefaultValue"] = "ab";
    const Device device = import(mDescription);
    const Parameter& parameter = this->parameter(device, "Unit");
    EXPECT_EQ(parameter.getType(), DataType::ARRSTRING);
    EXPECT_EQ(parameter.getLength(), 4);
    EXPECT_EQ(parameter.getDefaultValue(), Value("ab"));
    EXPECT_FALSE(parameter.getMaxValue().has_value());
}

TEST_F(Mapping, UnknownAndUnreadableParts)
{
    parameterJson(mDescription, 1)["Tags"] = {"SLOT_UNIT", "NO_SUCH_TAG", "FLOW"};
    json unknownType = {{"Name", "Odd"}, {"Description", "d"},
                        {"Address", 60}, {"Type", "DBYTE8"},
                        {"MinValue", 0}, {"DefaultValue", 1},
                        {"MaxValue", 2}, {"Tags", {"FLOW"}},
                        {"RefMin", 1},   {"IoLink", "not even an object"}};
    mDescription["DeviceParameterSets"][0]["Parameters"].push_back(unknownType);
    json unknownName = {{"Name", "Void"}, {"Description", ""}, {"Address", 70}, {"Type", "UNKNOWN"},
                        {"MinValue", 0},  {"MaxValue", 2},     {"RefMin", 5},   {"Tags", {"PRESSURE"}}};
    mDescription["DeviceParameterSets"][0]["Parameters"].push_back(unknownName);
    json stringWithoutLength = {{"Name", "Text"},      {"Description", ""}, {"Address", 80},
                                {"Type", "ARRSTRING"}, {"MinValue", "a"},   {"MaxValue", "z"}};
    mDescription["DeviceParameterSets"][0]["Parameters"].push_back(stringWithoutLength);

    const Device device = import(mDescription);
    EXPECT_EQ(parameter(device, "Unit").getTags(), (std::vector<Tag>{Tag::SLOT_UNIT, Tag::FLOW}));

    // Nothing after an unknown type name is read, not even a broken IoLink.
    const Parameter& odd = parameter(device, "Odd");
    EXPECT_EQ(odd.getType(), DataType::UNKNOWN);
    EXPECT_EQ(odd.getAddress(), 60);
    EXPECT_EQ(odd.getDescription(), "d");
    EXPECT_TRUE(odd.getTags().empty());
    EXPECT_FALSE(odd.getRefMin().has_value());

    const Parameter& empty = parameter(device, "Void");
    EXPECT_EQ(empty.getType(), DataType::UNKNOWN);
    EXPECT_FALSE(empty.getMinValue().has_value());
    EXPECT_EQ(empty.getRefMin(), std::optional<std::uint16_t>(5));
    EXPECT_EQ(empty.getTags(), std::vector<Tag>{Tag::PRESSURE});

    const Parameter& text = parameter(device, "Text");
    EXPECT_EQ(text.getLength(), 0);
    EXPECT_FALSE(text.getDefaultValue().isValid());
}

TEST_F(Mapping, ValuesOfEveryType)
{
    auto& parameters = mDescription["DeviceParameterSets"][0]["Parameters"];
    const auto add =
        [&](const char* name, const char* type, std::uint16_t address, json min, json def, json max)
    {
        parameters.push_back({{"Name", name},
                              {"Description", ""},
                              {"Address", address},
                              {"Type", type},
                              {"MinValue", min},
                              {"DefaultValue", def},
                              {"MaxValue", max},
                              {"Length", 99}});
    };
    add("U16", "DBYTEU16", 100, 0, 65535, 65535);
    add("U64", "DBYTEU64", 110, 0, 18446744073709551615ull, 18446744073709551615ull);
    add("I64", "DBYTEI64", 120, -9223372036854775807ll - 1, -1, 5);
    add("F64", "DFLOAT64", 130, -1.5, 0.25, 1e300);
    add("Bytes", "ARRBYTE", 140, {0, 0, 0}, {1, 6, 0}, {9, 9, 9});
    add("Floats", "ARRFLOAT32", 150, {0.0, 0.0}, {0.5, 1.5}, {2.0, 2.0});
    add("Truncated", "DBYTEU8", 160, 0.9, 300, 255.7);

    const Device device = import(mDescription);
    EXPECT_EQ(parameter(device, "U16").getDefaultValue(), Value(static_cast<unsigned short>(65535)));
    EXPECT_EQ(parameter(device, "U64").getMaxValue()->toU64(), 18446744073709551615ull);
    EXPECT_EQ(parameter(device, "I64").getMinValue()->toS64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parameter(device, "F64").getMaxValue(), Value(1e300, DataType::DFLOAT64));
    // A "Length" beside limits is ignored: the default value gives the length.
    EXPECT_EQ(parameter(device, "Bytes").getLength(), 3);
    EXPECT_EQ(parameter(device, "Bytes").getDefaultValue().toString(), "1;6;0");
    EXPECT_EQ(parameter(device, "Floats").getLength(), 2);
    EXPECT_EQ(parameter(device, "Floats").getDefaultValue().getType(), DataType::ARRFLOAT32);
    EXPECT_EQ(parameter(device, "Truncated").getMinValue(), Value(static_cast<unsigned char>(0)));
    EXPECT_EQ(parameter(device, "Truncated").getDefaultValue(), Value(static_cast<unsigned char>(44)));
    EXPECT_EQ(parameter(device, "Truncated").getMaxValue(), Value(static_cast<unsigned char>(255)));
}

TEST_F(Mapping, NumbersNoIntegerCanHoldAreAFormatMismatch)
{
    parameterJson(mDescription, 1)["Address"] = 1e30;
    EXPECT_EQ(formatMismatch(mDescription), detail("number 1e+30 is out of range"));
}

TEST_F(Mapping, IoLinkAndTraitsLists)
{
    parameterJson(mDescription, 0)["IoLink"] = {{"Address", 77},
                                                {"FactoryAccess", "ReadWrite"},
                                                {"UserAccess", "Sometimes"},
                                                {"Menu", {"Main", "Flow"}}};
    json& traits = mDescription["Traits"];
    traits["Outputs"].push_back({{"Name", "OUT3"},
                                 {"Alarm", true},
                                 {"CtrlInput", true},
                                 {"Current", true},
                                 {"Frequency", true},
                                 {"IoLink", true},
                                 {"Veltrix", true},
                                 {"Pulse", true},
                                 {"Voltage", true}});
    traits["IoLink"]["Events"] = {
        {{"Name", "E1"}, {"Description", ""}, {"Address", 1}, {"DeviceStatus", 2}, {"Type", "Warning"}},
        {{"Name", "E2"}, {"Description", ""}, {"Address", 2}, {"DeviceStatus", 3}, {"Type", "Panic"}}};
    traits["IoLink"]["SystemDataObjects"] = {{{"Name", "S"},
                                              {"Description", "s"},
                                              {"Address", 3},
                                              {"Type", "DFLOAT32"},
                                              {"FactoryAccess", "Write"},
                                              {"UserAccess", "Read"}}};
    traits["Calibrations"] = {
        {{"Slot", 4}, {"DeviationPercent", 0.5}, {"SampleCount", 10}, {"AverageAlgorithm", "Gauss"}},
        {{"Slot", 1}, {"DeviationPercent", 2.5}, {"SampleCount", 20}, {"AverageAlgorithm", "Median"}}};

    const Device device = import(mDescription);
    const IoLink& ioLink = *parameter(device, "Flow").getIoLink();
    EXPECT_EQ(ioLink.getAddress(), 77);
    EXPECT_EQ(ioLink.getFactoryAccess(), AccessRight::ReadWrite);
    EXPECT_EQ(ioLink.getUserAccess(), AccessRight::Read);
    EXPECT_EQ(ioLink.getMenu(), (std::vector<std::string>{"Main", "Flow"}));

    const Traits& read = device.getTraits();
    EXPECT_EQ(read.getOutputs().getOutputs().size(), 1u);
    const auto& events = read.getIoLink().getEvents().getItems();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].getType(), EventTraits::Type::Warning);
    EXPECT_EQ(events[1].getType(), EventTraits::Type::Message);
    EXPECT_EQ(read.getIoLink().getSystemDataObjects().find("S")->getType(), DataType::DFLOAT32);
    const auto& calibrations = read.getCalibrations().getCalibrations();
    ASSERT_EQ(calibrations.size(), 2u);
    EXPECT_EQ(calibrations[0].getSlot(), 1u);
    EXPECT_EQ(calibrations[0].getAverageAlgorithm(), CalibrationTraits::AverageAlgorithm::Standard);
    EXPECT_EQ(calibrations[1].getAverageAlgorithm(), CalibrationTraits::AverageAlgorithm::Gauss);
    EXPECT_FLOAT_EQ(calibrations[1].getDeviationPercent(), 0.5f);
}

TEST_F(Mapping, RepeatedIdentifiersPassThroughTheFormatImporter)
{
    json twice = mDescription;
    twice["Traits"]["IoLink"]["Commands"] = {{{"Name", "C"}, {"Description", ""}, {"Address", 1}},
                                             {{"Name", "C"}, {"Description", ""}, {"Address", 2}}};
    EXPECT_THROW(import(twice), IdentifierNotUniqueException);

    json identity = mDescription;
    identity["Identity"] = "N5Q2-orvik";
    EXPECT_THROW(import(identity), std::bad_optional_access);
}

// --- format selection, wrapping, semantic rules ------------------------------

class ThrowingReader : public Reader
{
public:
    explicit ThrowingReader(std::string name)
        : mName(std::move(name))
    {
    }
    std::string read() const override { throw IoException("Could not read " + mName); }
    std::string getSourceName() const override { return mName; }

private:
    std::string mName;
};

TEST(Importer, FormatIsChosenByTheName)
{
    const Importer importer = importerWith(permissiveImporter());
    // The reader would throw if it were read.
    EXPECT_EQ(messageOf<UnsupportedFormatException>([&] { importer.importDevice(ThrowingReader("x.json")); }),
              "Unsupported format: x.json");
    EXPECT_THROW(importer.importDevice(ThrowingReader("x.para.json")), UnsupportedFormatException);
    EXPECT_THROW(importer.importDevice(ThrowingReader("x.DESC.JSON")), UnsupportedFormatException);
    EXPECT_THROW(importer.importDeviceSettings(ThrowingReader("x.desc.json")), UnsupportedFormatException);

    const Importer settingsOnly({{Format::PARA_JSON, permissiveImporter()}});
    EXPECT_THROW(settingsOnly.importDevice(ThrowingReader("x.desc.json")), UnsupportedFormatException);
}

TEST(Importer, ReaderFailureNamesTheSource)
{
    const Importer importer = importerWith(permissiveImporter());
    EXPECT_EQ(messageOf<ImportException>([&] { importer.importDevice(ThrowingReader("dir/x.desc.json")); }),
              "Import error: dir/x.desc.json: Could not read dir/x.desc.json");
}

TEST(Importer, FirstRegistrationOfAFormatCounts)
{
    // The second registration would accept a description that the first
    // rejects through its schema.
    const auto strict = std::make_shared<JsonFormatImporter>(
        StringReader("strict.schema.json", R"({"required": ["Nothing"]})"),
        StringReader("s.schema.json", "{}"));
    const Importer importer({{Format::DESC_JSON, strict}, {Format::DESC_JSON, permissiveImporter()}});
    EXPECT_THROW(importer.importDevice(StringReader("m.desc.json", minimalDescription().dump())),
                 ValidationException);
}

TEST(Importer, SemanticFindingsAndRepeatedIdentifiersAreValidationFailures)
{
    const Importer importer = importerWith(permissiveImporter());
    json description = minimalDescription();
    parameterJson(description, 1)["Address"] = 13;
    parameterJson(description, 2)["Length"] = 0;
    try
    {
        importer.importDevice(StringReader("m.desc.json", description.dump()));
        FAIL() << "no exception";
    }
    catch (const ValidationException& e)
    {
        EXPECT_STREQ(e.what(), "Import error: Validation failed: m.desc.json");
        EXPECT_EQ(e.getErrors(),
                  (std::vector<std::string>{
                      "Version V02.01 Parameter Unit: Addresses overlap: Start address=13, End address=13, "
                      "Overlapping parameter=Flow, Start address=10, End address=13",
                      "Version V02.01 Parameter Serial: String too long: string length=1, Length=0",
                  }));
    }

    json twice = minimalDescription();
    twice["DeviceParameterSets"].push_back(twice["DeviceParameterSets"][0]);
    try
    {
        importer.importDevice(StringReader("m.desc.json", twice.dump()));
        FAIL() << "no exception";
    }
    catch (const ValidationException& e)
    {
        EXPECT_EQ(e.getErrors(), std::vector<std::string>{"Version is not unique: V02.01"});
    }

    // Still usable after failures.
    EXPECT_TRUE(importer.importDevice(StringReader("m.desc.json", minimalDescription().dump())).isValid());
}

} // namespace
