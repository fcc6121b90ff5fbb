#include "lcmp/OutputSpace.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace telvora::test
{
namespace
{

TEST(ByteCount, ExactCountWithARoundedBinaryUnitFromOneKiB)
{
    const struct
    {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1024 bytes (1.0 KiB)"},
        // 1048575 / 1024 = 1023.999 KiB, which rounds to the next unit.
        {1048575, "1048575 bytes (1.0 MiB)"},
        {5242880, "5242880 bytes (5.0 MiB)"},
        {UINT64_MAX, "18446744073709551615 bytes (16.0 EiB)"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ByteCount(c.bytes), c.text) << c.bytes;
    }
}

TEST(SpaceShortfall, NamesTheLimitReachedFirst)
{
    constexpr std::uint64_t kNone = UINT64_MAX;
    const struct
    {
        std::uint64_t needed;
        std::uint64_t freeBytes;
        std::uint64_t limit;
        const char* text;
    } cases[] = {
        {3027, 3027, 3027, ""},
        {3028, 3027, kNone,
         "it needs 3028 bytes (3.0 KiB), but only 3027 bytes (3.0 KiB) are free"},
        {3028, kNone, 1000,
         "it needs 3028 bytes (3.0 KiB), but the file-size limit of this process is 1000 bytes"},
        // Both reached: the smaller one is what stops the write.
        {5000, 2000, 1000,
         "it needs 5000 bytes (4.9 KiB), but the file-size limit of this process is 1000 bytes"},
        {5000, 1000, 2000, "it needs 5000 bytes (4.9 KiB), but only 1000 bytes are free"},
    };
    for (const auto& c : cases)
    {
        OutputRoom room;
        room.freeBytes = c.freeBytes;
        room.fileSizeLimit = c.limit;
        EXPECT_EQ(SpaceShortfall(c.needed, room), c.text)
            << c.needed << " " << c.freeBytes << " " << c.limit;
    }
}

} // namespace
} // namespace telvora::test
