#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace telvora
{

// The names of the 32 classification codes of LAS 1.1 and 1.2.
inline constexpr std::array<std::string_view, 32> ClassNames = {
    "Created",         "Unclassified", "Ground",           "Low Vegetation",  "Medium Vegetation",
    "High Vegetation", "Building",     "Low Point(noise)", "Model Key-point", "Water",
    "Reserved",        "Reserved",     "Overlap Points",   "Reserved",        "Reserved",
    "Reserved",        "Reserved",     "Reserved",         "Reserved",        "Reserved",
    "Reserved",        "Reserved",     "Reserved",         "Reserved",        "Reserved",
    "Reserved",        "Reserved",     "Reserved",         "Reserved",        "Reserved",
    "Reserved",        "Reserved"};

// The code of the first entry with exactly that name ("Reserved" is 10); none for any other text.
inline std::optional<std::uint8_t> ClassCodeOf(std::string_view name)
{
    for (std::size_t code = 0; code < ClassNames.size(); ++code)
    {
        if (ClassNames[code] == name)
        {
            return static_cast<std::uint8_t>(code);
        }
    }
    return std::nullopt;
}

} // namespace telvora
