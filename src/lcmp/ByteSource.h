#pragma once

#include <cstddef>
#include <cstdint>

namespace telvora
{

// Where the archive decoder reads its bytes: an archive file or a block of memory, so that tests
// and the fuzz target feed it byte vectors. The decoder asks for whole blocks (256 bytes at a
// time while decoding), never single bytes, so one virtual call per block costs nothing.
class IByteSource
{
public:
    virtual ~IByteSource() = default;

    // Reads up to size bytes at the current position and moves past them; fewer only at the end
    // or on an error.
    virtual std::size_t Read(void* buffer, std::size_t size) = 0;
    // Any offset from 0 on, the end and beyond it included (reads there give nothing); false for
    // a negative one.
    virtual bool Seek(std::int64_t offset) = 0;
    virtual std::int64_t Position() const = 0;
    // Size in bytes, or -1 when it cannot be told.
    virtual std::int64_t Size() const = 0;
};

} // namespace telvora
