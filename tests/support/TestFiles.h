#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
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
// Puts a new file with the bytes under the path, written beside it and renamed over it as programs
// that save safely do: the path then names another file (inode) than before.
void ReplaceFile(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace telvora::test
