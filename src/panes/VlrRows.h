#pragma once

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

} // namespace telvora
