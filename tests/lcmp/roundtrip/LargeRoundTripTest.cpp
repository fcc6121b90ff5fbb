#include <chrono>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ArchiveRoundTrip.h"
#include "encoder/ArchiveBuilder.h"
#include "encoder/EntryEncoder.h"
#include "encoder/SurveyFiles.h"

namespace telvora::testenc
{
namespace
{

using Bytes = std::vector<std::uint8_t>;

// The chunk boundaries: one chunk of two million, chunks of 1,000,000 and 1,000,001, and of
// 1,000,000 and 2,000,000. Besides checking the bytes, reports the size of the entry against
// the LAS file.
void ExpectRoundTrip(std::uint8_t version, std::uint8_t format, std::uint32_t points, char mode)
{
    SCOPED_TRACE(testing::Message() << "LAS 1." << int{version} << ", format " << int{format}
                                    << ", " << points << " points, mode " << mode);
    const Bytes las = SurveyBytes(version, format, points, 2);
    const Bytes input = mode == kVlrFreeMode ? WithoutDeclaredVlrs(las) : las;
    const Bytes archive = BuildArchive({{ArchiveInput::Name("big.las"), mode, input, {}}});
    const double ratio = static_cast<double>(archive.size()) / static_cast<double>(input.size());
    std::printf("LAS 1.%d format %d, %u points: %zu LAS bytes, %zu archive bytes, %.1f %%\n",
                version, format, points, input.size(), archive.size(), 100.0 * ratio);
    testing::Test::RecordProperty("archive_percent_of_las", std::to_string(100.0 * ratio));
    EXPECT_TRUE(Decompress(archive, "big.las") == input);
}

TEST(LargeRoundTrip, TwoMillionPointsFormat0InOneChunk)
{
    ExpectRoundTrip(0, 0, 2000000, kCodedMode);
}

TEST(LargeRoundTrip, TwoMillionAndOnePointsFormat1InTwoChunks)
{
    ExpectRoundTrip(1, 1, 2000001, kVlrFreeMode);
}

TEST(LargeRoundTrip, ThreeMillionPointsFormat3InTwoChunks)
{
    ExpectRoundTrip(2, 3, 3000000, kCodedMode);
}

} // namespace
} // namespace telvora::testenc
