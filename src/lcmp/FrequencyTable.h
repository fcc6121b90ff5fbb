#pragma once

#include <cstddef>
#include <cstdint>

namespace telvora
{

// The static model heading every coded stream: 256 cumulative frequencies H[0..255], symbol k
// owning the half-open interval [H[k-1], H[k]) (symbol 0 starting at 0) of a total of 10000.
//
// A count is mapped to its symbol through a lookup table built once per stream: the entry of a
// count is the first symbol, in symbol order, whose interval holds it, which is what a scan of
// the 256 intervals gives for any table, however damaged (overlapping or decreasing values,
// values above 10000). A count that no interval holds, negative ones included, gives symbol 0
// with symbol 0's interval.
class FrequencyTable
{
public:
    static constexpr int kSymbols = 256;
    static constexpr std::size_t kImageSize = 512;
    static constexpr std::int32_t kScale = 10000;

    // From the 512-byte little-endian image.
    void Build(const unsigned char* image);

    std::uint8_t Symbol(std::int16_t count) const
    {
        return lookup[static_cast<std::uint16_t>(count)];
    }
    std::uint16_t Low(int symbol) const { return low[symbol]; }
    std::uint16_t High(int symbol) const { return high[symbol]; }

    // Whether the table is what an encoder writes: values that never decrease, the last one
    // 10000. Only then does every count of 0 to 9999 lie in exactly one interval, so that a
    // decoder whose code lies between low and high stays there and needs no signed arithmetic.
    bool WellFormed() const { return wellFormed; }
    // The symbol that owns every count, when one does (well-formed tables only); -1 otherwise.
    int OnlySymbol() const { return onlySymbol; }
    // For a well-formed table and a count of 0 to 9999: the interval holding it, low in the lower
    // 16 bits and high in the upper, in one look-up.
    const std::uint32_t* Bounds() const { return bounds; }
    const std::uint8_t* Symbols() const { return lookup; }

    // The first symbol whose interval holds the count, or -1 for none, by scanning the intervals
    // in symbol order: the definition the lookup table is checked against.
    int ScanForSymbol(std::int16_t count) const;

private:
    // Counts are signed 16-bit values, so no count at or above 32768 exists; the table is
    // indexed by the count's 16 bits, negative counts landing in the upper half, which stays 0.
    static constexpr std::size_t kMaxLookup = 32768;

    std::uint16_t low[kSymbols] = {};
    std::uint16_t high[kSymbols] = {};
    std::uint8_t lookup[65536] = {};
    std::uint32_t bounds[kScale] = {};
    bool wellFormed = false;
    int onlySymbol = -1;
    // Scratch space of Build.
    std::uint16_t nextFree[kMaxLookup + 1] = {};
    // Counts from here on lie in no interval; entries from here on are 0.
    std::uint32_t lookupSize = 0;
};

} // namespace telvora
