#include "lcmp/FrequencyTable.h"

#include <algorithm>
#include <cstring>

#include "las/ByteOrder.h"

namespace telvora
{

void FrequencyTable::Build(const unsigned char* image)
{
    std::uint32_t top = 0;
    wellFormed = true;
    onlySymbol = -1;
    for (int k = 0; k < kSymbols; ++k)
    {
        high[k] = LoadLE<std::uint16_t>(image + 2 * static_cast<std::ptrdiff_t>(k));
        low[k] = k == 0 ? 0 : high[k - 1];
        top = std::max<std::uint32_t>(top, high[k]);
        wellFormed = wellFormed && low[k] <= high[k];
        if (low[k] == 0 && high[k] == kScale)
        {
            onlySymbol = onlySymbol < 0 ? k : onlySymbol;
        }
    }
    wellFormed = wellFormed && high[kSymbols - 1] == kScale;
    if (!wellFormed)
    {
        onlySymbol = -1;
    }
    // Only the part the previous table used needs clearing.
    const std::uint32_t previousSize = lookupSize;
    lookupSize = std::min<std::uint32_t>(top, kMaxLookup);
    std::memset(lookup, 0, std::max(lookupSize, previousSize));

    if (wellFormed)
    {
        // The intervals tile 0 to 9999 in symbol order: each count is claimed once, by its
        // symbol, and no search is needed.
        for (int k = 0; k < kSymbols; ++k)
        {
            const std::uint32_t packed = low[k] | (std::uint32_t{high[k]} << 16);
            std::memset(lookup + low[k], k, high[k] - low[k]);
            std::fill(bounds + low[k], bounds + high[k], packed);
        }
        return;
    }

    // Symbols claim their counts in symbol order, each taking only counts no earlier symbol
    // holds. nextFree[c] leads (with path halving) to the first unclaimed count from c on, so
    // every count is claimed once however much the intervals overlap.
    for (std::uint32_t c = 0; c <= lookupSize; ++c)
    {
        nextFree[c] = static_cast<std::uint16_t>(c);
    }
    auto find = [this](std::uint32_t c)
    {
        while (nextFree[c] != c)
        {
            nextFree[c] = nextFree[nextFree[c]];
            c = nextFree[c];
        }
        return c;
    };
    for (int k = 0; k < kSymbols; ++k)
    {
        const std::uint32_t end = std::min<std::uint32_t>(high[k], lookupSize);
        if (low[k] >= end)
        {
            continue;
        }
        for (std::uint32_t c = find(low[k]); c < end; c = find(c + 1))
        {
            lookup[c] = static_cast<std::uint8_t>(k);
            nextFree[c] = static_cast<std::uint16_t>(c + 1);
        }
    }
}

int FrequencyTable::ScanForSymbol(std::int16_t count) const
{
    const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(count));
    for (int k = 0; k < kSymbols; ++k)
    {
        if (low[k] <= value && value < high[k])
        {
            return k;
        }
    }
    return -1;
}

} // namespace telvora
