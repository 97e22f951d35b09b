#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "device/Exceptions.h"
#include "device/import/JsonValidator.h"
#include "device_test_support.h"
#include "exception_text.h"

namespace
{
using namespace DeviceTest;
using nlohmann::json;
using Texts = std::vector<std::string>;

TEST(FileReader, ChecksThePathAtOnce)
{
    EXPECT_EQ(messageOf<std::invalid_argument>([] { FileReader{"Resources/Missing.schema.json"}; }),
              "Resources/Missing.schema.json does not exist");
    EXPECT_EQ(messageOf<std::invalid_argument>([] { FileReader{dataDir}; }), dataDir + " must be a file");

    const FileReader reader(dataFile("minimal.para.json"));
    EXPECT_EQ(reader.getSourceName(), dataFile("minimal.para.json"));
    EXPECT_EQ(json::parse(reader.read())["Identity"], "N5Q2-Orvik");
}

TEST(FileReader, UnreadableContent)
{
    // Opens, but every read fails.
    const FileReader memory("/proc/self/mem");
    EXPECT_EQ(messageOf<IoException>([&] { memory.read(); }), "Could not read /proc/self/mem");

    const FileReader empty(dataFile("empty.desc.json"));
    EXPECT_EQ(messageOf<IoException>([&] { empty.read(); }), "Could not read " + dataFile("empty.desc.json"));
}

TEST(FileReader, FileWithoutReadPermission)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("orvik-locked-" + std::to_string(::getpid()) + ".json");
    std::ofstream(path) << "{}";
    std::filesystem::permissions(path, std::filesystem::perms::none);
    EXPECT_EQ(messageOf<IoException>([&] { FileReader{path}; }), "Could not open " + path.string());
    std::filesystem::remove(path);
}

TEST(JsonValidator, SchemaWithASyntaxError)
{
    const std::string path = dataFile("syntax-error.schema.json");
    const std::string text = messageOf<FormatMismatchException>([&] { JsonValidator{FileReader(path)}; });
    EXPECT_EQ(text.rfind("Import error: Format mismatch: " + path +
                             ", detailed error: [json.exception.parse_error.101] parse error at line 5",
                         0),
              0u)
        << text;
}

TEST(JsonValidator, MissingSchemaFileStopsTheImporterSetUp)
{
    EXPECT_THROW(JsonFormatImporter(FileReader(descriptionSchema), FileReader("Resources/None.schema.json")),
                 std::invalid_argument);
}

TEST(JsonValidator, ReportsEveryViolationWithItsPointer)
{
    const JsonValidator validator(FileReader{descriptionSchema});
    json description = minimalDescription();
    parameterJson(description, 0)["Type"] = "FLOAT";
    parameterJson(description, 1)["MinValue"] = 256;
    parameterJson(description, 2)["Address"] = -1;
    description["Traits"]["Interface"].erase("Name");
    description["Traits"]["Extra"] = true;
    EXPECT_EQ(
        validator.validate(description),
        (Texts{
            "/DeviceParameterSets/0/Parameters/0/Type: Failed to match against any enum values.",
            "/DeviceParameterSets/0/Parameters/1/MinValue: Expected number less than or equal to 255.000000",
            "/DeviceParameterSets/0/Parameters/2/Address: Expected number greater than or equal to 0.000000",
            "/Traits/Interface: Missing required property 'Name'.",
            "/Traits: Object contains a property that could not be validated using 'properties' or "
            "'additionalProperties' constraints: 'Extra'.",
        }));
    EXPECT_TRUE(validator.validate(minimalDescription()).empty());
}

TEST(JsonValidator, PointerTokensAreEscaped)
{
    const JsonValidator validator(StringReader(
        "s.schema.json", R"({"properties": {"a/b": {"type": "string"}, "c~d": {"type": "string"}}})"));
    EXPECT_EQ(validator.validate(json{{"a/b", 1}, {"c~d", 2}}),
              (Texts{"/a~1b: Value type not permitted by 'type' constraint.",
                     "/c~0d: Value type not permitted by 'type' constraint."}));
    EXPECT_EQ(validator.validate(json::array()).size(), 0u);
    const JsonValidator root(StringReader("r.schema.json", R"({"type": "object"})"));
    EXPECT_EQ(root.validate(json::array()), Texts{": Value type not permitted by 'type' constraint."});
}

// Two files that refer to each other and both define "Text" differently: each
// reference must reach the definition of its own file.
TEST(JsonValidator, SchemaSplitIntoFilesThatReferToEachOther)
{
    const JsonValidator validator(FileReader(dataFile("split/Root.schema.json")));
    const json valid = {{"Name", "short"},
                        {"Items", {{{"Code", "AB"}, {"Parent", "p"}, {"Children", {{{"Code", "CD"}}}}}}}};
    EXPECT_TRUE(validator.validate(valid).empty());

    const json invalid = {{"Name", "far too long"},
                          {"Items",
                           {{{"Code", "ab"}, {"Parent", "much too long"}},
                            {{"Code", "OK"}, {"Children", {{{"Code", "x1"}}}}}}}};
    EXPECT_EQ(validator.validate(invalid),
              (Texts{
                  "/Items/0/Code: Failed to match regex specified by 'pattern' constraint.",
                  "/Items/0/Parent: String should be no more than 8 characters in length.",
                  "/Items/1/Children/0/Code: Failed to match regex specified by 'pattern' constraint.",
                  "/Name: String should be no more than 8 characters in length.",
              }));
}

TEST(JsonValidator, ReferencesToMissingOrBrokenFiles)
{
    const auto dir = std::filesystem::temp_directory_path() / ("orvik-schemas-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Root.schema.json") << R"({"properties": {"a": {"$ref": "Other.schema.json#/x"}}})";

    EXPECT_EQ(messageOf<std::invalid_argument>([&] { JsonValidator{FileReader(dir / "Root.schema.json")}; }),
              (dir / "Other.schema.json").string() + " does not exist");

    std::ofstream(dir / "Other.schema.json") << R"({"x": {"type": )";
    const std::string broken =
        messageOf<FormatMismatchException>([&] { JsonValidator{FileReader(dir / "Root.schema.json")}; });
    EXPECT_EQ(broken.rfind("Import error: Format mismatch: " + (dir / "Other.schema.json").string(), 0), 0u)
        << broken;

    std::ofstream(dir / "Other.schema.json") << R"({"y": {}})";
    EXPECT_THROW(JsonValidator{FileReader(dir / "Root.schema.json")}, std::invalid_argument);

    std::filesystem::remove_all(dir);
}

} // namespace
