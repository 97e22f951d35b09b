// valijson aborts instead of throwing unless told otherwise.
#define VALIJSON_USE_EXCEPTIONS 1

#include "device/import/JsonValidator.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <nlohmann/json.hpp>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include "device/Exceptions.h"
#include "device/import/FileReader.h"

namespace Hvd::Weft::Device
{

struct JsonValidator::Compiled
{
    std::string sourceName;
    valijson::Schema schema;
};

namespace
{

namespace fs = std::filesystem;
using nlohmann::json;

// "json-schema:///a.json" and "/a.json" give "a.json"; a relative path stays.
std::string documentPath(const std::string& uri, bool& absolute)
{
    std::string path = uri;
    absolute = false;
    if (const auto scheme = path.find("://"); scheme != std::string::npos)
    {
        const auto slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? std::string() : path.substr(slash);
        absolute = true;
    }
    if (!path.empty() && path.front() == '/')
    {
        path.erase(0, 1);
        absolute = true;
    }
    return path;
}

std::string normalKey(const fs::path& path)
{
    return path.lexically_normal().generic_string();
}

// Schema files that refer to each other. Every "$ref" is rewritten to name its
// document explicitly (relative to the base directory): valijson caches
// referenced schemas by the pointer alone, so "#/definitions/X" of two files
// would otherwise be taken for the same schema.
class SchemaDocuments
{
public:
    SchemaDocuments(fs::path baseDirectory, std::string rootKey, json root)
        : mBaseDirectory(std::move(baseDirectory))
        , mRootKey(std::move(rootKey))
        , mRoot(std::move(root))
    {
        qualifyReferences(mRoot, mRootKey);
    }

    const json& root() const { return mRoot; }

    // Called by valijson with the document part of a reference; it takes
    // ownership of the result.
    const json* fetch(const std::string& key) const
    {
        if (key == mRootKey)
            return new json(mRoot);
        const fs::path file = mBaseDirectory / key;
        const FileReader reader(file);
        auto document = std::make_unique<json>();
        try
        {
            *document = json::parse(reader.read());
        }
        catch (const json::exception& e)
        {
            throw FormatMismatchException(reader.getSourceName(), e.what());
        }
        qualifyReferences(*document, key);
        return document.release();
    }

private:
    static void qualifyReferences(json& node, const std::string& documentKey)
    {
        if (node.is_array())
        {
            for (json& element : node)
                qualifyReferences(element, documentKey);
            return;
        }
        if (!node.is_object())
            return;
        for (auto it = node.begin(); it != node.end(); ++it)
        {
            // Literal values, not schemas.
            if (it.key() == "enum" || it.key() == "const" || it.key() == "default" || it.key() == "examples")
                continue;
            if (it.key() == "$ref" && it->is_string())
                *it = qualify(it->get<std::string>(), documentKey);
            else
                qualifyReferences(*it, documentKey);
        }
    }

    static std::string qualify(const std::string& reference, const std::string& documentKey)
    {
        const auto hash = reference.find('#');
        const std::string uri = reference.substr(0, hash);
        const std::string fragment = hash == std::string::npos ? std::string() : reference.substr(hash);
        if (uri.empty())
            return documentKey + fragment;
        bool absolute = false;
        const std::string path = documentPath(uri, absolute);
        // Absolute paths count from the base directory, relative ones from the
        // referring file's directory.
        const fs::path target = absolute ? fs::path(path) : fs::path(documentKey).parent_path() / path;
        return normalKey(target) + fragment;
    }

    fs::path mBaseDirectory;
    std::string mRootKey;
    json mRoot;
};

void appendPointerToken(std::string& pointer, const std::string& token)
{
    pointer += '/';
    for (char c : token)
    {
        if (c == '~')
            pointer += "~0";
        else if (c == '/')
            pointer += "~1";
        else
            pointer += c;
    }
}

// valijson's context is {"<root>", "[key]", "[0]", …}.
std::string toPointer(const std::vector<std::string>& context)
{
    std::string pointer;
    for (std::size_t i = 1; i < context.size(); ++i)
    {
        const std::string& element = context[i];
        const bool bracketed = element.size() >= 2 && element.front() == '[' && element.back() == ']';
        appendPointerToken(pointer, bracketed ? element.substr(1, element.size() - 2) : element);
    }
    return pointer;
}

struct Violation
{
    std::string pointer;
    std::string message;
    // For a message that only says a part failed: where that part is.
    std::optional<std::string> partPointer;
};

bool startsWith(const std::string& text, std::string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::optional<std::string> partOf(const std::string& pointer, const std::string& message)
{
    static constexpr std::string_view property =
        "Failed to validate against schema associated with property name '";
    static constexpr std::string_view item = "Failed to validate item #";
    if (startsWith(message, property))
    {
        const auto end = message.rfind("'.");
        if (end == std::string::npos || end < property.size())
            return std::nullopt;
        std::string result = pointer;
        appendPointerToken(result, message.substr(property.size(), end - property.size()));
        return result;
    }
    if (startsWith(message, item) && message.ends_with(" in array."))
    {
        const auto digits =
            message.substr(item.size(), message.size() - item.size() - std::string_view(" in array.").size());
        return pointer + "/" + digits;
    }
    if ((startsWith(message, item) && message.ends_with("against corresponding item schema.")) ||
        startsWith(message, "Failed to validate against schema associated with pattern '") ||
        startsWith(message, "Failed to validate against additional properties schema") ||
        startsWith(message, "Failed to validate against child schema #") ||
        startsWith(message, "Failed to validate against a conditional schema"))
    {
        return pointer;
    }
    return std::nullopt;
}

bool isWithin(const std::string& pointer, const std::string& part)
{
    return pointer == part ||
           (startsWith(pointer, part) && pointer.size() > part.size() && pointer[part.size()] == '/');
}

// valijson repeats a failure at every enclosing level ("Failed to validate
// item #3 in array." …). Those repetitions are dropped when the failure itself
// is reported below them, so each violation appears once.
std::vector<std::string> collect(const valijson::ValidationResults& results)
{
    std::vector<Violation> violations;
    for (const auto& error : results)
    {
        std::string pointer = toPointer(error.context);
        auto part = partOf(pointer, error.description);
        violations.push_back({std::move(pointer), error.description, std::move(part)});
    }

    std::vector<std::string> detailed;
    for (const Violation& violation : violations)
    {
        if (!violation.partPointer)
            detailed.push_back(violation.pointer);
    }
    std::sort(detailed.begin(), detailed.end());

    const auto reportedBelow = [&](const std::string& part)
    {
        if (std::binary_search(detailed.begin(), detailed.end(), part))
            return true;
        const auto it = std::lower_bound(detailed.begin(), detailed.end(), part + "/");
        return it != detailed.end() && isWithin(*it, part);
    };

    std::vector<std::string> texts;
    for (const Violation& violation : violations)
    {
        if (violation.partPointer && reportedBelow(*violation.partPointer))
            continue;
        texts.push_back(violation.pointer + ": " + violation.message);
    }
    return texts;
}

} // namespace

JsonValidator::JsonValidator(const Reader& schema)
{
    const std::string sourceName = schema.getSourceName();
    const fs::path sourcePath(sourceName);

    json root;
    try
    {
        root = json::parse(schema.read());
    }
    catch (const json::exception& e)
    {
        throw FormatMismatchException(sourceName, e.what());
    }

    const auto documents = std::make_shared<SchemaDocuments>(
        sourcePath.parent_path(), normalKey(sourcePath.filename()), std::move(root));
    auto compiled = std::make_shared<Compiled>();
    compiled->sourceName = sourceName;
    try
    {
        valijson::SchemaParser parser(valijson::SchemaParser::kDraft7);
        const valijson::adapters::NlohmannJsonAdapter rootAdapter(documents->root());
        parser.populateSchema(
            rootAdapter, compiled->schema,
            [documents](const std::string& uri) { return documents->fetch(uri); },
            [](const json* document) { delete document; });
    }
    catch (const ImportException&)
    {
        throw;
    }
    catch (const IoException&)
    {
        throw;
    }
    catch (const std::invalid_argument&)
    {
        throw;
    }
    catch (const json::exception& e)
    {
        throw FormatMismatchException(sourceName, e.what());
    }
    catch (const std::exception& e)
    {
        throw std::invalid_argument("Invalid schema " + sourceName + ": " + e.what());
    }
    mCompiled = std::move(compiled);
}

std::vector<std::string> JsonValidator::validate(const json& document) const
{
    // A validator per call: valijson's validator caches regular expressions,
    // and the compiled schema itself is only read, so concurrent calls are safe.
    valijson::Validator validator;
    valijson::ValidationResults results;
    const valijson::adapters::NlohmannJsonAdapter adapter(document);
    bool valid = false;
    try
    {
        valid = validator.validate(mCompiled->schema, adapter, &results);
    }
    catch (const std::exception& e)
    {
        // For example an invalid "pattern", which valijson compiles only now.
        throw std::invalid_argument("Invalid schema " + mCompiled->sourceName + ": " + e.what());
    }
    std::vector<std::string> texts = collect(results);
    if (!valid && texts.empty())
        texts.push_back(": Document does not match the schema");
    return texts;
}

} // namespace Hvd::Weft::Device
