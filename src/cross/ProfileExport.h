#pragma once

#include <string>

#include "cross/ProfileSection.h"

namespace telvora
{

class CLasFileSet;

// The collected points of a section as CSV, file by file in record order, one line each after the
// header "file,record,u,profile_z,x,y,z,classification": the file's name, the record index, the
// profile position, the real-world coordinates to the precision of the file's scale factors, and
// the classification byte as the profile holds it. A decimal point whatever the locale. The file
// takes the path's place only when complete. Throws CLasException naming the file and the reason
// ("WriteError::File could not be created." for the CSV, the read errors for a LAS file).
void WriteProfileCsv(const std::string& path, const CLasFileSet& set,
                     const ProfileSection& section);

} // namespace telvora
