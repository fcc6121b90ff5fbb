#include "las/LasIo.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/SystemErrors.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/PosixFile.h"

namespace telvora
{

namespace
{

constexpr std::size_t kCopyBlock = 1u << 20;
constexpr std::size_t kWriteBlock = 1u << 20;
// Records appended are handed to the kernel at least this often, which bounds how much a crash
// of the program can lose.
constexpr std::uint32_t kFlushEvery = 50000;

void ThrowIf(bool failed, const char* message)
{
    if (failed)
    {
        throw CLasException(message);
    }
}

// The fixed text, with the file and the system's reason as the detail.
[[noreturn]] void ThrowFor(const char* message, const char* path, int error)
{
    throw CLasException(message, FileProblem(path != nullptr ? path : "", error));
}

// A read that came back short: the system's reason when the read failed, otherwise the file
// ended early, which `ended` says in words.
[[noreturn]] void ThrowShortRead(const char* message, const char* path, const PosixFile& file,
                                 const std::string& ended)
{
    const int error = file.LastError();
    throw CLasException(message, error != 0 ? FileProblem(path != nullptr ? path : "", error)
                                            : FileProblem(path != nullptr ? path : "", ended));
}

void ThrowIfFailed(bool failed, const char* message, const char* path, const PosixFile& file)
{
    if (failed)
    {
        ThrowFor(message, path, file.LastError());
    }
}

// A file the user has marked read-only is not replaced or rewritten, also not by a user whom the
// system would let (root, or the owner of the folder).
bool IsReadOnlyFile(const char* path)
{
    struct stat info
    {
    };
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode))
    {
        return false;
    }
    return (info.st_mode & 0222) == 0 || ::access(path, W_OK) != 0;
}

[[noreturn]] void ThrowReadOnly(const char* message, const char* path)
{
    throw CLasException(message, FileProblem(path, "the file is read-only"));
}

// A file beside the destination that no one else uses, created with the default permissions.
PosixFile CreateSibling(const std::string& destination, std::string& siblingPath)
{
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy() ^
                              static_cast<std::uint64_t>(::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                      static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFull));
        siblingPath = destination + suffix;
        PosixFile file(siblingPath.c_str(), PosixFile::Mode::CreateNew);
        if (file.IsOpen())
        {
            return file;
        }
        if (errno != EEXIST)
        {
            break;
        }
    }
    siblingPath.clear();
    return PosixFile();
}

// Writes blocks on a second thread, so that gathering the next block out of the point objects
// overlaps handing the last one to the kernel; the two take about the same time. One block is in
// flight at a time and blocks reach the file in the order they were handed over.
class OverlappedWriter
{
public:
    OverlappedWriter(PosixFile& target, std::size_t blockSize)
        : file(target)
        , spare(blockSize)
    {
        try
        {
            thread = std::thread([this] { Run(); });
        }
        catch (const std::system_error&)
        {
            // Without a second thread every block is written where it is handed over.
        }
    }
    ~OverlappedWriter() { Stop(); }
    OverlappedWriter(const OverlappedWriter&) = delete;
    OverlappedWriter& operator=(const OverlappedWriter&) = delete;

    // Hands over the first `used` bytes of block and gives back an empty block of the same size.
    // False when an earlier block could not be written.
    bool Submit(std::vector<unsigned char>& block, std::size_t used)
    {
        if (!thread.joinable())
        {
            if (!failed && file.Write(block.data(), used) != used)
            {
                failed = true;
                error = file.LastError();
            }
            return !failed;
        }
        std::unique_lock lock(mutex);
        idle.wait(lock, [this] { return pendingSize == 0; });
        if (failed)
        {
            return false;
        }
        if (used > 0)
        {
            spare.swap(block);
            pendingSize = used;
            ready.notify_one();
        }
        return true;
    }

    // Waits until every block handed over is written; false when any could not be.
    bool Finish()
    {
        Stop();
        return !failed;
    }

    // Why a block could not be written (the errno of the writing thread).
    int Error()
    {
        std::lock_guard lock(mutex);
        return error;
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex);
        for (;;)
        {
            ready.wait(lock, [this] { return pendingSize > 0 || stopping; });
            if (pendingSize == 0)
            {
                return;
            }
            const std::size_t size = pendingSize;
            lock.unlock();
            const bool written = file.Write(spare.data(), size) == size;
            const int writeError = file.LastError();
            lock.lock();
            if (!written && !failed)
            {
                failed = true;
                error = writeError;
            }
            pendingSize = 0;
            idle.notify_one();
        }
    }

    void Stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        ready.notify_one();
        if (thread.joinable())
        {
            thread.join();
        }
    }

    PosixFile& file;
    std::vector<unsigned char> spare;
    std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable idle;
    std::size_t pendingSize = 0;
    bool stopping = false;
    bool failed = false;
    int error = 0;
    std::thread thread;
};

bool SameFile(const struct stat& a, const char* path)
{
    struct stat b
    {
    };
    return ::stat(path, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

LasHeader ReadLasHeaderBlock(const char* path, FileIdentity* identity)
{
    PosixFile file(path, PosixFile::Mode::Read);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kReadFileOpen, path, file);
    unsigned char image[LasHeader::kImageSize14];
    const std::size_t got = file.ReadAt(image, sizeof image, 0);
    if (got < LasHeader::kImageSize)
    {
        ThrowShortRead(LasMessage::kReadHeader, path, file,
                       fmt::format("the file ends inside its header: {} of {} bytes", got,
                                   LasHeader::kImageSize));
    }
    if (identity != nullptr)
    {
        *identity = IdentityOf(file);
    }
    return ParseLasHeaderImage(image, got);
}

unsigned char* ReadLasBlock(const char* path, std::uint32_t size, std::uint32_t offset)
{
    PosixFile file(path, PosixFile::Mode::Read);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kReadFileOpen, path, file);
    // A header can claim a block far larger than its file; never allocate for bytes that are not
    // there.
    const std::int64_t fileSize = file.Size();
    const std::uint64_t end = std::uint64_t{offset} + size;
    const std::string pastTheEnd =
        fmt::format("the file ends at byte {}, inside its variable length records, which run "
                    "from byte {} to byte {}",
                    fileSize, offset, end);
    if (fileSize < 0 || end > static_cast<std::uint64_t>(fileSize))
    {
        ThrowShortRead(LasMessage::kReadVlr, path, file, pastTheEnd);
    }
    auto* block = new unsigned char[size == 0 ? 1 : size];
    if (file.ReadAt(block, size, offset) != size)
    {
        delete[] block;
        ThrowShortRead(LasMessage::kReadVlr, path, file, pastTheEnd);
    }
    return block;
}

void ReadLasPointRecord(const char* path, std::size_t size, unsigned char* buffer,
                        std::uint64_t offset)
{
    PosixFile file(path, PosixFile::Mode::Read);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kReadFileOpen, path, file);
    if (file.ReadAt(buffer, size, static_cast<std::int64_t>(offset)) != size)
    {
        ThrowShortRead(LasMessage::kReadPoint, path, file,
                       fmt::format("the file ends inside the record at byte {}", offset));
    }
}

void CopyLasFile(const char* source, const char* destination, FileIdentity* destinationIdentity)
{
    PosixFile in(source, PosixFile::Mode::Read);
    ThrowIfFailed(!in.IsOpen(), LasMessage::kReadFileOpen, source, in);
    ThrowIf(destination == nullptr || *destination == '\0', LasMessage::kWriteFileCreate);

    struct stat sourceInfo
    {
    };
    if (::fstat(in.Descriptor(), &sourceInfo) != 0)
    {
        ThrowFor(LasMessage::kReadFileOpen, source, errno);
    }
    if (SameFile(sourceInfo, destination))
    {
        return;
    }
    // The rename below needs only the folder's permission: it would replace a file that the
    // user protected.
    if (IsReadOnlyFile(destination))
    {
        ThrowReadOnly(LasMessage::kWriteFileCreate, destination);
    }
    // Checked before the copy starts and again just before the rename, which would otherwise
    // replace whatever another program put there meanwhile.
    const bool expected = destinationIdentity != nullptr && destinationIdentity->known;
    const auto changed = [&]
    { return expected && IdentityOf(destination) != *destinationIdentity; };
    if (changed())
    {
        throw CLasException(LasMessage::kWriteFileCreate,
                            FileProblem(destination, kFileChangedReason));
    }

    std::string partPath;
    PosixFile out = CreateSibling(destination, partPath);
    if (!out.IsOpen())
    {
        ThrowFor(LasMessage::kWriteFileCreate, destination, errno);
    }

    auto fail = [&](const char* message, const char* path, int error)
    {
        out.Close();
        ::unlink(partPath.c_str());
        ThrowFor(message, path, error);
    };

    struct stat destinationInfo
    {
    };
    if (::stat(destination, &destinationInfo) == 0)
    {
        ::fchmod(out.Descriptor(), destinationInfo.st_mode & 07777);
    }

    in.AdviseSequential();
    std::vector<unsigned char> buffer(kCopyBlock);
    std::int64_t copied = 0;
    for (;;)
    {
        const std::size_t got = in.Read(buffer.data(), buffer.size());
        if (got == 0)
        {
            break;
        }
        if (out.Write(buffer.data(), got) != got)
        {
            fail(LasMessage::kWriteFileCreate, destination, out.LastError());
        }
        copied += static_cast<std::int64_t>(got);
    }
    // Anything short of the whole source (a read error) must not replace the destination.
    if (copied != in.Size())
    {
        fail(LasMessage::kReadFileOpen, source, in.LastError() != 0 ? in.LastError() : EIO);
    }
    if (!out.Sync() || !out.Close())
    {
        fail(LasMessage::kWriteFileCreate, destination, out.LastError());
    }
    if (changed())
    {
        ::unlink(partPath.c_str());
        throw CLasException(LasMessage::kWriteFileCreate,
                            FileProblem(destination, kFileChangedReason));
    }
    if (::rename(partPath.c_str(), destination) != 0)
    {
        fail(LasMessage::kWriteFileCreate, destination, errno);
    }
    if (destinationIdentity != nullptr)
    {
        *destinationIdentity = IdentityOf(destination);
    }
}

void WriteLasHeader(const LasHeader& header, const char* path, bool extension)
{
    PosixFile file(path, PosixFile::Mode::Truncate);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kWriteHeader, path, file);
    unsigned char image[LasHeader::kImageSize14];
    const std::size_t laidOut = SerializeLasHeaderImage(header, image);
    const std::size_t length = extension ? laidOut : LasHeader::kImageSize;
    ThrowIfFailed(file.Write(image, length) != length, LasMessage::kWriteHeader, path, file);
    ThrowIfFailed(!file.Close(), LasMessage::kWriteHeader, path, file);
}

void AppendLasBlock(const char* path, std::size_t size, const unsigned char* bytes)
{
    PosixFile file(path, PosixFile::Mode::Append);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kWriteFileOpen, path, file);
    ThrowIf(size > 0 && bytes == nullptr, LasMessage::kWriteVlr);
    ThrowIfFailed(file.Write(bytes, size) != size, LasMessage::kWriteVlr, path, file);
    ThrowIfFailed(!file.Close(), LasMessage::kWriteVlr, path, file);
}

void AppendPointDataStartSignature(const char* path)
{
    PosixFile file(path, PosixFile::Mode::Append);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kWriteFileOpen, path, file);
    const unsigned char signature[2] = {0xDD, 0xCC};
    ThrowIfFailed(file.Write(signature, sizeof signature) != sizeof signature,
                  LasMessage::kWriteSignature, path, file);
    ThrowIfFailed(!file.Close(), LasMessage::kWriteSignature, path, file);
}

void WriteLasPointRecord(const char* path, std::size_t size, const unsigned char* bytes,
                         std::uint64_t offset, std::int64_t recordIndex)
{
    if (IsReadOnlyFile(path))
    {
        ThrowReadOnly(LasMessage::kWriteFileOpen, path);
    }
    PosixFile file(path, PosixFile::Mode::Update);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kWriteFileOpen, path, file);
    const auto at = static_cast<std::int64_t>(offset);
    // The record's bytes before the write, so that a write cut short (a full disk, a size limit)
    // can be undone instead of leaving half a record in the user's file.
    std::vector<unsigned char> previous(size);
    if (file.ReadAt(previous.data(), size, at) != size)
    {
        throw CLasException(LasMessage::kWritePoint,
                            FileProblem(path, "the record lies beyond the end of the file"));
    }
    const std::size_t written = file.WriteAt(bytes, size, at);
    if (written != size)
    {
        // Only the bytes that reached the file need to go back.
        const int error = file.LastError();
        const bool restored = written == 0 || file.WriteAt(previous.data(), written, at) == written;
        const std::string record = recordIndex >= 0 ? fmt::format("record {}", recordIndex)
                                                    : fmt::format("the record at byte {}", offset);
        throw CLasException(
            LasMessage::kWritePoint,
            FileProblem(path, fmt::format("{}; {} {}", ErrorReason(error), record,
                                          restored ? "was left as it was" : "may be damaged")));
    }
    ThrowIfFailed(!file.Close(), LasMessage::kWritePoint, path, file);
}

namespace
{

// The spans of WriteLasClassifications, written into the open file.
void WriteClassificationSpans(PosixFile& file, const char* path, const LasPointBlock& layout,
                              const std::uint32_t* indices, std::size_t count,
                              const std::uint8_t* codes, std::uint8_t* previous,
                              std::size_t& written)
{
    // Bytes between two records to rewrite rather than issue another write: the classification
    // bytes of a section lie one record apart, and a system call per record would cost more than
    // the whole span between them.
    constexpr std::uint64_t kMaxGapBytes = 16u << 10;
    constexpr std::uint64_t kMaxSpanBytes = 1u << 20;
    const std::uint64_t classificationByte = layout.classificationByte;
    const std::uint64_t stride = layout.recordLength;
    std::vector<unsigned char> span;
    std::size_t k = 0;
    while (k < count)
    {
        const std::uint64_t low = indices[k];
        if (low >= layout.records)
        {
            throw CLasException(
                LasMessage::kWritePoint,
                FileProblem(path, fmt::format("record {} is past the last record", indices[k])));
        }
        std::uint64_t high = low;
        std::size_t end = k + 1;
        while (end < count && indices[end] > high && indices[end] < layout.records &&
               (indices[end] - high) * stride <= kMaxGapBytes &&
               (indices[end] - low) * stride < kMaxSpanBytes)
        {
            high = indices[end];
            ++end;
        }
        // The span runs from the first record's classification byte to the last one's; the bytes
        // between are written back as they were just read.
        const auto at =
            static_cast<std::int64_t>(layout.offsetToPointData + low * stride + classificationByte);
        const auto length = static_cast<std::size_t>((high - low) * stride + 1);
        span.resize(length);
        if (file.ReadAt(span.data(), length, at) != length)
        {
            // The first record the file does not hold whole, whichever of the span's records
            // lie behind it.
            const std::int64_t size = file.Size();
            const std::uint64_t held =
                size > static_cast<std::int64_t>(layout.offsetToPointData)
                    ? (static_cast<std::uint64_t>(size) - layout.offsetToPointData) / stride
                    : 0;
            const std::string reason = file.LastError() != 0
                                           ? ErrorReason(file.LastError())
                                           : fmt::format("the file ends before record {}", held);
            throw CLasException(LasMessage::kWritePoint, FileProblem(path, reason));
        }
        for (std::size_t j = k; j < end; ++j)
        {
            unsigned char& byte = span[(indices[j] - low) * stride];
            previous[j] = byte;
            byte = codes[j];
        }
        const std::size_t put = file.WriteAt(span.data(), length, at);
        if (put != length)
        {
            // The records whose byte reached the file before the write stopped hold their new
            // class; the bytes between were rewritten with what they held.
            const int error = file.LastError();
            while (k < end && (indices[k] - low) * stride < put)
            {
                ++k;
            }
            written = k;
            throw CLasException(LasMessage::kWritePoint,
                                FileProblem(path, fmt::format("{}; {} of {} records were changed",
                                                              ErrorReason(error), written, count)));
        }
        k = end;
        written = k;
    }
}

} // namespace

void WriteLasClassifications(const char* path, const LasPointBlock& layout,
                             const std::uint32_t* indices, std::size_t count,
                             const std::uint8_t* codes, std::uint8_t* previous,
                             std::size_t& written, FileIdentity* identity)
{
    written = 0;
    if (count == 0)
    {
        return;
    }
    if (IsReadOnlyFile(path))
    {
        ThrowReadOnly(LasMessage::kWriteFileOpen, path);
    }
    if (layout.recordLength <= layout.classificationByte)
    {
        throw CLasException(LasMessage::kWritePoint,
                            FileProblem(path, "the records are shorter than their format"));
    }
    PosixFile file(path, PosixFile::Mode::Update);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kWriteFileOpen, path, file);
    if (identity != nullptr)
    {
        RequireIdentity(*identity, file, path, LasMessage::kWriteFileOpen);
    }
    // The program's own writes change the modification time: the next write must not take them
    // for another program's.
    const auto refresh = [&]
    {
        if (identity != nullptr)
        {
            *identity = IdentityOf(file);
        }
    };
    try
    {
        WriteClassificationSpans(file, path, layout, indices, count, codes, previous, written);
    }
    catch (...)
    {
        refresh();
        throw;
    }
    refresh();
    ThrowIfFailed(!file.Close(), LasMessage::kWritePoint, path, file);
}

namespace
{

// The records of AppendLasPointRecords, written to the end of the open file.
void AppendRecords(PosixFile& file, const char* path, std::uint32_t count,
                   std::uint16_t recordLength, LASPoint* const* points,
                   std::atomic<std::int32_t>* counter)
{
    const std::uint32_t step = count < 100 ? count : count / 100;
    if (counter != nullptr)
    {
        counter->store(0, std::memory_order_relaxed);
    }
    if (count == 0)
    {
        return;
    }
    ThrowIf(points == nullptr || recordLength == 0, LasMessage::kWritePoint);

    // Records are gathered into large blocks: one write per block instead of one per record.
    const std::size_t perBlock = std::max<std::size_t>(1, kWriteBlock / recordLength);
    std::vector<unsigned char> block(perBlock * recordLength);
    std::size_t used = 0;
    OverlappedWriter writer(file, block.size());
    auto flush = [&]
    {
        if (!writer.Submit(block, used))
        {
            ThrowFor(LasMessage::kWritePoint, path, writer.Error());
        }
        used = 0;
    };

    // Counting down to the next report and flush spares two divisions per record.
    std::uint32_t nextReport = 0;
    std::uint32_t nextFlush = 0;
    RecordImageFinder finder;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const LASPoint* point = points[i];
        std::size_t standard = 0;
        const unsigned char* image = point != nullptr ? finder.Find(*point, standard) : nullptr;
        ThrowIf(image == nullptr || recordLength < standard, LasMessage::kWritePoint);

        unsigned char* slot = block.data() + used;
        std::memcpy(slot, image, standard);
        if (recordLength > standard)
        {
            std::memset(slot + standard, 0, recordLength - standard);
        }
        used += recordLength;

        if (i == nextReport)
        {
            if (counter != nullptr)
            {
                counter->fetch_add(1, std::memory_order_relaxed);
            }
            nextReport += step;
        }
        if (i == nextFlush || used == block.size())
        {
            if (i == nextFlush)
            {
                nextFlush += kFlushEvery;
            }
            flush();
        }
    }
    flush();
    if (!writer.Finish())
    {
        ThrowFor(LasMessage::kWritePoint, path, writer.Error());
    }
}

// The records of AppendLasRecordImages: filled straight into the blocks that are written.
void AppendImages(PosixFile& file, const char* path, std::uint32_t count,
                  std::uint16_t recordLength, const RecordImageFill& fill,
                  std::atomic<std::int32_t>* counter)
{
    if (counter != nullptr)
    {
        counter->store(0, std::memory_order_relaxed);
    }
    if (count == 0)
    {
        return;
    }
    ThrowIf(!fill || recordLength == 0, LasMessage::kWritePoint);
    // The counter goes up at records 0, step, 2 step and so on, as AppendRecords counts.
    const std::uint32_t step = count < 100 ? count : count / 100;
    const std::size_t perBlock =
        std::clamp<std::size_t>(kWriteBlock / recordLength, 1, kFlushEvery);
    std::vector<unsigned char> block(perBlock * recordLength);
    OverlappedWriter writer(file, block.size());
    for (std::uint32_t first = 0; first < count;)
    {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(perBlock, count - first));
        fill(first, n, block.data());
        if (!writer.Submit(block, std::size_t{n} * recordLength))
        {
            ThrowFor(LasMessage::kWritePoint, path, writer.Error());
        }
        first += n;
        if (counter != nullptr)
        {
            counter->store(static_cast<std::int32_t>((first - 1) / step + 1),
                           std::memory_order_relaxed);
        }
    }
    if (!writer.Finish())
    {
        ThrowFor(LasMessage::kWritePoint, path, writer.Error());
    }
}

} // namespace

namespace
{

// Runs the append on the file opened for appending. A failure part way cuts the file back to where
// it ended, so that no torn record and no half batch remains after the records that are whole.
void AppendAllOrNothing(const char* path, const std::function<void(PosixFile&)>& append)
{
    PosixFile file(path, PosixFile::Mode::Append);
    ThrowIfFailed(!file.IsOpen(), LasMessage::kWriteFileOpen, path, file);
    const std::int64_t startLength = file.Size();
    ThrowIfFailed(startLength < 0, LasMessage::kWriteFileOpen, path, file);
    try
    {
        append(file);
    }
    catch (...)
    {
        file.Truncate(startLength);
        throw;
    }
    ThrowIfFailed(!file.Close(), LasMessage::kWritePoint, path, file);
}

} // namespace

void AppendLasRecordImages(const char* path, std::uint32_t count, std::uint16_t recordLength,
                           const RecordImageFill& fill, std::atomic<std::int32_t>* counter)
{
    AppendAllOrNothing(path, [&](PosixFile& file)
                       { AppendImages(file, path, count, recordLength, fill, counter); });
}

void AppendLasPointRecords(const char* path, std::uint32_t count, std::uint16_t recordLength,
                           LASPoint* const* points, std::atomic<std::int32_t>* counter)
{
    AppendAllOrNothing(path, [&](PosixFile& file)
                       { AppendRecords(file, path, count, recordLength, points, counter); });
}

} // namespace telvora
