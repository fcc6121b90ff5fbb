// libFuzzer target: any bytes as a LAS file, read as the viewer and telvora-las read one: the
// checked open, the header and VLR walk of a refused file, and for an accepted file every record
// reader and both reports. The readers open files by path, so the bytes go into an anonymous
// memory file reached through /proc/self/fd: nothing touches a disk or outlives the process.
// Every failure must be a CLasException or a reported refusal; a crash, a sanitizer report, a
// hang, a huge allocation, a reader or report that fails on a file the check accepted, or a control
// character in the text reports is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "FuzzRequire.h"
#include "common/Notifier.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasExtendedVlrs.h"
#include "las/LasFile.h"
#include "las/LasFileCheck.h"
#include "telvora-las/LasReport.h"

namespace
{

using namespace telvora;

class SilentNotifier final : public INotifier
{
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon,
                     const std::string&) override
    {
        ++shown;
    }
    int shown = 0;
};

// One memory file for the whole run, rewritten for each input.
class MemoryFile
{
public:
    MemoryFile()
        : descriptor(::memfd_create("telvora-las-fuzz", MFD_CLOEXEC))
    {
        if (descriptor < 0)
        {
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(descriptor);
    }

    void Store(const std::uint8_t* data, std::size_t size) const
    {
        if (::ftruncate(descriptor, 0) != 0 ||
            (size > 0 && ::pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size)))
        {
            std::abort();
        }
    }

    int descriptor;
    std::string path;
};

struct VlrTableDeleter
{
    void operator()(unsigned char** table) const { ReleaseVlrTable(table); }
};

void WalkVlrs(CLasFile& file)
{
    try
    {
        std::uint32_t found = 0;
        const std::unique_ptr<unsigned char*, VlrTableDeleter> table(
            file.ReadVariableLengthRecords(&found));
        volatile std::uint32_t sum = 0;
        for (std::uint32_t i = 0; i < found; ++i)
        {
            const LasVlrHeader vlr = ParseLasVlrHeader(table.get()[i]);
            // The record's data must lie in the block as well: touch its last byte.
            if (vlr.recordLengthAfterHeader > 0)
            {
                sum = sum +
                      table.get()[i][LasVlrHeader::kImageSize + vlr.recordLengthAfterHeader - 1];
            }
        }
    }
    catch (const CLasException&)
    {
    }
}

// Extended records lie wholly inside the file, one behind the other, their data cut at the limit.
void WalkExtendedVlrs(const CLasFile& file)
{
    try
    {
        const std::vector<LasExtendedVlr> records = ReadExtendedVlrs(file.path, *file.header, 256);
        std::uint64_t next = file.header->startOfFirstExtendedVlr;
        for (const LasExtendedVlr& record : records)
        {
            TELVORA_REQUIRE(record.fileOffset == next && record.data.size() <= 256);
            next = record.fileOffset + LasEvlrHeader::kImageSize +
                   record.header.recordLengthAfterHeader;
        }
        TELVORA_REQUIRE(records.size() <= file.header->numberOfExtendedVlrs);
    }
    catch (const CLasException&)
    {
    }
}

void ReadRecords(const CLasFile& file)
{
    // The header check keeps counts within 32 bits.
    const auto count = static_cast<std::uint32_t>(PointCount(*file.header));
    const std::size_t classByte = ClassificationOffset(file.header->pointDataFormatId);
    SilentNotifier notifier;
    // A reader that gives up on a file the check accepted would fail a user who opened it.
    const auto classes = file.ReadClassifications(nullptr, &notifier);
    TELVORA_REQUIRE(classes != nullptr);
    TELVORA_REQUIRE(file.ReadPositions(nullptr, &notifier) != nullptr);
    TELVORA_REQUIRE(file.ReadIntensities(nullptr, &notifier) != nullptr);
    TELVORA_REQUIRE(file.ReadScanAngleRanks(nullptr, &notifier) != nullptr);
    TELVORA_REQUIRE(file.ReadScanAngles(nullptr, &notifier) != nullptr);
    const auto classesAndReturns = file.ReadClassesAndReturns(nullptr, &notifier);
    TELVORA_REQUIRE(classesAndReturns != nullptr);
    TELVORA_REQUIRE(file.ReadReturnNumbers(nullptr, &notifier) != nullptr);
    TELVORA_REQUIRE(file.ReadColors(nullptr, &notifier) != nullptr);
    TELVORA_REQUIRE(notifier.shown == 0);

    // Single records and chosen records agree with the pass over all of them.
    std::vector<std::uint32_t> chosen;
    if (count > 0)
    {
        chosen = {0, count / 2, count - 1};
    }
    for (const std::uint32_t index : chosen)
    {
        const std::unique_ptr<LASPoint> point(file.ReadPoint(index));
        TELVORA_REQUIRE(point != nullptr && point->GetClassification() == classes[index]);
        TELVORA_REQUIRE((classesAndReturns[index] & 0xFFu) == classes[index] &&
                        ((classesAndReturns[index] >> 8) & 0x0Fu) == point->GetReturnNumber() &&
                        (classesAndReturns[index] >> 12) == point->GetNumberOfReturns());
    }
    std::size_t visited = 0;
    file.ReadRecords(chosen.data(), chosen.size(),
                     [&](std::size_t k, const unsigned char* record)
                     {
                         TELVORA_REQUIRE(k == visited && record[classByte] == classes[chosen[k]]);
                         ++visited;
                     });
    TELVORA_REQUIRE(visited == chosen.size());
    TELVORA_REQUIRE(file.ReadPoint(count) == nullptr);
    const std::uint32_t past[] = {count};
    bool refused = false;
    try
    {
        file.ReadRecords(past, 1, [](std::size_t, const unsigned char*) { std::abort(); });
    }
    catch (const CLasException&)
    {
        refused = true;
    }
    TELVORA_REQUIRE(refused);
}

// Text meant for a terminal holds no control character but the line ends, and no byte that
// would start an escape or a C1 control.
bool Printable(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F || c1)
        {
            return false;
        }
    }
    return true;
}

// The reports of a file the check accepted succeed: info must not say "Readable: yes" and then
// fail on the same, unchanged file.
void RunReports(const std::string& path, bool accepted)
{
    using namespace telvora::lascli;
    for (const bool json : {false, true})
    {
        std::ostringstream out;
        std::ostringstream err;
        const int status = RunInfo(path, InfoOptions{json, true}, out, err);
        TELVORA_REQUIRE(!accepted || status == kExitOk);
        TELVORA_REQUIRE(json || Printable(out.str()));
        TELVORA_REQUIRE(Printable(err.str()));
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunPoints(path, PointSelection{}, false, out, err);
    TELVORA_REQUIRE(!accepted || status == kExitOk);
    TELVORA_REQUIRE(Printable(out.str()));
    TELVORA_REQUIRE(Printable(err.str()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const MemoryFile memory;
    memory.Store(data, size);

    CLasFile file;
    file.SetPath(memory.path.c_str());
    bool accepted = true;
    try
    {
        file.ReadCheckedHeader();
    }
    catch (const CLasException&)
    {
        accepted = false;
        // telvora-las still shows the header and VLRs of a refused LAS file.
        try
        {
            file.ReadHeader();
        }
        catch (const CLasException&)
        {
            return 0;
        }
    }
    WalkVlrs(file);
    WalkExtendedVlrs(file);
    if (accepted)
    {
        ReadRecords(file);
    }
    RunReports(memory.path, accepted);
    return 0;
}
