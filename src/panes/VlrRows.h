#pragma once

#include <cstddef>
#include <memory>

namespace telvora
{

class CLasFile;
class CPropertyRow;

// The "Variable length records" group of a file: a group "VRL i" for each record that lies
// wholly inside the file's VLR block, collapsed, with the record header's fields and its data as
// text. When the block holds fewer records than the header declares, a first row says how many
// were found. None when the header declares no record. Throws the CLasException of
// ReadVariableLengthRecords when the block cannot be read.
std::unique_ptr<CPropertyRow> MakeVlrGroup(CLasFile& file);

// How much of an extended VLR's data is shown: a waveform record may run to gigabytes.
inline constexpr std::size_t kEvlrDataShown = 64u << 10;

// The "Extended variable length records" group of a LAS 1.4 file: a group "EVLR i" for each
// record the file holds whole, collapsed, with the same rows as a VLR's; its Record Length After
// Header is the full length, its data the first kEvlrDataShown bytes as text. When the file holds
// fewer records than the header declares, a first row says how many were found. None for files
// before LAS 1.4 and for those that declare and hold none. Throws the CLasException of
// ReadExtendedVlrs when the file cannot be opened.
std::unique_ptr<CPropertyRow> MakeEvlrGroup(const CLasFile& file);

} // namespace telvora
