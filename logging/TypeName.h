#pragma once

#include <string>
#include <typeinfo>

namespace Hvd::Weft::Components
{

// Run-time type name for log lines as the platform's type information gives
// it (mangled with GCC), never with a leading '*'.
std::string typeName(const std::type_info& info);

} // namespace Hvd::Weft::Components
