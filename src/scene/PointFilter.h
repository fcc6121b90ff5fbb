#pragma once

#include <bitset>
#include <cstdint>

namespace telvora
{

// Where a record stands among the returns of its pulse. A record whose return number is 0 or
// above its number of returns cannot be placed and counts as a single return.
enum class ReturnKind : std::uint8_t
{
    Single,
    First,
    Intermediate,
    Last
};

ReturnKind ReturnKindOf(unsigned returnNumber, unsigned numberOfReturns) noexcept;

// Which returns are shown: every record, or those that are a first (single returns included),
// last (single returns included), single or intermediate return.
enum class ReturnFilter : std::uint8_t
{
    All,
    First,
    Last,
    Single,
    Intermediate
};

bool ReturnShown(ReturnFilter filter, ReturnKind kind) noexcept;

// The class a record is shown and counted under: the lower five bits of the classification byte
// in formats 0 to 5 (the flags above them do not split a class), the whole byte from 6 on.
std::uint8_t ClassCodeOf(std::uint8_t classificationByte, unsigned format) noexcept;

// What a stored point is filtered by: its class code in the low byte, its return kind above.
using PointKey = std::uint16_t;

inline PointKey MakePointKey(std::uint8_t classCode, ReturnKind kind) noexcept
{
    return static_cast<PointKey>(classCode | (static_cast<unsigned>(kind) << 8));
}

// The classes and returns the user has hidden; by default everything is shown.
struct PointFilter
{
    std::bitset<256> hiddenClasses;
    ReturnFilter returns = ReturnFilter::All;

    bool ShowsAll() const noexcept { return hiddenClasses.none() && returns == ReturnFilter::All; }
    bool Shows(PointKey key) const noexcept
    {
        return !hiddenClasses.test(key & 0xFFu) &&
               ReturnShown(returns, static_cast<ReturnKind>(key >> 8));
    }
};

} // namespace telvora
