#pragma once

#include <string>
#include <typeinfo>

namespace Hvd::Weft::Components
{

// Readable run-time type name for log lines (demangled where the compiler
// mangles, never with a leading '*').
std::string typeName(const std::type_info& info);

} // namespace Hvd::Weft::Components
