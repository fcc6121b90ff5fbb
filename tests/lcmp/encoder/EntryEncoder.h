#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "encoder/ValueStreamEncoder.h"

namespace telvora::testenc
{

// The mode byte of an entry, which takes the place of the first byte of the file signature in
// its header image.
inline constexpr char kRawMode = 'O';
inline constexpr char kCodedMode = 'L';
// Coded like 'L', but the rebuilt file's header declares no variable length records although
// the bytes between header and points are restored.
inline constexpr char kVlrFreeMode = 'V';

inline constexpr std::size_t kHeaderImageBytes = 232;

struct EncodeOptions
{
    ValueLayout valueLayout = ValueLayout::Minimal;
    // Sets bits above the field in the symbols of the bit-field streams (scan direction, return
    // number, number of returns, edge of flight line), which the decoder must mask away.
    bool noisyBitFields = false;
    // The five padding bytes of the header image, which the decoder ignores.
    std::uint8_t headerPadding = 0;
    // How every coded stream ends (see StreamEnd).
    StreamEnd streamEnd = StreamEnd::Padded;
};

// The entry data of a LAS file in the given mode: header image, the bytes between header and
// points where the image says there are variable length records, then the points, raw in mode
// 'O' and as chunks of field streams otherwise.
//
// In mode 'V' the image declares the records the file declares, or, when it declares none but
// has bytes between header and points, the number of whole records those bytes hold (at least
// one), so that they are stored and restored.
//
// Throws std::invalid_argument for what an entry cannot carry: a mode other than 'O', 'L' or
// 'V'; a file shorter than its header or its declared points; Offset to point data below Header
// Size; and, in the coded modes, no points, a point format above 3 or a record length other than
// the format's standard size.
std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> lasFile, char mode,
                                      const EncodeOptions& options = {});

// The LAS file the decoder writes for that entry. It equals the input for files with a 227-byte
// header whose signature starts with 'L' and whose points end the file, as long as nothing
// between header and points is lost: in modes 'L' and 'O' the file declares records there, or
// has nothing there or just the LAS 1.0 start signature DD CC; in mode 'V' the file declares no
// records (its header is rebuilt with none), and whatever lies there is kept.
std::vector<std::uint8_t> RebuiltLasFile(std::span<const std::uint8_t> lasFile, char mode);

// Points per chunk: 1,000,000 while more than 2,000,000 remain, then all the rest.
std::vector<std::uint32_t> ChunkSizes(std::uint32_t points);

} // namespace telvora::testenc
