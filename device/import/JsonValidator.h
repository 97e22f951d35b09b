#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "device/import/Reader.h"

namespace Hvd::Weft::Device
{

// One compiled JSON schema. References to other schema files are resolved
// relative to the directory of the schema's source name. Copies share the
// compiled schema, which is never changed after construction.
class JsonValidator
{
public:
    // A syntax error in a schema file throws FormatMismatchException naming
    // that file; a schema the validator cannot use throws
    // std::invalid_argument; reader failures pass through.
    explicit JsonValidator(const Reader& schema);

    // Every violation as "<JSON pointer>: <message>"; empty when the document
    // conforms.
    std::vector<std::string> validate(const nlohmann::json& document) const;

private:
    struct Compiled;
    std::shared_ptr<const Compiled> mCompiled;
};

} // namespace Hvd::Weft::Device
