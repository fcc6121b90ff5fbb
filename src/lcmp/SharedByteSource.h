#pragma once

#include <cstddef>
#include <cstdint>

#include "lcmp/ByteSource.h"

namespace telvora
{

// A second reading position on another source, which keeps its own: each read moves the other
// source to this position and back, so that two streams of one archive can be read in turns.
// Sizes and offsets are the other source's.
class SharedByteSource final : public IByteSource
{
public:
    SharedByteSource(IByteSource& source, std::int64_t offset)
        : inner(source)
        , position(offset)
    {
    }

    std::size_t Read(void* buffer, std::size_t size) override;
    bool Seek(std::int64_t offset) override;
    std::int64_t Position() const override { return position; }
    std::int64_t Size() const override { return inner.Size(); }

private:
    IByteSource& inner;
    std::int64_t position;
};

} // namespace telvora
