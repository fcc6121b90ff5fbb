// libFuzzer target: any bytes as an archive in memory, listed and decompressed into a private
// folder, and as a bare coded stream and value stream. Every failure must be a CLasException;
// anything else (a crash, a sanitizer report, a hang, a huge allocation) is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "las/ByteOrder.h"
#include "las/LasException.h"
#include "lcmp/ArithmeticDecoder.h"
#include "lcmp/LCMPFile.h"
#include "lcmp/LCMPStreamContext.h"
#include "lcmp/MemoryByteSource.h"

namespace
{

using namespace telvora;

// Entries claiming more points are skipped: decoding them is correct but slow, and the fuzzer
// learns nothing from millions of points that a few thousand would not show.
constexpr std::uint32_t kMaxPoints = 200000;
constexpr std::size_t kMaxEntries = 3;

class SilentNotifier final : public INotifier
{
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon,
                     const std::string&) override
    {
    }
};

// A folder of its own for each input, removed with whatever was written into it: libFuzzer ends
// without running exit handlers, so nothing may be left for one.
class OutputFolder
{
public:
    OutputFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "telvora-lcmp-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
        {
            std::abort();
        }
        path = pattern + "/";
    }
    ~OutputFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    std::string path;
};

std::uint32_t ClaimedPoints(const std::uint8_t* data, std::size_t size, std::uint32_t offset)
{
    if (static_cast<std::uint64_t>(offset) + 112 > size)
    {
        return 0;
    }
    return LoadLE<std::uint32_t>(data + offset + 108);
}

void DecompressEntries(const std::uint8_t* data, std::size_t size)
{
    SilentNotifier notifier;
    MemoryByteSource listing(data, size);
    const std::vector<std::string> names = ListArchive(listing, &notifier);

    LCMPFile file;
    MemoryByteSource directory(data, size);
    try
    {
        file.ReadDirectory(directory);
    }
    catch (const CLasException&)
    {
        return;
    }
    const OutputFolder output;
    for (std::size_t i = 0; i < names.size() && i < kMaxEntries; ++i)
    {
        if (ClaimedPoints(data, size, file.Directory()[i].dataOffset) > kMaxPoints)
        {
            continue;
        }
        MemoryByteSource archive(data, size);
        LCMPFile entryFile;
        try
        {
            (void)entryFile.DecompressEntry(archive, names[i].c_str(), output.path.c_str());
        }
        catch (const CLasException&)
        {
        }
    }
}

void DecodeBareStreams(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
    {
        return;
    }
    const std::size_t n = 1 + LoadLE<std::uint16_t>(data) % 4096;
    std::vector<unsigned char> symbols(n);
    ArithmeticDecoder decoder;
    MemoryByteSource stream(data + 2, size - 2);
    try
    {
        decoder.DecodeSymbols(symbols.data(), n, stream);
        // Whatever follows, as a second stream, exercises the buffer carried over.
        decoder.DecodeSymbols(symbols.data(), 1, stream);
    }
    catch (const CLasException&)
    {
    }

    std::vector<std::int32_t> values(n);
    LCMPStreamContext context;
    MemoryByteSource valueStream(data + 2, size - 2);
    try
    {
        context.ReadValueStream(valueStream, values.data(), n);
    }
    catch (const CLasException&)
    {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DecompressEntries(data, size);
    DecodeBareStreams(data, size);
    return 0;
}
