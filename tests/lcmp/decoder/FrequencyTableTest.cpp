#include "lcmp/FrequencyTable.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "ArchiveBytes.h"

namespace telvora::test
{
namespace
{

// The lookup must give, for every possible count, the symbol of a literal scan of the intervals
// in symbol order, and symbol 0 where no interval holds the count.
void ExpectLookupEqualsScan(const std::vector<std::uint16_t>& h)
{
    FrequencyTable table;
    const Bytes image = TableImage(h);
    table.Build(image.data());
    for (int count = INT16_MIN; count <= INT16_MAX; ++count)
    {
        const auto c = static_cast<std::int16_t>(count);
        const int scanned = table.ScanForSymbol(c);
        ASSERT_EQ(table.Symbol(c), scanned < 0 ? 0 : scanned) << "count " << count;
    }
}

TEST(FrequencyTable, IntervalsRunFromPreviousValueToOwnValue)
{
    std::vector<std::uint16_t> h(256, 10000);
    h[0] = 100;
    h[1] = 100;
    h[2] = 4000;
    FrequencyTable table;
    const Bytes image = TableImage(h);
    table.Build(image.data());
    EXPECT_EQ(table.Low(0), 0);
    EXPECT_EQ(table.High(0), 100);
    EXPECT_EQ(table.Low(1), 100);
    EXPECT_EQ(table.High(1), 100);
    EXPECT_EQ(table.Low(2), 100);
    EXPECT_EQ(table.High(2), 4000);
    EXPECT_EQ(table.Symbol(99), 0);
    EXPECT_EQ(table.Symbol(100), 2);
    EXPECT_EQ(table.Symbol(3999), 2);
    EXPECT_EQ(table.Symbol(4000), 3);
    EXPECT_EQ(table.Symbol(9999), 3);
    // Beyond the total and below zero no interval holds the count.
    EXPECT_EQ(table.ScanForSymbol(10000), -1);
    EXPECT_EQ(table.ScanForSymbol(-1), -1);
    EXPECT_EQ(table.Symbol(10000), 0);
    EXPECT_EQ(table.Symbol(-1), 0);
}

TEST(FrequencyTable, LookupEqualsScanForWellFormedTables)
{
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round)
    {
        std::vector<std::uint16_t> h(256);
        std::vector<int> cuts(255);
        for (int& cut : cuts)
        {
            cut = static_cast<int>(random() % 10001);
        }
        std::sort(cuts.begin(), cuts.end());
        for (int k = 0; k < 255; ++k)
        {
            h[static_cast<std::size_t>(k)] =
                static_cast<std::uint16_t>(cuts[static_cast<std::size_t>(k)]);
        }
        h[255] = 10000;
        ExpectLookupEqualsScan(h);
    }
    ExpectLookupEqualsScan(SingleSymbolTable(0));
    ExpectLookupEqualsScan(SingleSymbolTable(255));
}

TEST(FrequencyTable, LookupEqualsScanForDamagedTables)
{
    std::mt19937 random(12);
    // Arbitrary values: overlapping, decreasing, above 10000 and above 32767.
    for (int round = 0; round < 20; ++round)
    {
        std::vector<std::uint16_t> h(256);
        for (auto& value : h)
        {
            value = static_cast<std::uint16_t>(random());
        }
        ExpectLookupEqualsScan(h);
    }
    // Values clustered near each other, so that many intervals are empty or reversed.
    for (int round = 0; round < 10; ++round)
    {
        std::vector<std::uint16_t> h(256);
        for (auto& value : h)
        {
            value = static_cast<std::uint16_t>(30000 + random() % 5000);
        }
        ExpectLookupEqualsScan(h);
    }
    // Descending, all zero, all at the largest value.
    std::vector<std::uint16_t> descending(256);
    for (int k = 0; k < 256; ++k)
    {
        descending[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(65535 - 200 * k);
    }
    ExpectLookupEqualsScan(descending);
    ExpectLookupEqualsScan(std::vector<std::uint16_t>(256, 0));
    ExpectLookupEqualsScan(std::vector<std::uint16_t>(256, 65535));
}

} // namespace
} // namespace telvora::test
