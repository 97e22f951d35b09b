#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Hvd::Weft::Device
{

// Findings of the semantic rules, in the order the rules report them.
class ValidationResult
{
public:
    void addError(std::string error) { mErrors.push_back(std::move(error)); }

    bool hasErrors() const { return !mErrors.empty(); }
    const std::vector<std::string>& getErrors() const& { return mErrors; }
    std::vector<std::string> getErrors() && { return std::move(mErrors); }

private:
    std::vector<std::string> mErrors;
};

} // namespace Hvd::Weft::Device
