#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace telvora::testenc
{

// A plain second reading of the archive format, used to check the encoder on its own: streams
// are decoded through a 256-byte read buffer and resynchronised exactly as the archive reader
// does, and entries are rebuilt with the same field order and predictors. Failures throw
// ReferenceError with the reader's message texts.
class ReferenceError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class ReferenceReader
{
public:
    // The reader keeps a view of the bytes, not a copy.
    explicit ReferenceReader(std::span<const std::uint8_t> file, std::size_t position = 0);
    ReferenceReader(std::vector<std::uint8_t>&&, std::size_t = 0) = delete;

    // n >= 1 symbols of the stream at the position; the position moves to the next stream.
    std::vector<std::uint8_t> DecodeSymbols(std::size_t n);
    std::vector<std::int32_t> ReadValueStream(std::size_t n);
    std::uint32_t ReadRaw32();

    std::size_t Position() const { return position; }
    // The resynchronisation rule that ended the last stream.
    int LastRule() const { return lastRule; }

private:
    int NextBit();
    std::size_t Read(std::uint8_t* target, std::size_t count);

    std::span<const std::uint8_t> file;
    std::size_t position;
    int lastRule = 0;

    std::uint8_t buffer[256] = {};
    int current = 0;
    int bytesLeft = 0;
    int bitsLeft = 0;
    bool endOfFile = false;
    int exhausted = 0;
};

// The LAS file the reader writes for the named entry.
std::vector<std::uint8_t> ReferenceRebuild(std::span<const std::uint8_t> archive,
                                           std::string_view name);

} // namespace telvora::testenc
