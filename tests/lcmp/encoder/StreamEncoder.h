#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace telvora::testenc
{

// Symbol k owns [H[k-1], H[k]) of the constant total 10000 (H[-1] taken as 0), so H is
// non-decreasing and H[255] is 10000.
using FrequencyTable = std::array<std::uint16_t, 256>;

inline constexpr std::uint32_t kScale = 10000;
inline constexpr std::size_t kTableBytes = 512;
// The decoder refills its input 256 bytes at a time, counted from the first byte after the table.
inline constexpr std::size_t kReadBlock = 256;

// Scaled symbol counts: every symbol that occurs keeps at least one unit, so it stays decodable.
// An empty input gives the table in which symbol 0 owns everything.
FrequencyTable MakeFrequencyTable(std::span<const std::uint8_t> symbols);

// How a stream's end is laid out.
enum class StreamEnd
{
    // Every bit the decoder's 16-bit window reaches lies in the stream's own coded bytes, and a
    // full end marker follows wherever the rules allow one.
    Padded,
    // The fewest bytes that let the decoder rebuild the symbols and find the next stream,
    // whatever bytes follow: the window's last bits may be taken from the marker and from the
    // bytes behind the stream (another stream, the next entry, the directory), which only a
    // decoder that reads on past the stream as the format's reads do can decode.
    Tight,
};

struct EncodedStream
{
    // Table, coded bits and end marker; the next stream starts right after the last byte.
    std::vector<std::uint8_t> bytes;
    // Offset in bytes of the byte holding the last bit the decoder reads.
    std::size_t currentByte = 0;
    // The resynchronisation rule that finds the next stream (see LocateNextStream).
    int rule = 0;
};

// One coded stream of the symbols. The decoder reads exactly as far as its 16-bit window
// reaches past the last renormalisation, then resynchronises on the bytes around that point; the
// end is laid out for the position the stream's last byte takes in the decoder's read buffer,
// which depends only on the stream's own length. That holds as long as at least one full read
// block of file follows the stream's start of coded bits, which any archive does (its directory
// is longer than a block).
//
// A stream of no symbols is coded as one symbol 0, since the decoder consumes every stream by
// decoding at least one symbol. Throws std::invalid_argument when a symbol has no room in the
// given table.
EncodedStream EncodeSymbols(std::span<const std::uint8_t> symbols,
                            StreamEnd end = StreamEnd::Padded);
EncodedStream EncodeSymbols(std::span<const std::uint8_t> symbols, const FrequencyTable& table,
                            StreamEnd end = StreamEnd::Padded);

} // namespace telvora::testenc
