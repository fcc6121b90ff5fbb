#include "encoder/EntryEncoder.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ReferenceDecoder.h"
#include "encoder/ArchiveBuilder.h"
#include "encoder/StreamEncoder.h"
#include "encoder/SurveyFiles.h"
#include "encoder/ValueStreamEncoder.h"
#include "las/ByteOrder.h"

namespace telvora::testenc
{
namespace
{

using Bytes = std::vector<std::uint8_t>;
using Ints = std::vector<std::int32_t>;

Ints EdgeValues()
{
    return {5,      0,        1,         -1,        255,        -255,        256,       -256, 65535,
            -65536, 0x7FFFFF, -0x800000, 0x1000000, 2147483647, -2147483647, INT32_MIN, 0,    17};
}

Bytes WithTail(Bytes bytes)
{
    bytes.insert(bytes.end(), 300, 0x5A);
    return bytes;
}

TEST(AppendValueStream, BothLayoutsDecodeToTheValues)
{
    for (const ValueLayout layout : {ValueLayout::Minimal, ValueLayout::Padded})
    {
        SCOPED_TRACE(layout == ValueLayout::Minimal ? "minimal" : "padded");
        Bytes file;
        AppendValueStream(file, EdgeValues(), layout);
        const std::size_t end = file.size();
        const Bytes padded = WithTail(file);
        ReferenceReader reader(padded);
        EXPECT_EQ(reader.ReadValueStream(EdgeValues().size()), EdgeValues());
        EXPECT_EQ(reader.Position(), end);
    }
}

TEST(AppendValueStream, SmallValuesGetOnePlaneAndZerosNone)
{
    // First value, then the length stream of one dummy symbol: a stream of one value.
    Bytes single;
    AppendValueStream(single, Ints{-9});
    EXPECT_EQ(LoadLE<std::int32_t>(single.data()), -9);
    EXPECT_EQ(single.size(), 4 + EncodeSymbols(Bytes{}).bytes.size());

    Bytes zeros;
    AppendValueStream(zeros, Ints{1000, 0, 0, 0});
    EXPECT_EQ(zeros.size(), 4 + EncodeSymbols(Bytes{0, 0, 0}).bytes.size());

    // Byte counts 1, 1 and 0 with signs: h = 2, 3, 0; then one plane of two symbols.
    Bytes small;
    AppendValueStream(small, Ints{0, 7, -200, 0});
    const EncodedStream lengths = EncodeSymbols(Bytes{2, 3, 0});
    const std::size_t planeAt = 4 + lengths.bytes.size();
    ASSERT_EQ(small.size(), planeAt + 4 + EncodeSymbols(Bytes{7, 200}).bytes.size());
    EXPECT_EQ(LoadLE<std::uint32_t>(small.data() + planeAt), 2u);
}

TEST(ChunkSizes, MillionPointChunksUntilAtMostTwoMillionRemain)
{
    using Sizes = std::vector<std::uint32_t>;
    EXPECT_EQ(ChunkSizes(1), Sizes{1});
    EXPECT_EQ(ChunkSizes(1000000), Sizes{1000000});
    EXPECT_EQ(ChunkSizes(2000000), Sizes{2000000});
    EXPECT_EQ(ChunkSizes(2000001), (Sizes{1000000, 1000001}));
    EXPECT_EQ(ChunkSizes(2500000), (Sizes{1000000, 1500000}));
    EXPECT_EQ(ChunkSizes(3000000), (Sizes{1000000, 2000000}));
    EXPECT_EQ(ChunkSizes(5000001), (Sizes{1000000, 1000000, 1000000, 1000000, 1000001}));
}

Bytes Archive(const Bytes& las, char mode, EncodeOptions options = {})
{
    return BuildArchive({ArchiveInput{ArchiveInput::Name("a.las"), mode, las, options}});
}

TEST(EncodeEntry, SurveysOfEveryVersionAndFormatRoundTripInEveryMode)
{
    for (std::uint8_t version = 0; version <= 2; ++version)
    {
        for (std::uint8_t format = 0; format <= 3; ++format)
        {
            for (const std::uint32_t points : {1u, 2u, 3u, 4u, 5u, 3000u})
            {
                const Bytes las = SurveyBytes(version, format, points, points % 3);
                for (const char mode : {kCodedMode, kVlrFreeMode, kRawMode})
                {
                    SCOPED_TRACE(testing::Message()
                                 << "1." << int{version} << " format " << int{format} << ", "
                                 << points << " points, mode " << mode);
                    const Bytes input = mode == kVlrFreeMode ? WithoutDeclaredVlrs(las) : las;
                    ASSERT_EQ(RebuiltLasFile(input, mode), input);
                    ASSERT_EQ(ReferenceRebuild(Archive(input, mode), "a.las"), input);
                }
            }
        }
    }
}

TEST(EncodeEntry, PaddedValuesAndNoisyBitFieldsRebuildTheSameFile)
{
    const Bytes las = SurveyBytes(2, 3, 2000);
    EncodeOptions odd;
    odd.valueLayout = ValueLayout::Padded;
    odd.noisyBitFields = true;
    odd.headerPadding = 0xA5;
    const Bytes archive = Archive(las, kCodedMode, odd);
    EXPECT_NE(archive, Archive(las, kCodedMode));
    EXPECT_EQ(ReferenceRebuild(archive, "a.las"), las);
}

TEST(EncodeEntry, VlrFreeModeDropsTheDeclaredCountButKeepsTheBytes)
{
    const Bytes las = SurveyBytes(2, 1, 10, 2);
    const Bytes rebuilt = ReferenceRebuild(Archive(las, kVlrFreeMode), "a.las");
    EXPECT_EQ(rebuilt, RebuiltLasFile(las, kVlrFreeMode));
    EXPECT_EQ(rebuilt, WithoutDeclaredVlrs(las));
}

TEST(EncodeEntry, RawModeCopiesRecordsWithExtraBytes)
{
    const Bytes las = SurveyBytes(1, 2, 50, 1, 7);
    EXPECT_EQ(ReferenceRebuild(Archive(las, kRawMode), "a.las"), las);
    EXPECT_EQ(ReferenceRebuild(Archive(SurveyBytes(2, 0, 0), kRawMode), "a.las"),
              SurveyBytes(2, 0, 0));
}

TEST(EncodeEntry, EntriesTheCodedModesCannotCarryAreRefused)
{
    EXPECT_THROW(EncodeEntry(SurveyBytes(2, 1, 0), kCodedMode), std::invalid_argument);
    EXPECT_THROW(EncodeEntry(SurveyBytes(2, 1, 10, 0, 4), kCodedMode), std::invalid_argument);
    Bytes format4 = SurveyBytes(2, 1, 10);
    format4[104] = 4;
    EXPECT_THROW(EncodeEntry(format4, kCodedMode), std::invalid_argument);
    EXPECT_NO_THROW(EncodeEntry(format4, kRawMode));
    Bytes truncated = SurveyBytes(2, 1, 10);
    truncated.pop_back();
    EXPECT_THROW(EncodeEntry(truncated, kRawMode), std::invalid_argument);
    EXPECT_THROW(EncodeEntry(SurveyBytes(2, 1, 10), 'X'), std::invalid_argument);
}

TEST(EncodeEntry, HeaderImagePutsFieldsAtTheirAlignedOffsets)
{
    const Bytes las = SurveyBytes(1, 3, 5, 1);
    EncodeOptions options;
    options.headerPadding = 0xEE;
    const Bytes entry = EncodeEntry(las, kVlrFreeMode, options);
    EXPECT_EQ(entry[0], 'V');
    EXPECT_EQ(Bytes(entry.begin() + 1, entry.begin() + 100),
              Bytes(las.begin() + 1, las.begin() + 100));
    EXPECT_EQ(entry[104], 3);
    EXPECT_EQ(entry[105], 0xEE);
    EXPECT_EQ(LoadLE<std::uint16_t>(entry.data() + 106), 34);
    EXPECT_EQ(LoadLE<std::uint32_t>(entry.data() + 108), 5u);
    EXPECT_EQ(Bytes(entry.begin() + 132, entry.begin() + 136), Bytes(4, 0xEE));
    EXPECT_EQ(Bytes(entry.begin() + 136, entry.begin() + 232),
              Bytes(las.begin() + 131, las.begin() + 227));
}

TEST(BuildArchive, DirectoryLocatesEveryEntryAndKeepsNamesAsGiven)
{
    const Bytes first = SurveyBytes(2, 0, 3);
    const Bytes second = SurveyBytes(0, 2, 4);
    const Bytes longName(256, 'n');
    const Bytes archive = BuildArchive({{ArchiveInput::Name("first.las"), kCodedMode, first, {}},
                                        {longName, kRawMode, second, {}},
                                        {ArchiveInput::Name("First.las"), kRawMode, second, {}}});
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 4), (Bytes{0x1D, 0x2C, 0x3B, 0x4A}));
    EXPECT_EQ(LoadLE<std::uint32_t>(archive.data() + archive.size() - 4), 3u);
    const std::size_t directory = archive.size() - 4 - 3 * kDirectoryEntryBytes;
    EXPECT_EQ(LoadLE<std::uint32_t>(archive.data() + directory), 4u);
    const std::uint8_t* second268 = archive.data() + directory + kDirectoryEntryBytes;
    EXPECT_EQ(Bytes(second268 + 12, second268 + 268), longName);
    EXPECT_EQ(ReferenceRebuild(archive, "first.las"), first);
    EXPECT_EQ(ReferenceRebuild(archive, std::string(256, 'n')), second);
    EXPECT_EQ(ReferenceRebuild(archive, "First.las"), second);
    EXPECT_THROW(BuildArchive({{Bytes(257, 'n'), kRawMode, second, {}}}), std::invalid_argument);
}

} // namespace
} // namespace telvora::testenc
