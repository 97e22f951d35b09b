#pragma once

#include <string>

#include "device/import/Reader.h"

namespace Hvd::Weft::Device
{

// Text already in memory, under the name that decides its format and
// appears in messages.
class StringReader : public Reader
{
public:
    StringReader(std::string sourceName, std::string text)
        : mSourceName(std::move(sourceName))
        , mText(std::move(text))
    {
    }

    std::string read() const override { return mText; }
    std::string getSourceName() const override { return mSourceName; }

private:
    std::string mSourceName;
    std::string mText;
};

} // namespace Hvd::Weft::Device
