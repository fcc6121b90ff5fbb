#pragma once

#include <cstddef>
#include <cstdint>

namespace telvora
{

// An open file descriptor, closed with its owner. Offsets are 64-bit throughout, so files above
// 4 GiB read and write like any other. Reads and writes retry until everything arrived or the
// file ended, and report how much that was.
class PosixFile
{
public:
    enum class Mode
    {
        Read,     // existing file, read only
        Update,   // existing file, read and write, no truncation
        Append,   // write at the end, created when missing
        Truncate, // write, created or truncated
        CreateNew // write, created; fails when the file exists
    };

    PosixFile() = default;
    PosixFile(const char* path, Mode mode);
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    bool IsOpen() const { return fd >= 0; }
    int Descriptor() const { return fd; }

    // Size in bytes, or -1 when it cannot be told.
    std::int64_t Size() const;

    // Bytes read at the offset (fewer only at the end of the file or on an error).
    std::size_t ReadAt(void* buffer, std::size_t size, std::int64_t offset) const;
    // Bytes read from the current position.
    std::size_t Read(void* buffer, std::size_t size);
    bool Seek(std::int64_t offset);

    // Bytes written at the current position (or at the end in Append mode).
    std::size_t Write(const void* buffer, std::size_t size);
    std::size_t WriteAt(const void* buffer, std::size_t size, std::int64_t offset);

    // Tells the kernel that the file will be read once from front to back.
    void AdviseSequential() const;
    bool Sync();
    // Closes now; false when the kernel reported an error on close (for example a full disk).
    bool Close();
    // Cuts or extends the file to size bytes.
    bool Truncate(std::int64_t size);

    // The errno of the last operation that failed (opening included), 0 when none did: the
    // reason a read or write came up short, for the message that reports it.
    int LastError() const { return lastError; }

private:
    int fd = -1;
    // Set by the const readers too: remembering why is no change to the file.
    mutable int lastError = 0;
};

} // namespace telvora
