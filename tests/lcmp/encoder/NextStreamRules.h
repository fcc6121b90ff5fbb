#pragma once

#include <cstdint>
#include <optional>

namespace telvora::testenc
{

// What the decoder sees when a stream's last symbol is decoded: its 256-byte read buffer, the
// position of the current byte in it, how many valid bytes remain from the current byte on (the
// current byte included), and the file position just after the last buffered read.
struct ReaderWindow
{
    const std::uint8_t* buffer = nullptr;
    int current = 0;
    int bytesLeft = 0;
    std::int64_t filePosition = 0;
};

struct NextStream
{
    std::int64_t offset = 0;
    int rule = 0; // 1 to 12, the first rule that applied
};

// The decoder's resynchronisation after a stream: the end marker FF FF 00 is looked for within
// three bytes of the current byte, and near the ends of the buffer the part of the marker that
// lies outside it is taken for granted. None when no rule places the next stream. The encoder
// lays out every stream's end so that this finds exactly the byte after its marker.
std::optional<NextStream> LocateNextStream(const ReaderWindow& window);

} // namespace telvora::testenc
