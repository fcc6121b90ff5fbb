#pragma once

#include <cstddef>
#include <cstdint>

#include "lcmp/ByteSource.h"

namespace telvora
{

// Bytes held by the caller, which keeps them alive while the source is used.
class MemoryByteSource final : public IByteSource
{
public:
    MemoryByteSource(const void* bytes, std::size_t size);

    std::size_t Read(void* buffer, std::size_t size) override;
    bool Seek(std::int64_t offset) override;
    std::int64_t Position() const override { return position; }
    std::int64_t Size() const override { return static_cast<std::int64_t>(length); }

private:
    const unsigned char* data;
    std::size_t length;
    std::int64_t position = 0;
};

} // namespace telvora
