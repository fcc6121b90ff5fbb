#pragma once

#include <cstddef>
#include <cstdint>

#include "lcmp/BitReader.h"
#include "lcmp/ByteSource.h"
#include "lcmp/FrequencyTable.h"

namespace telvora
{

// The order-0 arithmetic decoder of the archives' coded streams: a 16-bit low/high/code coder
// with underflow handling under a static table of total 10000. Every constant and the order of
// every operation match the producer's encoder bit for bit; all registers wrap at 16 bits.
//
// A coded stream is the 512-byte frequency table, the coded bits and an end marker FF FF 00.
class ArithmeticDecoder
{
public:
    // Decodes n symbols (n >= 1; a caller with nothing to decode still decodes one, which
    // consumes the stream) of the stream at the source's position into buffer[0..n) and leaves
    // the source at the next stream. Throws CLasException "Unable to find stream" when the end
    // marker cannot be located or the stream cannot be part of any archive.
    void DecodeSymbols(unsigned char* buffer, std::size_t n, IByteSource& source);

    // The file offset of the stream that follows the one just decoded, worked out from the bytes
    // buffered around the current one; -1 when the end marker is not where it can be.
    static std::int64_t FindNextStream(const BitReader& reader);

    const FrequencyTable& Table() const { return table; }

private:
    FrequencyTable table;
    BitReader reader;
};

} // namespace telvora
