#include "components/logging/TypeName.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>

namespace Hvd::Weft::Components
{

std::string typeName(const std::type_info& info)
{
    const char* raw = info.name();
    if (*raw == '*')
        ++raw;
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(raw, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(raw);
}

} // namespace Hvd::Weft::Components
