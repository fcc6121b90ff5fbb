#include <algorithm>
#include <cstdint>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ArchiveRoundTrip.h"
#include "FailureInjection.h"
#include "encoder/ArchiveBuilder.h"
#include "encoder/EntryEncoder.h"
#include "encoder/SurveyFiles.h"
#include "las/ByteOrder.h"
#include "las/LasException.h"

namespace telvora::testenc
{
namespace
{

using Bytes = std::vector<std::uint8_t>;

std::string EntryName(std::uint32_t points, char mode)
{
    return "survey-" + std::to_string(points) + "-" + mode + ".las";
}

// Every version and format, each size from no point (raw entries only) to five, with zero to two
// VLRs, in every mode; one archive per version and format, so that the directory is exercised
// as well.
TEST(EntryRoundTrip, SmallSurveysOfEveryVersionAndFormatComeBackByteForByte)
{
    for (std::uint8_t version = 0; version <= 2; ++version)
    {
        for (std::uint8_t format = 0; format <= 3; ++format)
        {
            std::vector<ArchiveInput> inputs;
            for (std::uint32_t points = 0; points <= 5; ++points)
            {
                const Bytes las = SurveyBytes(version, format, points, points % 3);
                for (const char mode : {kCodedMode, kVlrFreeMode, kRawMode})
                {
                    if (points == 0 && mode != kRawMode)
                    {
                        continue;
                    }
                    const Bytes input = mode == kVlrFreeMode ? WithoutDeclaredVlrs(las) : las;
                    ASSERT_EQ(RebuiltLasFile(input, mode), input);
                    inputs.push_back(
                        {ArchiveInput::Name(EntryName(points, mode)), mode, input, {}});
                }
            }
            const Bytes archive = BuildArchive(inputs);
            for (const ArchiveInput& input : inputs)
            {
                const std::string name(input.name.begin(), input.name.end());
                SCOPED_TRACE(testing::Message() << "LAS 1." << int{version} << ", format "
                                                << int{format} << ", " << name);
                EXPECT_EQ(Decompress(archive, name), input.lasFile);
            }
        }
    }
}

// Enough points for every predictor path, scan turns and flight strips.
TEST(EntryRoundTrip, SurveysOfAHundredThousandPointsComeBackByteForByte)
{
    for (std::uint8_t format = 0; format <= 3; ++format)
    {
        SCOPED_TRACE(testing::Message() << "format " << int{format});
        const Bytes las = SurveyBytes(2, format, 100000, 1);
        EXPECT_EQ(
            Decompress(BuildArchive({{ArchiveInput::Name("a.las"), kCodedMode, las, {}}}), "a.las"),
            las);
    }
}

// Forest (many returns), open land and narrow strips (a GPS Time jump at every turn) take other
// paths through the predictors; decoding on one thread and on two must give the file back alike.
TEST(EntryRoundTrip, EveryLandAndFormatComesBackOnOneThreadAndOnTwo)
{
    struct Land
    {
        lasgen::LandCover cover;
        double stripSpacing;
    };
    for (const Land land :
         {Land{lasgen::LandCover::Forest, 450.0}, Land{lasgen::LandCover::Open, 450.0},
          Land{lasgen::LandCover::Mixed, 10.0}})
    {
        for (std::uint8_t format = 0; format <= 3; ++format)
        {
            test::TempDir dir;
            lasgen::SurveyOptions options;
            options.format = format;
            options.points = 40000;
            options.land = land.cover;
            options.maxStripSpacing = land.stripSpacing;
            lasgen::WriteSurvey(dir.File("s.las"), options);
            const Bytes las = test::ReadAll(dir.File("s.las"));
            const Bytes archive =
                BuildArchive({{ArchiveInput::Name("a.las"), kCodedMode, las, {}}});
            for (const bool secondThread : {false, true})
            {
                SCOPED_TRACE(testing::Message()
                             << "land " << static_cast<int>(land.cover) << ", format "
                             << int{format} << ", second thread " << secondThread);
                EXPECT_EQ(Decompress(archive, "a.las", secondThread), las);
            }
        }
    }
}

// Each stream is decoded beside the one before it, found behind the first end marker there. Here
// the coded bits of the first stream hold the marker's bytes and, behind them, a whole stream that
// decodes: user data of 0 and 1 in equal numbers is coded one bit per point, so the points' bits
// are the coded bytes. That stream is not the next one, and the entry must come back byte for
// byte.
TEST(EntryRoundTrip, StreamsInsideCodedBitsChangeNothingRebuilt)
{
    // The marker, then a stream whose table gives every count to symbol 0, then its marker.
    Bytes inside = {0xFF, 0xFF, 0x00};
    for (int k = 0; k < 256; ++k)
    {
        inside.insert(inside.end(), {0x10, 0x27});
    }
    inside.insert(inside.end(), {0xFF, 0xFF, 0x00});
    std::vector<std::uint8_t> bits;
    for (const std::uint8_t byte : inside)
    {
        for (int b = 7; b >= 0; --b)
        {
            bits.push_back((byte >> b) & 1);
        }
    }
    // As many 1s as 0s.
    const auto zeros = static_cast<std::size_t>(std::count(bits.begin(), bits.end(), 0));
    bits.resize(2 * zeros, 1);

    Bytes las = SurveyBytes(2, 0, static_cast<std::uint32_t>(bits.size()), 0);
    const std::uint32_t offset = LoadLE<std::uint32_t>(las.data() + 96);
    const std::uint16_t length = LoadLE<std::uint16_t>(las.data() + 105);
    for (std::size_t i = 0; i < bits.size(); ++i)
    {
        las[offset + i * length + 17] = bits[i];
    }
    const Bytes archive = BuildArchive({{ArchiveInput::Name("a.las"), kCodedMode, las, {}}});

    // The user data stream: H[0] = 5000 and every other value 10000, then the coded bits.
    Bytes stream = {0x88, 0x13};
    for (int k = 1; k < 256; ++k)
    {
        stream.insert(stream.end(), {0x10, 0x27});
    }
    stream.insert(stream.end(), inside.begin(), inside.end());
    ASSERT_NE(std::search(archive.begin(), archive.end(), stream.begin(), stream.end()),
              archive.end());
    EXPECT_EQ(Decompress(archive, "a.las"), las);
}

// Producers lay entries out back to back and may flush each stream with the fewest bytes its
// decoding needs: the decoder's reads, its 16-bit window and its look for the next stream's start
// then run on into the bytes behind the entry (the next entry, the directory). What the format
// rebuilds does not depend on those bytes, so every entry must come back whole, wherever it lies
// and whatever follows it: here the data in the reverse of the directory's order (each entry
// followed by the one listed before it, the first listed by the directory), and once more with
// a run that looks like an end marker behind every entry.
TEST(EntryRoundTrip, TightlyFlushedEntriesBackToBackComeBackWhateverFollowsThem)
{
    std::vector<ArchiveInput> inputs;
    EncodeOptions tight;
    tight.streamEnd = StreamEnd::Tight;
    for (std::uint8_t format = 0; format <= 3; ++format)
    {
        for (const std::uint32_t points : {1u, 2u, 5u, 37u, 300u, 2500u})
        {
            const std::string name = fmt::format("{}-{}.las", format, points);
            inputs.push_back({ArchiveInput::Name(name), kCodedMode,
                              SurveyBytes(2, format, points, points % 2), tight});
        }
    }
    inputs.push_back({ArchiveInput::Name("raw.las"), kRawMode, SurveyBytes(2, 1, 3), tight});
    for (const bool markerBehind : {false, true})
    {
        ArchiveLayout layout;
        layout.reverseData = true;
        if (markerBehind)
        {
            layout.afterEachEntry = {0xFF, 0xFF, 0x00};
        }
        test::TempDir dir;
        const std::string path = dir.File("archive.lcmp");
        test::WriteAll(path, BuildArchive(inputs, layout));
        for (const bool secondThread : {false, true})
        {
            for (const ArchiveInput& input : inputs)
            {
                const std::string name(input.name.begin(), input.name.end());
                SCOPED_TRACE(testing::Message() << name << ", marker behind " << markerBehind
                                                << ", second thread " << secondThread);
                const std::string folder = dir.File(std::to_string(secondThread)) + "/";
                std::filesystem::create_directories(folder);
                LCMPFile reader;
                reader.SetSecondThread(secondThread);
                try
                {
                    EXPECT_EQ(reader.DecompressEntry(path.c_str(), name.c_str(), folder.c_str(),
                                                     nullptr, ExistingOutput::Replace),
                              DecompressResult::Complete);
                }
                catch (const CLasException& error)
                {
                    ADD_FAILURE() << error.GetErrorText() << " (" << error.GetDetail() << ")";
                    continue;
                }
                EXPECT_EQ(test::ReadAll(folder + name), input.lasFile);
            }
        }
    }
}

TEST(EntryRoundTrip, PaddedValuesNoisyBitFieldsAndHeaderPaddingChangeNothingRebuilt)
{
    const Bytes las = SurveyBytes(1, 3, 20000, 2);
    EncodeOptions odd;
    odd.valueLayout = ValueLayout::Padded;
    odd.noisyBitFields = true;
    odd.headerPadding = 0xA5;
    EXPECT_EQ(
        Decompress(BuildArchive({{ArchiveInput::Name("a.las"), kCodedMode, las, odd}}), "a.las"),
        las);
}

TEST(EntryRoundTrip, VlrFreeEntryOfAFileWithRecordsRebuildsItsHeaderWithoutThem)
{
    const Bytes las = SurveyBytes(2, 1, 10, 3);
    const Bytes rebuilt =
        Decompress(BuildArchive({{ArchiveInput::Name("a.las"), kVlrFreeMode, las, {}}}), "a.las");
    EXPECT_EQ(rebuilt, WithoutDeclaredVlrs(las));
    EXPECT_EQ(rebuilt, RebuiltLasFile(las, kVlrFreeMode));
}

TEST(EntryRoundTrip, RawEntriesKeepExtraBytesAndSkipPointsOfUnknownFormats)
{
    const Bytes extra = SurveyBytes(2, 3, 40, 1, 5);
    EXPECT_EQ(
        Decompress(BuildArchive({{ArchiveInput::Name("a.las"), kRawMode, extra, {}}}), "a.las"),
        extra);

    // Format 4 records are not read: only header and VLR bytes come back.
    Bytes format4 = SurveyBytes(2, 1, 10, 1);
    format4[104] = 4;
    const std::uint32_t pointsAt = LoadLE<std::uint32_t>(format4.data() + 96);
    format4.resize(pointsAt);
    EXPECT_EQ(
        Decompress(BuildArchive({{ArchiveInput::Name("a.las"), kRawMode, format4, {}}}), "a.las"),
        format4);
}

// A real survey's entry of about 100 KB whose header is made to claim 2,000,000 points (two
// chunks of a million): its streams run out of bits long before a million symbols, so the entry
// fails, and it must do so without mapping the chunks' arrays (some 80 MB in format 3) first.
// Measured in a child process: how far its resident memory rose while the entry was decoded.
TEST(EntryRoundTrip, SmallEntryClaimingMillionsOfPointsFailsWithinFiftyMegabytes)
{
    Bytes archive =
        BuildArchive({{ArchiveInput::Name("a.las"), kCodedMode, SurveyBytes(2, 3, 10000), {}}});
    ASSERT_GT(archive.size(), 80'000u);
    ASSERT_LT(archive.size(), 120'000u);
    // The entry's header image begins at byte 4; the point count lies 108 bytes into it.
    ASSERT_EQ(LoadLE<std::uint32_t>(archive.data() + 4 + 108), 10000u);
    StoreLE<std::uint32_t>(archive.data() + 4 + 108, 2'000'000);
    for (const bool secondThread : {false, true})
    {
        SCOPED_TRACE(secondThread ? "two threads" : "one thread");
        const test::MemoryGrowth growth =
            test::PeakMemoryGrowth([&] { (void)Decompress(archive, "a.las", secondThread); });
        EXPECT_FALSE(growth.text.empty());
        ASSERT_GE(growth.kib, 0);
        EXPECT_LT(growth.kib, 50 * 1024);
    }
}

} // namespace
} // namespace telvora::testenc
