#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "encoder/StreamEncoder.h"

namespace telvora::testenc
{

// How the values after the first are split into sign, byte count and byte planes.
enum class ValueLayout
{
    // The fewest bytes for each magnitude, the sign bit only on negative values.
    Minimal,
    // Still decodes to the same values, but exercises what a decoder must accept: zeros carry the
    // sign bit, every magnitude has one byte more than it needs (five bytes, which reads as four,
    // for the largest), and every other negative value is stored as its unsigned 32-bit pattern
    // without the sign bit.
    Padded,
};

// A value stream: the first value raw, the length stream of the others' sign bits and byte
// counts, then for each byte plane its symbol count and coded stream. A stream of one value still
// carries a length stream (of one dummy symbol). Appends to out.
void AppendValueStream(std::vector<std::uint8_t>& out, std::span<const std::int32_t> values,
                       ValueLayout layout = ValueLayout::Minimal,
                       StreamEnd end = StreamEnd::Padded);

} // namespace telvora::testenc
