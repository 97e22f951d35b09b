#pragma once

#include "device/import/Reader.h"

#include <filesystem>
#include <string>

namespace Hvd::Weft::Components
{

// Hands a Qt resource (":/N5Q2-Orvik.desc.json") or an ordinary file to the
// description importer.
class QtResourceReader : public Hvd::Weft::Device::Reader
{
public:
    explicit QtResourceReader(const std::filesystem::path& path);

    std::string read() const override;
    std::string getSourceName() const override;

private:
    std::string path;
};

} // namespace Hvd::Weft::Components
