#include "lcmp/LCMPFile.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ArchiveBytes.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "las/LasException.h"
#include "lcmp/MemoryByteSource.h"

namespace telvora::test
{
namespace
{

namespace fs = std::filesystem;

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

Bytes PointsEntry(std::uint32_t points, std::int32_t x = 1000)
{
    const LasHeader header = MakeHeader(1, points);
    EntryFields fields;
    fields.x = x;
    return EntryData(header, 'L', {}, ZeroChunks(header, fields));
}

std::vector<std::string> FilesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
    {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class LcmpArchive : public testing::Test
{
protected:
    std::string Write(const Bytes& bytes, const std::string& name = "archive.lcmp")
    {
        std::string path = temp.File(name);
        WriteAll(path, bytes);
        return path;
    }
    std::string Folder() const { return (temp.Path() / "out").string() + "/"; }
    void SetUp() override { fs::create_directory(temp.Path() / "out"); }

    TempDir temp;
    LCMPFile file;
};

TEST_F(LcmpArchive, EntryIsWrittenAsFolderPlusName)
{
    const std::string path = Write(Archive({{"a.las", PointsEntry(4)}}));
    EXPECT_EQ(file.DecompressEntry(path.c_str(), "a.las", Folder().c_str()),
              DecompressResult::Complete);
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{"a.las"});
    EXPECT_EQ(ReadAll(Folder() + "a.las").size(), 227u + 4 * 28);
    EXPECT_EQ(file.FoundIndex(), 0);
    EXPECT_EQ(file.EntryCount(), 0);
    // A folder without its trailing separator gets one.
    const std::string bare = (temp.Path() / "out").string();
    fs::remove(Folder() + "a.las");
    EXPECT_EQ(file.DecompressEntry(path.c_str(), "a.las", bare.c_str()),
              DecompressResult::Complete);
    EXPECT_TRUE(fs::exists(Folder() + "a.las"));
}

TEST_F(LcmpArchive, FirstOfTwoEqualNamesIsTakenAndLetterCaseCounts)
{
    const std::string path = Write(Archive({{"b.las", PointsEntry(2, 111)},
                                            {"B.las", PointsEntry(2, 222)},
                                            {"b.las", PointsEntry(2, 333)}}));
    auto xOf = [](const std::string& las)
    {
        const Bytes bytes = ReadAll(las);
        return static_cast<int>(bytes[227]) | static_cast<int>(bytes[228]) << 8;
    };
    ASSERT_EQ(file.DecompressEntry(path.c_str(), "b.las", Folder().c_str()),
              DecompressResult::Complete);
    EXPECT_EQ(xOf(Folder() + "b.las"), 111);
    ASSERT_EQ(file.DecompressEntry(path.c_str(), "B.las", Folder().c_str()),
              DecompressResult::Complete);
    EXPECT_EQ(file.FoundIndex(), 1);
    EXPECT_EQ(xOf(Folder() + "B.las"), 222);
}

TEST_F(LcmpArchive, ContainerErrorsHaveTheirMessages)
{
    EXPECT_EQ(ErrorOf(
                  [&] {
                      (void)file.DecompressEntry(temp.File("missing").c_str(), "a.las",
                                                 Folder().c_str());
                  }),
              "Error opening archive!");
    const std::string empty = Write({}, "empty.lcmp");
    EXPECT_EQ(
        ErrorOf([&] { (void)file.DecompressEntry(empty.c_str(), "a.las", Folder().c_str()); }),
        "LCMP cannot be checked!");
    Bytes wrong = Archive({{"a.las", PointsEntry(2)}});
    wrong[0] = 0x1E;
    const std::string wrongPath = Write(wrong, "wrong.lcmp");
    EXPECT_EQ(
        ErrorOf([&] { (void)file.DecompressEntry(wrongPath.c_str(), "a.las", Folder().c_str()); }),
        "Wrong file format!");
    MemoryByteSource wrongSource(wrong.data(), wrong.size());
    EXPECT_EQ(ErrorOf([&] { file.ReadEntryCount(wrongSource); }), "Wrong file format!");
    EXPECT_EQ(ErrorOf([&] { file.ReadDirectory(wrongSource); }), "Wrong file format!");
    const Bytes tiny = {0x1D, 0x2C};
    MemoryByteSource tinySource(tiny.data(), tiny.size());
    EXPECT_EQ(ErrorOf([&] { file.ReadEntryCount(tinySource); }), "Wrong file format!");

    const std::string path = Write(Archive({{"a.las", PointsEntry(2)}}));
    EXPECT_EQ(ErrorOf([&] { (void)file.DecompressEntry(path.c_str(), "c.las", Folder().c_str()); }),
              "LAS file not found in archive!");
    EXPECT_EQ(file.EntryCount(), 0);
    EXPECT_TRUE(file.Directory().empty());
    EXPECT_TRUE(FilesIn(temp.Path() / "out").empty());
}

TEST_F(LcmpArchive, CountBeyondTheFileCannotReadTheDirectory)
{
    // 1000 bytes whose count says 10: the directory would start 2684 bytes before the end.
    Bytes bytes(1000, 0);
    bytes[0] = 0x1D;
    bytes[1] = 0x2C;
    bytes[2] = 0x3B;
    bytes[3] = 0x4A;
    bytes[996] = 10;
    MemoryByteSource source(bytes.data(), bytes.size());
    file.ReadEntryCount(source);
    EXPECT_EQ(file.EntryCount(), 10);
    EXPECT_EQ(ErrorOf([&] { file.ReadDirectory(source); }), "Cannot read LCMPFile file headers");
    // A count with the top bit set is no negative span either.
    bytes[999] = 0x80;
    MemoryByteSource huge(bytes.data(), bytes.size());
    EXPECT_EQ(ErrorOf([&] { file.ReadDirectory(huge); }), "Cannot read LCMPFile file headers");
}

TEST_F(LcmpArchive, ListGivesNamesInDirectoryOrder)
{
    Bytes full(256, 'n');
    const std::string path = Write(Archive(
        {{"z.las", PointsEntry(1)}, {"a.las", PointsEntry(1)}, {"", PointsEntry(1), full}}));
    RecordingNotifier notifier;
    const std::vector<std::string> names = ListArchive(path.c_str(), &notifier);
    EXPECT_EQ(names, (std::vector<std::string>{"z.las", "a.las", std::string(256, 'n')}));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(LcmpArchive, ListReportsFailuresThroughTheNotifier)
{
    RecordingNotifier notifier;
    EXPECT_TRUE(ListArchive(temp.File("missing").c_str(), &notifier).empty());
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].text, "Error opening file!");
    EXPECT_EQ(notifier.shown[0].icon, MessageIcon::Information);

    Bytes wrong = Archive({{"a.las", PointsEntry(1)}});
    wrong[3] = 0;
    EXPECT_TRUE(ListArchive(Write(wrong, "w.lcmp").c_str(), &notifier).empty());
    ASSERT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(notifier.shown[1].text, "Wrong file format!");
    EXPECT_EQ(notifier.shown[1].icon, MessageIcon::Error);

    // A count whose directory would be larger than the file.
    Bytes cut = Archive({{"a.las", PointsEntry(1)}});
    cut[cut.size() - 3] = 1;
    EXPECT_TRUE(ListArchive(Write(cut, "cut.lcmp").c_str(), &notifier).empty());
    ASSERT_EQ(notifier.shown.size(), 3u);
    EXPECT_EQ(notifier.shown[2].text, "Cannot read LCMPFile file headers");
}

TEST_F(LcmpArchive, ListOfNothingIsEmptyAndSilent)
{
    RecordingNotifier notifier;
    EXPECT_TRUE(ListArchive(nullptr, &notifier).empty());
    EXPECT_TRUE(ListArchive("", &notifier).empty());
    EXPECT_TRUE(ListArchive(Write(Archive({}), "none.lcmp").c_str(), &notifier).empty());
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(LcmpArchive, NameFillingAll256BytesIsComparedWithinThem)
{
    const std::string name(256, 'n');
    Bytes raw(name.begin(), name.end());
    const std::string path = Write(Archive({{"", PointsEntry(2), raw}, {"b.las", PointsEntry(1)}}));
    EXPECT_EQ(
        ErrorOf(
            [&]
            { (void)file.DecompressEntry(path.c_str(), (name + "x").c_str(), Folder().c_str()); }),
        "LAS file not found in archive!");
    EXPECT_EQ(ErrorOf(
                  [&] {
                      (void)file.DecompressEntry(path.c_str(), name.substr(1).c_str(),
                                                 Folder().c_str());
                  }),
              "LAS file not found in archive!");
    // Found; but no file system here takes a name of 256 bytes.
    EXPECT_EQ(
        ErrorOf([&] { (void)file.DecompressEntry(path.c_str(), name.c_str(), Folder().c_str()); }),
        "WriteError::File could not be created.");
    EXPECT_EQ(file.FoundIndex(), 0);
    EXPECT_TRUE(FilesIn(temp.Path() / "out").empty());
}

TEST_F(LcmpArchive, LongestFileNameIsWritten)
{
    const std::string name(255, 'n');
    const std::string path = Write(Archive({{name, PointsEntry(2)}}));
    EXPECT_EQ(file.DecompressEntry(path.c_str(), name.c_str(), Folder().c_str()),
              DecompressResult::Complete);
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{name});
}

TEST_F(LcmpArchive, NamesThatAreNoPlainFileNameAreRefused)
{
    const char* names[] = {"../escape.las", "sub/a.las", "/abs.las", "a\\b.las", "..", ".", ""};
    std::vector<Entry> entries;
    for (const char* name : names)
    {
        entries.push_back({name, PointsEntry(1)});
    }
    const std::string path = Write(Archive(entries));
    fs::create_directory(temp.Path() / "out" / "sub");
    for (const char* name : names)
    {
        EXPECT_EQ(
            ErrorOf([&] { (void)file.DecompressEntry(path.c_str(), name, Folder().c_str()); }),
            "The entry name is not a plain file name and cannot be written!")
            << name;
    }
    EXPECT_EQ(FilesIn(temp.Path()), (std::vector<std::string>{"archive.lcmp", "out"}));
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{"sub"});
    EXPECT_TRUE(FilesIn(temp.Path() / "out" / "sub").empty());
}

TEST_F(LcmpArchive, OutputPathOf1024CharactersIsRefused)
{
    const std::string path = Write(Archive({{"a.las", PointsEntry(1)}}));
    const std::string folder = Folder();
    const std::string longName(1023 - folder.size(), 'x');
    EXPECT_EQ(ErrorOf(
                  [&] {
                      (void)file.DecompressEntry(path.c_str(), (longName + "y").c_str(),
                                                 folder.c_str());
                  }),
              "The output path is too long!");
    // One shorter passes the check and only misses the entry.
    EXPECT_EQ(
        ErrorOf([&]
                { (void)file.DecompressEntry(path.c_str(), longName.c_str(), folder.c_str()); }),
        "LAS file not found in archive!");
}

TEST_F(LcmpArchive, FailedEntryLeavesNoPartialFileAndExistingOutputUntouched)
{
    // The Point Source ID stream names one byte for each of its four later values but says its
    // plane holds 1000: the header has been written when this is found.
    const LasHeader header = MakeHeader(0, 5);
    Bytes points;
    for (int s = 0; s < 4; ++s)
    {
        Append(points, ConstantStream(0));
    }
    AppendU32(points, 9);
    Append(points, ConstantStream(2));
    AppendU32(points, 1000);
    Append(points, ConstantStream(1));
    Append(points, Bytes(8000, 0x11));
    const std::string path = Write(Archive({{"a.las", EntryData(header, 'L', {}, points)}}));
    WriteAll(Folder() + "a.las", {'o', 'l', 'd'});
    EXPECT_EQ(ErrorOf([&] { (void)file.DecompressEntry(path.c_str(), "a.las", Folder().c_str()); }),
              "The archive entry has a damaged value stream!");
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{"a.las"});
    EXPECT_EQ(ReadAll(Folder() + "a.las"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(LcmpArchive, ExistingOutputIsKeptUnlessReplacingIsAsked)
{
    const std::string path = Write(Archive({{"a.las", PointsEntry(4)}}));
    WriteAll(Folder() + "a.las", {'o', 'l', 'd'});
    EXPECT_EQ(ErrorOf([&] { (void)file.DecompressEntry(path.c_str(), "a.las", Folder().c_str()); }),
              "The output file already exists!");
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{"a.las"});
    EXPECT_EQ(ReadAll(Folder() + "a.las"), (Bytes{'o', 'l', 'd'}));

    EXPECT_EQ(file.DecompressEntry(path.c_str(), "a.las", Folder().c_str(), nullptr,
                                   ExistingOutput::Replace),
              DecompressResult::Complete);
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{"a.las"});
    EXPECT_EQ(ReadAll(Folder() + "a.las").size(), 227u + 4 * 28);
}

TEST_F(LcmpArchive, DataOffsetPastTheEndFailsCleanly)
{
    Bytes bytes = Archive({{"a.las", PointsEntry(2)}});
    // The directory entry's data offset sits 268 + 4 bytes before the end.
    const std::size_t at = bytes.size() - 4 - 268;
    bytes[at + 3] = 0x7F;
    const std::string path = Write(bytes);
    EXPECT_EQ(ErrorOf([&] { (void)file.DecompressEntry(path.c_str(), "a.las", Folder().c_str()); }),
              "The archive entry is truncated!");
    EXPECT_TRUE(FilesIn(temp.Path() / "out").empty());
}

TEST_F(LcmpArchive, CancelledEntryWritesNothing)
{
    const std::string path = Write(Archive({{"a.las", PointsEntry(3)}}));
    WriteAll(Folder() + "a.las", {'o', 'l', 'd'});
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(file.DecompressEntry(path.c_str(), "a.las", Folder().c_str(), &cancel),
              DecompressResult::Cancelled);
    EXPECT_EQ(FilesIn(temp.Path() / "out"), std::vector<std::string>{"a.las"});
    EXPECT_EQ(ReadAll(Folder() + "a.las"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(LcmpArchive, MemoryArchiveDecompressesLikeAFile)
{
    const Bytes bytes = Archive({{"m.las", PointsEntry(3)}});
    MemoryByteSource source(bytes.data(), bytes.size());
    EXPECT_EQ(file.DecompressEntry(source, "m.las", Folder().c_str()), DecompressResult::Complete);
    EXPECT_EQ(ReadAll(Folder() + "m.las").size(), 227u + 3 * 28);
    file.ReleaseArchive();
    EXPECT_TRUE(file.Directory().empty());
}

Bytes MagicAndZeros(std::size_t size)
{
    Bytes bytes(size, 0);
    const unsigned char magic[] = {0x1D, 0x2C, 0x3B, 0x4A};
    std::copy(magic, magic + 4, bytes.begin());
    return bytes;
}

// Where an archive is cut: the bytes up to `keep` of its only entry's data, then its directory and
// count unchanged.
Bytes CutEntry(const Bytes& archive, std::size_t keep)
{
    const std::size_t directory = archive.size() - 4 - 268;
    Bytes cut(archive.begin(), archive.begin() + 4 + static_cast<std::ptrdiff_t>(keep));
    cut.insert(cut.end(), archive.begin() + static_cast<std::ptrdiff_t>(directory), archive.end());
    return cut;
}

// Each damaged archive gets its fixed text and a detail naming the archive (and the entry) and
// what is wrong, worked out here from the layout: magic number (bytes 0-3), the entry from byte
// 4 (its 232-byte header, then its records or streams), the 268-byte directory, the count.
TEST_F(LcmpArchive, DamagedArchivesFailWithTheirMessageAndDetailAndLeaveNothing)
{
    // Format 1, five points: 7 byte streams of 515 bytes and 7 value streams of 519 after the
    // header, so the entry has 232 + 7238 = 7470 bytes and the directory starts at 7474.
    const Bytes coded = Archive({{"a.las", PointsEntry(5)}});
    ASSERT_EQ(coded.size(), 4u + 7470 + 268 + 4);
    const LasHeader rawHeader = MakeHeader(1, 10);
    const Bytes raw =
        Archive({{"a.las", EntryData(rawHeader, 'O', {}, Bytes(std::size_t{10} * 28, 0x5A))}});
    Bytes topBit = coded;
    topBit[topBit.size() - 1] = 0x80;
    Bytes tooMany = coded;
    tooMany[tooMany.size() - 4] = 0xE8;
    tooMany[tooMany.size() - 3] = 0x03;
    // Count 1 in a file of 275 bytes: the directory would cover the magic number.
    Bytes overMagic = MagicAndZeros(275);
    overMagic[271] = 1;
    // The file ends 100 bytes into the directory: its last four bytes, taken for the count, are
    // zeros of the name field.
    const Bytes cutDirectory(coded.begin(), coded.begin() + 7474 + 100);
    // The first stream (at byte 236, after the header) overwritten: a table in which symbol 0
    // owns 1 of 10000, then zeros. Each symbol decodes as 0 and shifts in at least 13 bits, so
    // after its five symbols the decoder stands ten bytes into a buffer of zeros, where no end
    // marker can be.
    Bytes overwritten = coded;
    std::vector<std::uint16_t> narrow(256, 10000);
    narrow[0] = 1;
    const Bytes table = TableImage(narrow);
    std::copy(table.begin(), table.end(), overwritten.begin() + 236);
    std::fill(overwritten.begin() + 236 + 512, overwritten.begin() + 236 + 512 + 32, 0);

    // Forty points, the same layout: its last stream, the length symbols of the last value
    // stream (39), made a table that gives symbols 0 and 1 half of the interval each, 12 zero
    // bytes and a damaged marker FF FF 01. From zero bits every symbol is 0 and takes exactly
    // one bit, so after 16 + 39 = 55 bits the decoder stands in byte 6 behind the table (at
    // 6959 + 512 + 6 = 7477), whose neighbours hold no marker; the entry's bytes, now up to
    // 7485, are all there.
    const LasHeader forty = MakeHeader(1, 40);
    Bytes chunks = ZeroChunks(forty);
    ASSERT_TRUE(Bytes(chunks.end() - 515, chunks.end()) == ConstantStream(0));
    chunks.resize(chunks.size() - 515);
    std::vector<std::uint16_t> halves(256, 10000);
    halves[0] = 5000;
    Append(chunks, TableImage(halves));
    Append(chunks, Bytes(12, 0));
    Append(chunks, {0xFF, 0xFF, 0x01});
    const Bytes badMarker = Archive({{"a.las", EntryData(forty, 'L', {}, chunks)}});
    ASSERT_EQ(badMarker.size(), 4u + 7470 + 12 + 268 + 4);
    // One byte more than the 255 a name may have on the usual file systems.
    const std::string longName(256, 'n');

    const char* const headers = "Cannot read LCMPFile file headers";
    const char* const truncated = "The archive entry is truncated!";
    struct Case
    {
        const char* what;
        Bytes bytes;
        // What the listing shows (none when it lists its names silently), and the names.
        const char* listed;
        std::vector<std::string> names;
        const char* extracted;
        // The detail after "PATH: " or "a.las in PATH: ".
        std::string detail;
        bool namesTheEntry;
    };
    const Case cases[] = {
        {"count with the top bit set",
         topBit,
         headers,
         {},
         headers,
         "7,746 bytes cannot hold a directory of 2,147,483,649 entries",
         false},
        {"count too large",
         tooMany,
         headers,
         {},
         headers,
         "7,746 bytes cannot hold a directory of 1,000 entries",
         false},
        {"empty file", {}, headers, {}, "LCMP cannot be checked!", "the file is empty", false},
        {"magic number and count only",
         {0x1D, 0x2C, 0x3B, 0x4A, 1, 0, 0, 0},
         headers,
         {},
         headers,
         "8 bytes cannot hold a directory of 1 entry",
         false},
        {"directory over the magic number",
         overMagic,
         headers,
         {},
         headers,
         "275 bytes cannot hold a directory of 1 entry",
         false},
        {"cut inside the directory",
         cutDirectory,
         nullptr,
         {},
         "LAS file not found in archive!",
         "no entry is named a.las",
         false},
        {"raw records cut short",
         CutEntry(raw, 232 + 9 * 28),
         nullptr,
         {"a.las"},
         truncated,
         "10 records of 28 bytes at byte 236 run past the end of the entries' data at byte 488",
         true},
        {"coded entry cut 12 bytes in",
         CutEntry(coded, 12),
         nullptr,
         {"a.las"},
         truncated,
         "the entry's 232-byte header at byte 4 runs past the end of the entries' data at byte 16",
         true},
        // The last stream's table starts at 7474 - 515 = 6959; without its marker the rules take
        // the directory's first bytes (04 00) for the end of its coded bits.
        {"coded entry cut in its last end marker",
         CutEntry(coded, 7470 - 3),
         nullptr,
         {"a.las"},
         truncated,
         "the coded stream at byte 6,959 ends at byte 7,473, past the end of the entries' data "
         "at byte 7,471",
         true},
        {"a stream's bytes overwritten",
         overwritten,
         nullptr,
         {"a.las"},
         "Unable to find stream",
         "the coded stream at byte 236 has no end marker FF FF 00 where its coded bits end, at "
         "byte 758: the marker or the bits before it are damaged",
         true},
        {"the last end marker damaged",
         badMarker,
         nullptr,
         {"a.las"},
         "Unable to find stream",
         "the coded stream at byte 6,959 has no end marker FF FF 00 where its coded bits end, at "
         "byte 7,477: the marker or the bits before it are damaged",
         true},
        {"a name longer than the file system takes",
         Archive({{longName, PointsEntry(5)}}),
         nullptr,
         {longName},
         "WriteError::File could not be created.",
         "the name has 256 bytes, more than the 255 the folder's file system allows",
         true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string path = Write(c.bytes);
        RecordingNotifier notifier;
        EXPECT_EQ(ListArchive(path.c_str(), &notifier), c.names);
        if (c.listed != nullptr)
        {
            ASSERT_EQ(notifier.shown.size(), 1u);
            EXPECT_EQ(notifier.shown[0].text, c.listed);
            EXPECT_EQ(notifier.shown[0].detail, path + ": " + c.detail);
        }
        else
        {
            EXPECT_TRUE(notifier.shown.empty());
        }
        const std::string name = c.names.empty() ? "a.las" : c.names[0];
        try
        {
            (void)file.DecompressEntry(path.c_str(), name.c_str(), Folder().c_str());
            ADD_FAILURE() << "extracted";
        }
        catch (const CLasException& error)
        {
            EXPECT_STREQ(error.GetErrorText(), c.extracted);
            std::string detail = c.namesTheEntry ? name + " in " : std::string();
            detail.append(path).append(": ").append(c.detail);
            EXPECT_EQ(error.GetDetail(), detail);
        }
        EXPECT_TRUE(FilesIn(temp.Path() / "out").empty());
    }
}

} // namespace
} // namespace telvora::test
