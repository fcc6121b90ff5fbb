#pragma once

#include <cstddef>
#include <cstdint>

#include "lcmp/ByteSource.h"

namespace telvora
{

// The first bytes of another source, up to an end offset: an archive entry as its decoder sees
// it. Reads stop at the end, and Size() says where it is, so that every "are the bytes there"
// check of the decoder measures against the entry instead of against the archive, whose next
// entry or directory would otherwise be taken as this entry's data. Offsets are those of the
// underlying source; the view moves its position.
class BoundedByteSource final : public IByteSource
{
public:
    BoundedByteSource(IByteSource& source, std::int64_t endOffset);

    std::size_t Read(void* buffer, std::size_t size) override;
    bool Seek(std::int64_t offset) override { return inner.Seek(offset); }
    std::int64_t Position() const override { return inner.Position(); }
    // The end offset, or the underlying size where that is smaller or cannot be told.
    std::int64_t Size() const override;

private:
    IByteSource& inner;
    std::int64_t end;
};

} // namespace telvora
