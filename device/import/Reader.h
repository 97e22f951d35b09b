#pragma once

#include <string>

namespace Hvd::Weft::Device
{

// A named source of text. The name appears in messages and decides the format.
class Reader
{
public:
    virtual ~Reader() = default;
    virtual std::string read() const = 0;
    virtual std::string getSourceName() const = 0;
};

} // namespace Hvd::Weft::Device
