#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lcmp/ByteSource.h"

namespace telvora
{

// The bits of a coded stream, most significant bit of each byte first, read ahead from the
// archive in blocks of 256 bytes. The block boundaries are part of the archive format: where the
// next stream begins is worked out from the buffered bytes around the current one (see
// ArithmeticDecoder::FindNextStream), so the refill and its end-of-file padding must stay
// exactly as they are.
//
// Each decoder owns one reader; the buffer keeps the previous fill from one stream to the next,
// because the end-of-file padding delivers those bytes again.
class BitReader
{
public:
    static constexpr int kBufferSize = 256;

    // Starts a stream: the first bit request refills the buffer at once.
    void Reset(IByteSource* newSource)
    {
        source = newSource;
        bitsLeft = 0;
        bytesLeft = 1;
        current = -1;
        endOfFile = false;
        exhausted = false;
    }

    // The next bit, or -1 once when the file has run out a second time (the padding of the first
    // time is already spent). Throws CLasException "Unable to find stream" when asked again
    // after that.
    int NextBit()
    {
        if (bitsLeft == 0)
        {
            ++current;
            --bytesLeft;
            bitsLeft = 8;
            if (bytesLeft <= 0 && !Refill())
            {
                // The stale byte behind the current one is never read: the next request fails.
                bitsLeft = 0;
                return -1;
            }
        }
        --bitsLeft;
        return (buffer[current] >> bitsLeft) & 1;
    }

    // The next n bits (0 to 16), first bit highest, when they can be taken from the buffer
    // without a refill; false, with nothing taken, otherwise. The state afterwards is exactly
    // that of n calls of NextBit.
    bool TryTake(unsigned n, std::uint32_t& bits)
    {
        // Unread bits start `used` bits into the current byte (8: the current byte is spent).
        const int used = 8 - bitsLeft;
        const int total = used + static_cast<int>(n);
        const int advance = (total - 1) / 8;
        if (advance > bytesLeft - 1)
        {
            return false;
        }
        std::uint32_t window;
        std::memcpy(&window, buffer + current, sizeof window);
        if constexpr (std::endian::native == std::endian::little)
        {
            window = __builtin_bswap32(window);
        }
        // Through 64 bits, so that taking no bit needs no shift by 32.
        bits = static_cast<std::uint32_t>((std::uint64_t{window << used} << n) >> 32);
        current += advance;
        bytesLeft -= advance;
        bitsLeft = (8 - total % 8) % 8;
        return true;
    }

    // The reader as a bit index into its buffer, for loops that take bits straight from Bytes():
    // the next unread bit, and the end of the valid bits. Taking n bits there and moving the index
    // on by n (SetBitIndex) is the same as n calls of NextBit as long as the index stays within
    // the end. Bytes() can be loaded four at a time from any byte before the end.
    int BitIndex() const { return current * 8 + 8 - bitsLeft; }
    int BitEnd() const { return (current + bytesLeft) * 8; }
    const unsigned char* Bytes() const { return buffer; }
    // Index from 1 to BitEnd(), from BitIndex() on.
    void SetBitIndex(int index)
    {
        const int endByte = current + bytesLeft;
        current = (index - 1) >> 3;
        bitsLeft = (8 - index % 8) % 8;
        bytesLeft = endByte - current;
    }

    // The buffer's first two bytes are all the end-of-file padding can deliver again: a reader
    // that takes over from another (the one that read the stream before) takes them too.
    void TakePaddingFrom(const BitReader& other)
    {
        buffer[0] = other.buffer[0];
        buffer[1] = other.buffer[1];
    }

    // The buffered byte k positions from the current one, or -1 where the position lies before
    // the buffer or at or beyond the last valid byte.
    int ByteAt(int k) const
    {
        const int at = current + k;
        if (at < 0 || at >= kBufferSize || k >= bytesLeft)
        {
            return -1;
        }
        return buffer[at];
    }

    // Valid buffered bytes from the current one on, the current one included.
    int BytesLeft() const { return bytesLeft; }
    // File position just after the last buffered read.
    std::int64_t FileAfterFill() const { return fileAfterFill; }

private:
    bool Refill();

    IByteSource* source = nullptr;
    // Three bytes beyond the buffer let TryTake load four bytes from any position; their bits
    // are never used.
    unsigned char buffer[kBufferSize + 3] = {};
    int current = -1;
    int bytesLeft = 1;
    int bitsLeft = 0;
    bool endOfFile = false;
    bool exhausted = false;
    std::int64_t fileAfterFill = 0;
};

} // namespace telvora
