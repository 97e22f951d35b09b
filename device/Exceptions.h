#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace Hvd::Weft::Device
{

// A source could not be opened or read.
class IoException : public std::runtime_error
{
public:
    explicit IoException(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

// Base of every import failure; the text starts with "Import error: ".
class ImportException : public std::runtime_error
{
public:
    explicit ImportException(const std::string& message)
        : std::runtime_error("Import error: " + message)
    {
    }
};

// The text is not the JSON the format expects (syntax, missing key, wrong type).
class FormatMismatchException : public ImportException
{
public:
    FormatMismatchException(const std::string& sourceName, const std::string& detail)
        : ImportException("Format mismatch: " + sourceName + ", detailed error: " + detail)
    {
    }
};

// Schema or rule violations; every finding is in getErrors().
class ValidationException : public ImportException
{
public:
    ValidationException(const std::string& sourceName, std::vector<std::string> errors)
        : ImportException("Validation failed: " + sourceName)
        , mErrors(std::move(errors))
    {
    }

    const std::vector<std::string>& getErrors() const { return mErrors; }

private:
    std::vector<std::string> mErrors;
};

class UnsupportedFormatException : public std::runtime_error
{
public:
    explicit UnsupportedFormatException(const std::string& sourceName)
        : std::runtime_error("Unsupported format: " + sourceName)
    {
    }
};

// A second version, parameter, output, command, event, system data object or
// calibration slot with an identifier already used.
class IdentifierNotUniqueException : public std::runtime_error
{
public:
    IdentifierNotUniqueException(const std::string& kind, const std::string& identifier)
        : std::runtime_error(kind + " is not unique: " + identifier)
    {
    }
};

} // namespace Hvd::Weft::Device
