#include "TestFiles.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

namespace telvora::test
{

TempDir::TempDir()
{
    std::random_device entropy;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        auto candidate = base / ("telvora-test-" + std::to_string(entropy()));
        if (std::filesystem::create_directory(candidate))
        {
            root = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests may leave read-only files or folders behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
    {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root, ignored);
}

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
    {
        throw std::runtime_error("cannot write " + path);
    }
}

FileSnapshot FilesUnder(const std::filesystem::path& folder)
{
    FileSnapshot files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    {
        if (entry.is_regular_file())
        {
            files.emplace_back(entry.path().string(), ReadAll(entry.path().string()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void ReplaceFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    const std::string next = path + ".next";
    WriteAll(next, bytes);
    std::filesystem::rename(next, path);
}

} // namespace telvora::test
