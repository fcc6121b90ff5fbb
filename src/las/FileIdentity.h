#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "las/LasHeader.h"

namespace telvora
{

class PosixFile;

// What tells a file the program read from another file that took its place or changed under it:
// device, inode, size, modification time and the header's bytes. A write into a user's file
// goes ahead only while the file still has the identity recorded when it was read or last
// written by the program.
struct FileIdentity
{
    bool known = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    // The first header bytes the file holds (fewer for a file shorter than a header).
    std::array<unsigned char, LasHeader::kImageSize> header{};
    std::size_t headerBytes = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The reason given when a file no longer has the identity recorded for it.
inline constexpr const char* kFileChangedReason =
    "the file was changed by another program since it was opened";

// The identity of an open file, from the descriptor itself. Not known when it cannot be told.
FileIdentity IdentityOf(const PosixFile& file);
// The identity of the file at path now; not known when it cannot be opened.
FileIdentity IdentityOf(const char* path);

// Throws CLasException(message, "path: the file was changed ...") unless the open file still has
// the expected identity. An identity that is not known asks for no check.
void RequireIdentity(const FileIdentity& expected, const PosixFile& file, const char* path,
                     const char* message);

} // namespace telvora
