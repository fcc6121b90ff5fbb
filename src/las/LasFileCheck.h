#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "las/FileIdentity.h"
#include "las/LasHeader.h"

namespace telvora
{

// Whether a file can be shown, decided from its header and its size before any of its points are
// read: signature "LASF", version 1.0 to 1.4, point format 0 to 10, records at least as long as
// their format, a Header Size at least as large as the version's header, no more records than a
// 32-bit index counts, point data behind the header, every declared record inside the file, and
// the point data (so the variable length records before it) starting inside the file.
struct LasFileVerdict
{
    // None when the file can be shown; otherwise the program's fixed message text.
    const char* text = nullptr;
    // "name: why", in words a surveyor understands; empty when the file can be shown.
    std::string reason;

    explicit operator bool() const { return text == nullptr; }
};

// The verdict on a header read from a file of fileSize bytes; name is how the file is called in
// the reason.
LasFileVerdict CheckLasHeader(const LasHeader& header, std::uint64_t fileSize,
                              std::string_view name);

// Reads the header and the size of the file in one open and checks them. Throws CLasException
// with the fixed text and the reason as its detail when the file cannot be shown (also when it
// cannot be opened or is shorter than a header). identity, when given, receives the identity of
// the file that was read.
LasHeader ReadCheckedLasHeader(const char* path, FileIdentity* identity = nullptr);

// "name ends inside its point records: k of n are complete", for a point block of blockBytes
// bytes (what lies between Offset to point data and the end of the file).
std::string TruncatedRecordsReason(std::string_view name, const LasHeader& header,
                                   std::uint64_t blockBytes);

} // namespace telvora
