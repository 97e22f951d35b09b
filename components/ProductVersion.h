#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>

namespace Hvd::Weft::Components::ProductVersion
{

inline constexpr char name[] = "OrvikRescaler";
inline constexpr char version[] = "V1.1.0";
// Commits since the release tag and the commit built, as `git describe` puts it.
inline constexpr char revision[] = "0-g7aecaff";
// The build number that ends both the main window's title and the About
// dialog's version line.
inline constexpr char buildNumber[] = "260819";
inline constexpr int copyrightYear = 2026;

// Joins string literals at compile time, so the texts below are spelt from
// the parts above instead of repeating them.
template <std::size_t... N>
constexpr std::array<char, (N + ...) - sizeof...(N) + 1> join(const char (&... parts)[N])
{
    std::array<char, (N + ...) - sizeof...(N) + 1> joined{};
    std::size_t at = 0;
    for (const char* part : {parts...})
        while (*part != '\0')
            joined[at++] = *part++;
    return joined;
}

// "OrvikRescaler V1.1.0 (260819)"
inline constexpr auto windowTitle = join(name, " ", version, " (", buildNumber, ")");
// "OrvikRescaler V1.1.0-0-g7aecaff (260819)"
inline constexpr auto fullVersion = join(name, " ", version, "-", revision, " (", buildNumber, ")");

} // namespace Hvd::Weft::Components::ProductVersion
