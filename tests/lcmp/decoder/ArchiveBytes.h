#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "las/LasHeader.h"

// Archives and streams put together byte by byte, independently of any encoder: coded streams
// here are ones whose every symbol is known without arithmetic (one symbol owning the whole
// interval), so what the decoder must produce follows from the bytes alone.
namespace telvora::test
{

using Bytes = std::vector<unsigned char>;

void Append(Bytes& to, const Bytes& bytes);
void AppendU16(Bytes& to, std::uint16_t value);
void AppendU32(Bytes& to, std::uint32_t value);

// The 512-byte table image of H[0..255].
Bytes TableImage(const std::vector<std::uint16_t>& h);
// The table in which symbol s owns the whole interval.
std::vector<std::uint16_t> SingleSymbolTable(int s);
// A stream that decodes to any number of s: its table, then the end marker, which the decoder
// reads as its first 16 bits. 515 bytes.
Bytes ConstantStream(int s);

// A value stream of n values: first, then every later value with the length symbol (sign in bit
// 0, byte count above) and the byte planes given as constants.
Bytes ConstantValueStream(std::uint32_t n, std::int32_t first, int lengthSymbol = 0,
                          const std::vector<int>& planeBytes = {});

// A LAS 1.2 header of the format with its standard record length and a 227-byte header.
LasHeader MakeHeader(std::uint8_t format, std::uint32_t points);

struct EntryFields
{
    std::int32_t x = 1000;
    std::int32_t y = 2000;
    std::int32_t z = 300;
    std::uint16_t intensity = 77;
    std::uint64_t time = 0x41D0000000000000ull;
    std::uint16_t red = 10;
    std::uint16_t green = 20;
    std::uint16_t blue = 30;
};

// Coded chunks in which every difference and residual is 0: every point equals the first one
// (whose fields are given), except that points 1 onwards get intensity 0.
Bytes ZeroChunks(const LasHeader& header, const EntryFields& fields = {});

// Header image with the mode byte, the VLR bytes and the point data.
Bytes EntryData(const LasHeader& header, char mode, const Bytes& vlrBytes, const Bytes& points);

struct Entry
{
    Entry(std::string entryName, Bytes entryData, Bytes storedName = {})
        : name(std::move(entryName))
        , data(std::move(entryData))
        , rawName(std::move(storedName))
    {
    }

    std::string name;
    Bytes data;
    // Directory name field as stored when not empty (for names without a terminator).
    Bytes rawName;
};

// Magic number, entry data in order, directory, count.
Bytes Archive(const std::vector<Entry>& entries);

// The record the decoder writes for point 0 of ZeroChunks, or for any later point.
Bytes FirstRecord(const LasHeader& header, const EntryFields& fields, bool laterPoint);

} // namespace telvora::test
