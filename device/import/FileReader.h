#pragma once

#include <filesystem>
#include <string>

#include "device/import/Reader.h"

namespace Hvd::Weft::Device
{

class FileReader : public Reader
{
public:
    // Checks at once: std::invalid_argument when the path does not exist or
    // is not a regular file, IoException when it cannot be opened.
    explicit FileReader(const std::filesystem::path& path);

    // The whole file; IoException when it cannot be opened or read, or is
    // empty.
    std::string read() const override;
    std::string getSourceName() const override { return mSourceName; }

private:
    std::filesystem::path mPath;
    std::string mSourceName;
};

} // namespace Hvd::Weft::Device
