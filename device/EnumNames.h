#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace Hvd::Weft::Device
{

// Texts of enumerators as they appear in description files and messages.
// Every enumeration specialises EnumNames next to its declaration with
//   static constexpr std::array<std::pair<E, std::string_view>, N> table; // ascending values
//   static constexpr std::string_view fallback;                           // name of any other value
template <typename E> struct EnumNames;

template <typename E> constexpr std::string_view enumName(E value)
{
    for (const auto& [enumerator, name] : EnumNames<E>::table)
    {
        if (enumerator == value)
            return name;
    }
    return EnumNames<E>::fallback;
}

// Exact, case-sensitive look-up; the first entry in value order wins.
template <typename E> constexpr std::optional<E> enumFromName(std::string_view name)
{
    for (const auto& [enumerator, text] : EnumNames<E>::table)
    {
        if (text == name)
            return enumerator;
    }
    return std::nullopt;
}

} // namespace Hvd::Weft::Device
