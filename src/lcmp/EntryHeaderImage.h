#pragma once

#include <cstddef>

#include "las/LasHeader.h"

namespace telvora
{

// The public header as an archive entry stores it: the LasHeader fields at their natural
// alignment, 232 bytes, with one padding byte after Point Data Format ID and four before the
// first double. Byte 0, the first byte of the File Signature, carries the entry's mode.
namespace EntryHeaderImage
{

inline constexpr std::size_t kSize = 232;

LasHeader Parse(const unsigned char (&image)[kSize]) noexcept;
// Padding bytes are written as zero.
void Serialize(const LasHeader& header, unsigned char (&image)[kSize]) noexcept;

} // namespace EntryHeaderImage

} // namespace telvora
