#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace telvora::test
{

// A folder of its own under the system's temporary folder, removed with its contents when the
// test ends, so that no test leaves files behind or sees another's.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return root; }
    std::string File(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

std::vector<unsigned char> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<unsigned char>& bytes);
// Every regular file under the folder, by path, with its bytes: what a failed write must leave
// exactly as it was.
using FileSnapshot = std::vector<std::pair<std::string, std::vector<unsigned char>>>;
FileSnapshot FilesUnder(const std::filesystem::path& folder);

// Puts a new file with the bytes under the path, written beside it and renamed over it as programs
// that save safely do: the path then names another file (inode) than before.
void ReplaceFile(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace telvora::test
