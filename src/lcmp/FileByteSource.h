#pragma once

#include <cstddef>
#include <cstdint>

#include "las/PosixFile.h"
#include "lcmp/ByteSource.h"

namespace telvora
{

// An archive file opened for reading by its path and closed with the object (or by Close).
class FileByteSource final : public IByteSource
{
public:
    explicit FileByteSource(const char* path);

    bool IsOpen() const { return file.IsOpen(); }
    void Close();

    std::size_t Read(void* buffer, std::size_t size) override;
    bool Seek(std::int64_t offset) override;
    std::int64_t Position() const override { return position; }
    std::int64_t Size() const override;

private:
    PosixFile file;
    // Kept here and read with pread, so that a seek costs no system call.
    std::int64_t position = 0;
};

} // namespace telvora
