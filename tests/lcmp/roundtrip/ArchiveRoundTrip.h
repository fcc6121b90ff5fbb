#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "encoder/ArchiveBuilder.h"
#include "lcmp/LCMPFile.h"

namespace telvora::testenc
{

// Writes the archive into a temporary folder, has the archive reader rebuild the named entry
// there and returns the rebuilt file's bytes.
inline std::vector<std::uint8_t> Decompress(const std::vector<std::uint8_t>& archive,
                                            const std::string& name, bool secondThread = true)
{
    test::TempDir dir;
    const std::string path = dir.File("archive.lcmp");
    test::WriteAll(path, archive);
    const std::string folder = dir.File("out") + "/";
    std::filesystem::create_directory(folder);
    LCMPFile reader;
    reader.SetSecondThread(secondThread);
    reader.DecompressEntry(path.c_str(), name.c_str(), folder.c_str());
    return test::ReadAll(folder + name);
}

} // namespace telvora::testenc
