#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "las/LasHeader.h"

namespace telvora
{

// One extended variable length record of a LAS 1.4 file, as it is shown: its header, where it
// starts, and the first bytes of its data (a waveform record may run to gigabytes).
struct LasExtendedVlr
{
    LasEvlrHeader header;
    std::uint64_t fileOffset = 0;
    std::vector<unsigned char> data;
};

// The extended VLRs from Start of first Extended VLR, up to Number of Extended VLRs, each with at
// most dataLimit bytes of its data. As with VLRs, real files may declare more than they hold: the
// walk stops at the first record whose header or data the file does not hold whole. None for
// files before LAS 1.4 and for those that declare none. Throws "ReadError::File could not be
// open." naming the file and the reason when it cannot be opened.
std::vector<LasExtendedVlr> ReadExtendedVlrs(const char* path, const LasHeader& header,
                                             std::size_t dataLimit = 64u << 10);

} // namespace telvora
