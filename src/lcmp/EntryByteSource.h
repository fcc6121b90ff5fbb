#pragma once

#include <cstddef>
#include <cstdint>

#include "lcmp/ByteSource.h"

namespace telvora
{

// An archive as an entry's decoder sees it: reads run on through the whole file, as the format's
// reads do (a stream's buffered reads, its decoding window and the look for the next stream's
// start may reach into the next entry or the directory without that changing what is rebuilt),
// while Size() says where the entries' data end, the start of the directory. Every "is the entry
// there" check of the decoder measures against that end: header, records and streams that would
// start in the directory were cut off, and so were streams whose end lies beyond it. Offsets are
// those of the underlying source; the view moves its position.
class EntryByteSource final : public IByteSource
{
public:
    EntryByteSource(IByteSource& source, std::int64_t dataEnd);

    std::size_t Read(void* buffer, std::size_t size) override { return inner.Read(buffer, size); }
    bool Seek(std::int64_t offset) override { return inner.Seek(offset); }
    std::int64_t Position() const override { return inner.Position(); }
    // The data end, or the underlying size where that is smaller or cannot be told.
    std::int64_t Size() const override;

private:
    IByteSource& inner;
    std::int64_t end;
};

} // namespace telvora
