#pragma once

#include <cstdint>
#include <string>

namespace telvora
{

// What a folder can take from this process: the free space of its file system and the largest
// file the process may write (RLIMIT_FSIZE). Either is the largest value when it is not limited
// or cannot be told, so that a failed query never refuses anything.
struct OutputRoom
{
    std::uint64_t freeBytes = UINT64_MAX;
    std::uint64_t fileSizeLimit = UINT64_MAX;

    static OutputRoom Of(const std::string& folder);
};

// "1000 bytes", or with a rounded binary unit beside the exact count: "5242880 bytes (5.0 MiB)".
// The same in every locale.
std::string ByteCount(std::uint64_t bytes);

// Why a file of so many bytes cannot be written where the room is this, in words; empty when it
// fits. Of the two limits the one that is reached first is named.
std::string SpaceShortfall(std::uint64_t needed, const OutputRoom& room);

// Refuses, before anything is written, a file of so many bytes at outputPath, which lies in
// folder: CLasException "There is not enough space for the decompressed file!", its detail
// naming the file, what it needs and what there is.
void CheckOutputSpace(const std::string& folder, const std::string& outputPath,
                      std::uint64_t needed);

} // namespace telvora
