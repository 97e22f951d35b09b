#include "logging/TypeName.h"

namespace Hvd::Weft::Components
{

std::string typeName(const std::type_info& info)
{
    const char* raw = info.name();
    // Some ABIs mark types of internal linkage with a leading '*'.
    if (*raw == '*')
        ++raw;
    return raw;
}

} // namespace Hvd::Weft::Components
