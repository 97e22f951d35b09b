#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <typeinfo>
#include <unistd.h>

#include "device/Exceptions.h"
#include "device_test_support.h"
#include "exception_text.h"

namespace
{
using namespace DeviceTest;
using Texts = std::vector<std::string>;

// Broken description files against the shipped schemas, through the full
// import as the application runs it. Each must end in its own exception and
// text, never in a crash or a half-built device.
class Corpus : public ::testing::Test
{
protected:
    struct Outcome
    {
        std::string type;
        std::string what;
        Texts errors;
    };

    Outcome importFile(const std::string& name) const { return importFrom(FileReader(dataFile(name))); }

    Outcome importFrom(const Reader& reader) const
    {
        try
        {
            mImporter.importDevice(reader);
            return {"none", "", {}};
        }
        catch (const ValidationException& e)
        {
            return {"ValidationException", e.what(), e.getErrors()};
        }
        catch (const FormatMismatchException& e)
        {
            return {"FormatMismatchException", e.what(), {}};
        }
        catch (const ImportException& e)
        {
            return {"ImportException", e.what(), {}};
        }
        catch (const std::invalid_argument& e)
        {
            return {"invalid_argument", e.what(), {}};
        }
        catch (const std::exception& e)
        {
            return {typeid(e).name(), e.what(), {}};
        }
    }

    static std::string mismatch(const std::string& name, const std::string& detail)
    {
        return "Import error: Format mismatch: " + dataFile(name) + ", detailed error: " + detail;
    }

    static std::string validationFailed(const std::string& name)
    {
        return "Import error: Validation failed: " + dataFile(name);
    }

    Importer mImporter = importerWith(realSchemaImporter());
};

TEST_F(Corpus, TheSoundFileImports)
{
    EXPECT_EQ(importFile("minimal.desc.json").type, "none");
}

TEST_F(Corpus, SyntaxAndJsonTypes)
{
    const Outcome truncated = importFile("truncated.desc.json");
    EXPECT_EQ(truncated.type, "FormatMismatchException");
    EXPECT_EQ(truncated.what.rfind(
                  mismatch("truncated.desc.json", "[json.exception.parse_error.101] parse error"), 0),
              0u)
        << truncated.what;

    const Outcome identity = importFile("identity-number.desc.json");
    EXPECT_EQ(identity.type, "ValidationException");
    EXPECT_EQ(identity.errors, (Texts{"/Identity: Failed to match against any enum values.",
                                      "/Identity: Value type not permitted by 'type' constraint."}));

    const Outcome flag = importFile("wrong-json-type.desc.json");
    EXPECT_EQ(flag.what, validationFailed("wrong-json-type.desc.json"));
    EXPECT_EQ(flag.errors,
              Texts{"/Traits/Interface/HalfDuplex: Value type not permitted by 'type' constraint."});

    const Outcome test = importFile("missing-test-trait.desc.json");
    EXPECT_EQ(test.type, "ValidationException");
    EXPECT_EQ(test.errors, Texts{"/Traits: Missing required property 'Test'."});
}

TEST_F(Corpus, UnknownNames)
{
    const Outcome tag = importFile("unknown-tag.desc.json");
    EXPECT_EQ(tag.type, "ValidationException");
    EXPECT_EQ(tag.errors,
              Texts{"/DeviceParameterSets/0/Parameters/1/Tags/1: Failed to match against any enum values."});

    const Outcome type = importFile("unknown-type.desc.json");
    EXPECT_EQ(type.type, "ValidationException");
    ASSERT_FALSE(type.errors.empty());
    EXPECT_EQ(type.errors.front(),
              "/DeviceParameterSets/0/Parameters/1/Type: Failed to match against any enum values.");
}

TEST_F(Corpus, FourElementInterfaceAddress)
{
    const Outcome outcome = importFile("four-element-address.desc.json");
    EXPECT_EQ(outcome.type, "FormatMismatchException");
    EXPECT_EQ(outcome.what, mismatch("four-element-address.desc.json",
                                     "[json.exception.out_of_range.401] array index 4 is out of range"));
}

TEST_F(Corpus, RepeatedIdentifiers)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"duplicate-parameter.desc.json", "Parameter is not unique: Unit"},
        {"duplicate-version.desc.json", "Version is not unique: V02.01"},
        {"duplicate-output.desc.json", "Outputs is not unique: OUT1"},
        {"duplicate-slot.desc.json", "Calibration is not unique: 3"},
    };
    for (const auto& [file, text] : cases)
    {
        const Outcome outcome = importFile(file);
        EXPECT_EQ(outcome.what, validationFailed(file));
        EXPECT_EQ(outcome.errors, Texts{text}) << file;
    }
}

TEST_F(Corpus, SemanticRules)
{
    const Outcome outcome = importFile("overlapping-addresses.desc.json");
    EXPECT_EQ(outcome.what, validationFailed("overlapping-addresses.desc.json"));
    EXPECT_EQ(outcome.errors,
              Texts{"Version V02.01 Parameter Unit: Addresses overlap: Start address=13, End "
                    "address=13, Overlapping parameter=Flow, Start address=10, End address=13"});
}

TEST_F(Corpus, BadVersionText)
{
    const Outcome outcome = importFile("bad-version.desc.json");
    EXPECT_EQ(outcome.type, "invalid_argument");
    EXPECT_EQ(outcome.what, "Version 'V2.01' must match V[0-9][1-9].[0-9]{2}");
}

TEST_F(Corpus, EmptyFile)
{
    const std::string path = dataFile("empty.desc.json");
    const Outcome outcome = importFile("empty.desc.json");
    EXPECT_EQ(outcome.type, "ImportException");
    EXPECT_EQ(outcome.what, "Import error: " + path + ": Could not read " + path);
}

TEST_F(Corpus, FileGoneAfterItWasChecked)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("orvik-gone-" + std::to_string(::getpid()) + ".desc.json");
    std::ofstream(path) << minimalDescription().dump();
    const FileReader reader(path);
    std::filesystem::remove(path);
    EXPECT_EQ(messageOf<ImportException>([&] { mImporter.importDevice(reader); }),
              "Import error: " + path.string() + ": Could not open " + path.string());
}

TEST_F(Corpus, DeeplyNestedJson)
{
    // Deep nesting must not exhaust the stack anywhere on the way.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    nlohmann::json description = minimalDescription();
    description.erase("Identity");
    const std::string nested = R"({"Identity": )" + deep + "," + description.dump().substr(1);
    const Outcome outcome = importFrom(StringReader("deep.desc.json", nested));
    EXPECT_EQ(outcome.type, "ValidationException");
    ASSERT_FALSE(outcome.errors.empty());
    EXPECT_EQ(outcome.errors.front().rfind("/Identity: ", 0), 0u);
}

} // namespace
