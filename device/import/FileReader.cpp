#include "device/import/FileReader.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "device/Exceptions.h"

namespace Hvd::Weft::Device
{

FileReader::FileReader(const std::filesystem::path& path)
    : mPath(path)
    , mSourceName(path.string())
{
    // The error-code form: a path that cannot even be examined (no permission
    // on a parent folder) must not escape as a filesystem_error.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(mPath, error);
    if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
        throw IoException("Could not open " + mSourceName);
    if (!std::filesystem::exists(status))
        throw std::invalid_argument(mSourceName + " does not exist");
    if (!std::filesystem::is_regular_file(status))
        throw std::invalid_argument(mSourceName + " must be a file");
    if (!std::ifstream(mPath).is_open())
        throw IoException("Could not open " + mSourceName);
}

std::string FileReader::read() const
{
    std::ifstream stream(mPath);
    if (!stream.is_open())
        throw IoException("Could not open " + mSourceName);
    std::string text;
    try
    {
        text.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    catch (const std::ios_base::failure&)
    {
        // The stream buffer throws on a failing read(2) even without an
        // exception mask.
        throw IoException("Could not read " + mSourceName);
    }
    // An empty file counts as unreadable: there is nothing to import.
    if (stream.bad() || text.empty())
        throw IoException("Could not read " + mSourceName);
    return text;
}

} // namespace Hvd::Weft::Device
