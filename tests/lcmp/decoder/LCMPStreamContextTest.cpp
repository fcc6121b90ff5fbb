#include "lcmp/LCMPStreamContext.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ArchiveBytes.h"
#include "TestFiles.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "lcmp/MemoryByteSource.h"

namespace telvora::test
{
namespace
{

std::string ErrorOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const CLasException& error)
    {
        return error.GetErrorText();
    }
    return "no exception";
}

TEST(LCMPStreamContextChunks, MillionPointChunksWhileMoreThanTwoMillionRemain)
{
    using Sizes = std::vector<std::uint32_t>;
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(1), Sizes{1});
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(1'000'000), Sizes{1'000'000});
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(2'000'000), Sizes{2'000'000});
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(2'000'001), (Sizes{1'000'000, 1'000'001}));
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(2'500'000), (Sizes{1'000'000, 1'500'000}));
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(3'000'000), (Sizes{1'000'000, 2'000'000}));
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(4'000'000), (Sizes{1'000'000, 1'000'000, 2'000'000}));
    EXPECT_EQ(LCMPStreamContext::ChunkSizes(4'294'967'295u).size(), 4294u);
    EXPECT_EQ(LCMPStreamContext::StreamsPerChunk(0), 12);
    EXPECT_EQ(LCMPStreamContext::StreamsPerChunk(1), 13);
    EXPECT_EQ(LCMPStreamContext::StreamsPerChunk(2), 15);
    EXPECT_EQ(LCMPStreamContext::StreamsPerChunk(3), 16);
}

struct ValueResult
{
    std::vector<std::int32_t> values;
    std::int64_t position = 0;
};

ValueResult ReadValues(const Bytes& stream, std::uint32_t n)
{
    Bytes file = stream;
    // Whatever follows must not be touched.
    Append(file, ConstantStream(3));
    MemoryByteSource source(file.data(), file.size());
    LCMPStreamContext context;
    ValueResult result;
    result.values.assign(n, -12345);
    context.ReadValueStream(source, result.values.data(), n);
    result.position = source.Position();
    return result;
}

TEST(ReadValueStream, ByteCountsOfZeroGiveZerosWithoutAnyPlane)
{
    // Every length symbol 1: sign set, no bytes. No plane follows.
    const ValueResult result = ReadValues(ConstantValueStream(5, -77, 1), 5);
    EXPECT_EQ(result.values, (std::vector<std::int32_t>{-77, 0, 0, 0, 0}));
    EXPECT_EQ(result.position, 4 + 515);
}

TEST(ReadValueStream, LargestByteCountOneIsFollowedByExactlyOnePlane)
{
    const ValueResult result = ReadValues(ConstantValueStream(4, 1, 2, {0xAB}), 4);
    EXPECT_EQ(result.values, (std::vector<std::int32_t>{1, 0xAB, 0xAB, 0xAB}));
    EXPECT_EQ(result.position, 4 + 515 + 4 + 515);
}

TEST(ReadValueStream, PlanesFillBytesFromLowToHighAndSignNegates)
{
    const ValueResult negative = ReadValues(ConstantValueStream(3, 0, 2 * 3 + 1, {1, 2, 3}), 3);
    EXPECT_EQ(negative.values, (std::vector<std::int32_t>{0, -0x030201, -0x030201}));
    // A byte count above 4 acts as 4.
    const ValueResult wide = ReadValues(ConstantValueStream(2, 0, 2 * 9, {1, 2, 3, 0x84}), 2);
    EXPECT_EQ(wide.values, (std::vector<std::int32_t>{0, static_cast<std::int32_t>(0x84030201u)}));
    EXPECT_EQ(wide.position, 4 + 515 + 4 * (4 + 515));
}

TEST(ReadValueStream, SingleValueStillConsumesTheLengthStream)
{
    const ValueResult result = ReadValues(ConstantValueStream(1, 42), 1);
    EXPECT_EQ(result.values, (std::vector<std::int32_t>{42}));
    EXPECT_EQ(result.position, 4 + 515);
}

TEST(ReadValueStream, DamagedPlaneCountsAreRefused)
{
    // Four values after the first, each one byte long.
    Bytes tooMany;
    AppendU32(tooMany, 0);
    Append(tooMany, ConstantStream(2));
    AppendU32(tooMany, 5);
    Append(tooMany, ConstantStream(9));
    EXPECT_EQ(ErrorOf([&] { ReadValues(tooMany, 5); }),
              "The archive entry has a damaged value stream!");

    Bytes tooFew;
    AppendU32(tooFew, 0);
    Append(tooFew, ConstantStream(2));
    AppendU32(tooFew, 3);
    Append(tooFew, ConstantStream(9));
    EXPECT_EQ(ErrorOf([&] { ReadValues(tooFew, 5); }),
              "The archive entry has a damaged value stream!");

    const Bytes cut = {1, 2};
    EXPECT_EQ(ErrorOf([&] { ReadValues(cut, 5); }), "The archive entry is truncated!");
}

// The LAS file the decoder must write: the header with mode byte 'L', the bytes between header
// and points, then the records.
Bytes ExpectedLas(LasHeader header, const Bytes& between, const Bytes& records)
{
    header.fileSignature[0] = 'L';
    unsigned char image[LasHeader::kImageSize];
    SerializeLasHeader(header, image);
    Bytes file(image, image + sizeof image);
    Append(file, between);
    Append(file, records);
    return file;
}

Bytes ZeroChunkRecords(const LasHeader& header)
{
    const EntryFields fields;
    Bytes records = FirstRecord(header, fields, false);
    for (std::uint32_t i = 1; i < header.numberOfPointRecords; ++i)
    {
        Append(records, FirstRecord(header, fields, true));
    }
    return records;
}

class Rebuild : public testing::Test
{
protected:
    // Runs RebuildLasFile on the entry data and returns the written file.
    Bytes Run(const Bytes& entry, const std::atomic<bool>* cancel = nullptr)
    {
        MemoryByteSource source(entry.data(), entry.size());
        target.Clear();
        target.SetPath(output.c_str());
        complete = context.RebuildLasFile(&source, target, &progress, cancel);
        return ReadAll(output);
    }

    TempDir temp;
    std::string output = temp.File("out.las");
    LCMPStreamContext context;
    CLasFile target;
    std::atomic<std::int32_t> progress{0};
    bool complete = false;
};

TEST_F(Rebuild, CodedEntriesOfEveryFormatGiveTheirRecords)
{
    for (std::uint8_t format = 0; format <= 3; ++format)
    {
        const LasHeader header = MakeHeader(format, 6);
        const Bytes written = Run(EntryData(header, 'L', {}, ZeroChunks(header)));
        EXPECT_TRUE(complete);
        EXPECT_EQ(written, ExpectedLas(header, {}, ZeroChunkRecords(header)))
            << "format " << int(format);
        EXPECT_EQ(context.StreamsTotal(), LCMPStreamContext::StreamsPerChunk(format));
        EXPECT_EQ(context.StreamsDone(), 0);
        EXPECT_EQ(context.Ratio(), 0.0);
    }
}

TEST_F(Rebuild, SinglePointEntryDecodesEveryStreamOnce)
{
    const LasHeader header = MakeHeader(3, 1);
    const Bytes written = Run(EntryData(header, 'L', {}, ZeroChunks(header)));
    EXPECT_EQ(written, ExpectedLas(header, {}, ZeroChunkRecords(header)));
}

TEST_F(Rebuild, ModeVDeclaresNoRecordsButRestoresTheirBytes)
{
    LasHeader header = MakeHeader(1, 3);
    Bytes vlr(54 + 6, 0x33);
    vlr[20] = 6;
    vlr[21] = 0;
    header.numberOfVariableLengthRecords = 1;
    header.offsetToPointData = 227 + 60;
    const Bytes written = Run(EntryData(header, 'V', vlr, ZeroChunks(header)));
    LasHeader rebuilt = header;
    rebuilt.numberOfVariableLengthRecords = 0;
    EXPECT_EQ(written, ExpectedLas(rebuilt, vlr, ZeroChunkRecords(header)));
}

TEST_F(Rebuild, OtherModeBytesWriteTheHeaderUnchanged)
{
    const LasHeader header = MakeHeader(0, 2);
    const Bytes written = Run(EntryData(header, 'X', {}, ZeroChunks(header)));
    ASSERT_GT(written.size(), 4u);
    EXPECT_EQ(std::string(written.begin(), written.begin() + 4), "XASF");
}

TEST_F(Rebuild, RawModeCopiesRecordsOfAnyLengthUnchanged)
{
    constexpr std::size_t kRecords = 3;
    LasHeader header = MakeHeader(0, kRecords);
    header.pointDataRecordLength = 23;
    Bytes records(kRecords * 23);
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        records[i] = static_cast<unsigned char>(i * 13 + 1);
    }
    EXPECT_EQ(Run(EntryData(header, 'O', {}, records)), ExpectedLas(header, {}, records));
    EXPECT_EQ(progress.load(), 100);

    header.pointDataRecordLength = 20;
    records.resize(kRecords * 20);
    EXPECT_EQ(Run(EntryData(header, 'O', {}, records)), ExpectedLas(header, {}, records));

    header.pointDataRecordLength = 12;
    records.resize(kRecords * 12);
    EXPECT_EQ(Run(EntryData(header, 'O', {}, records)), ExpectedLas(header, {}, records));
}

TEST_F(Rebuild, RawModeAboveFormat3WritesHeaderAndVlrBytesOnly)
{
    LasHeader header = MakeHeader(0, 3);
    header.pointDataFormatId = 5;
    header.pointDataRecordLength = 63;
    EXPECT_EQ(Run(EntryData(header, 'O', {}, Bytes(100, 1))), ExpectedLas(header, {}, {}));
}

TEST_F(Rebuild, RawModeShortOfRecordsIsTruncatedAndWritesNothing)
{
    const LasHeader header = MakeHeader(1, 3);
    EXPECT_EQ(ErrorOf([&] { Run(EntryData(header, 'O', {}, Bytes(28 * 2 + 5, 0))); }),
              "The archive entry is truncated!");
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(Rebuild, EntriesTheCodedFormCannotHoldAreRefused)
{
    const LasHeader none = MakeHeader(1, 0);
    EXPECT_EQ(ErrorOf([&] { Run(EntryData(none, 'L', {}, ZeroChunks(MakeHeader(1, 1)))); }),
              "The archive entry holds no points to decode!");

    LasHeader format4 = MakeHeader(1, 2);
    format4.pointDataFormatId = 4;
    EXPECT_EQ(ErrorOf([&] { Run(EntryData(format4, 'L', {}, ZeroChunks(MakeHeader(1, 2)))); }),
              "The archive entry has a point format that cannot be decoded!");

    for (const std::uint16_t length : {29, 27, 0})
    {
        LasHeader odd = MakeHeader(1, 2);
        odd.pointDataRecordLength = length;
        EXPECT_EQ(ErrorOf([&] { Run(EntryData(odd, 'L', {}, ZeroChunks(MakeHeader(1, 2)))); }),
                  "The archive entry has a point record length that cannot be decoded!");
    }
}

TEST_F(Rebuild, TruncatedEntriesFailWithoutDecodingClaimedPoints)
{
    const LasHeader header = MakeHeader(3, 6);
    const Bytes full = EntryData(header, 'L', {}, ZeroChunks(header));
    EXPECT_EQ(ErrorOf([&] { Run(Bytes(full.begin(), full.begin() + 100)); }),
              "The archive entry is truncated!");
    // A header claiming four billion points over a few streams is refused before anything is
    // written for it.
    const LasHeader huge = MakeHeader(3, 4'000'000'000u);
    EXPECT_EQ(ErrorOf([&] { Run(EntryData(huge, 'L', {}, ZeroChunks(header))); }),
              "The archive entry is truncated!");
    EXPECT_FALSE(std::filesystem::exists(output));
    // Fewer bytes than the chunk's streams take at least: refused before decoding.
    EXPECT_EQ(ErrorOf([&] { Run(Bytes(full.begin(), full.end() - 700)); }),
              "The archive entry is truncated!");

    // The last stream, Blue, with a plane of zeros after its length stream: 519 bytes more than
    // the least, so that cuts in it pass the check above and reach the decoder: cut in the
    // plane's table (300 before the end) and in the plane's end marker (1).
    Bytes longer(full.begin(), full.end() - 519);
    Append(longer, ConstantValueStream(6, 30, 2, {0}));
    ASSERT_EQ(Run(longer), ExpectedLas(header, {}, ZeroChunkRecords(header)));
    for (const std::size_t cut : {300, 1})
    {
        EXPECT_EQ(ErrorOf([&] { Run(Bytes(longer.begin(), longer.end() - cut)); }),
                  "The archive entry is truncated!")
            << cut;
    }
}

TEST_F(Rebuild, SizeAnnouncedBeforeWritingIsTheSizeWritten)
{
    LasHeader withVlr = MakeHeader(0, 4);
    withVlr.numberOfVariableLengthRecords = 1;
    withVlr.offsetToPointData = 227 + 60;
    Bytes vlr(60, 0x33);
    vlr[20] = 6;
    vlr[21] = 0;
    LasHeader signature = MakeHeader(2, 3);
    signature.offsetToPointData = 229;
    LasHeader format5 = MakeHeader(0, 3);
    format5.pointDataFormatId = 5;
    struct Case
    {
        const char* what;
        Bytes entry;
    };
    const Case cases[] = {
        {"coded", EntryData(withVlr, 'L', vlr, ZeroChunks(withVlr))},
        {"coded, VLRs moved", EntryData(withVlr, 'V', vlr, ZeroChunks(withVlr))},
        {"coded, LAS 1.0 start signature", EntryData(signature, 'L', {}, ZeroChunks(signature))},
        {"raw", EntryData(withVlr, 'O', vlr, Bytes(std::size_t{4} * 20, 7))},
        {"raw, format above 3", EntryData(format5, 'O', {}, {})},
    };
    auto rebuild = [&](const Bytes& entry, const std::function<void(std::uint64_t)>& check)
    {
        MemoryByteSource source(entry.data(), entry.size());
        target.Clear();
        target.SetPath(output.c_str());
        return context.RebuildLasFile(&source, target, nullptr, nullptr, check);
    };
    // A refusal comes before the first byte.
    EXPECT_EQ(ErrorOf(
                  [&] {
                      (void)rebuild(cases[0].entry,
                                    [](std::uint64_t) { throw CLasException("refused"); });
                  }),
              "refused");
    EXPECT_FALSE(std::filesystem::exists(output));

    for (const Case& c : cases)
    {
        std::uint64_t announced = 0;
        ASSERT_TRUE(rebuild(c.entry, [&](std::uint64_t bytes) { announced = bytes; })) << c.what;
        EXPECT_EQ(announced, ReadAll(output).size()) << c.what;
    }
}

TEST_F(Rebuild, DamagedVlrBlocksAreRefused)
{
    LasHeader header = MakeHeader(0, 2);
    header.numberOfVariableLengthRecords = 1;
    header.offsetToPointData = 100;
    EXPECT_EQ(ErrorOf([&] { Run(EntryData(header, 'L', {}, ZeroChunks(header))); }),
              "The archive entry has a damaged VLR block!");
    // A block longer than the archive.
    header.offsetToPointData = 227 + 100000;
    EXPECT_EQ(ErrorOf([&] { Run(EntryData(header, 'L', {}, ZeroChunks(header))); }),
              "The archive entry is truncated!");
}

TEST_F(Rebuild, VlrCountBeyondTheBlockStillRestoresTheBytes)
{
    LasHeader header = MakeHeader(0, 2);
    header.numberOfVariableLengthRecords = 4'000'000'000u;
    header.offsetToPointData = 227 + 10;
    const Bytes between(10, 0x44);
    EXPECT_EQ(Run(EntryData(header, 'L', between, ZeroChunks(header))),
              ExpectedLas(header, between, ZeroChunkRecords(header)));
}

TEST_F(Rebuild, MissingArchiveFailsWithFileCouldNotOpen)
{
    target.SetPath(output.c_str());
    EXPECT_EQ(ErrorOf([&] { (void)context.RebuildLasFile(nullptr, target, nullptr); }),
              "File could not open.");
}

// Sets the flag once the context has finished so many streams, and records what the counters
// said at every read.
class WatchingSource final : public IByteSource
{
public:
    WatchingSource(const Bytes& bytes, const LCMPStreamContext& watched, std::atomic<bool>& flag,
                   int cancelAfter)
        : inner(bytes.data(), bytes.size())
        , context(watched)
        , cancel(flag)
        , streams(cancelAfter)
    {
    }
    std::size_t Read(void* buffer, std::size_t size) override
    {
        done.push_back(context.StreamsDone());
        ratios.push_back(context.Ratio());
        if (context.StreamsDone() >= streams)
        {
            cancel = true;
        }
        return inner.Read(buffer, size);
    }
    bool Seek(std::int64_t offset) override { return inner.Seek(offset); }
    std::int64_t Position() const override { return inner.Position(); }
    std::int64_t Size() const override { return inner.Size(); }

    std::vector<int> done;
    std::vector<double> ratios;

private:
    MemoryByteSource inner;
    const LCMPStreamContext& context;
    std::atomic<bool>& cancel;
    int streams;
};

TEST_F(Rebuild, CountersRiseStreamByStream)
{
    const LasHeader header = MakeHeader(0, 5);
    const Bytes entry = EntryData(header, 'L', {}, ZeroChunks(header));
    std::atomic<bool> cancel{false};
    WatchingSource source(entry, context, cancel, 1000);
    target.SetPath(output.c_str());
    ASSERT_TRUE(context.RebuildLasFile(&source, target, nullptr, &cancel));
    // Streams are decoded in pairs where the next one is known, the second beside the first; the
    // last one (intensity, no plane behind its lengths) is alone: its reads see 11 done.
    EXPECT_EQ(source.done.front(), 0);
    EXPECT_EQ(source.done.back(), 11);
    EXPECT_TRUE(std::is_sorted(source.done.begin(), source.done.end()));
    // After the first pair: header image and two 515-byte streams against 5 points of 8 bits
    // and 5 of 1 bit.
    const auto second = std::find(source.done.begin(), source.done.end(), 2);
    ASSERT_NE(second, source.done.end());
    EXPECT_DOUBLE_EQ(source.ratios[static_cast<std::size_t>(second - source.done.begin())],
                     (232.0 + 2 * 515.0) * 8.0 / 45.0);
}

TEST_F(Rebuild, CancelBetweenStreamsStopsWritingAndReportsIt)
{
    const LasHeader header = MakeHeader(3, 5);
    const Bytes entry = EntryData(header, 'L', {}, ZeroChunks(header));
    std::atomic<bool> cancel{false};
    WatchingSource source(entry, context, cancel, 3);
    target.SetPath(output.c_str());
    EXPECT_FALSE(context.RebuildLasFile(&source, target, nullptr, &cancel));
    // The header was written before the first stream; no record followed.
    EXPECT_EQ(ReadAll(output).size(), 227u);
    // No stream after the one that saw the flag was started.
    const auto seen =
        std::find_if(source.done.begin(), source.done.end(), [](int d) { return d >= 3; });
    ASSERT_NE(seen, source.done.end());
    EXPECT_EQ(source.done.back(), *seen);
}

} // namespace
} // namespace telvora::test
