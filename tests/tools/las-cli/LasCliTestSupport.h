#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "TestData.h"
#include "telvora-las/LasReport.h"

namespace telvora::lascli::test
{

inline std::filesystem::path TestDataDir()
{
    return TELVORA_TESTDATA_LAS;
}

inline std::filesystem::path TestFile(std::string_view name)
{
    return TestDataDir() / name;
}

#define TELVORA_SKIP_WITHOUT_TESTDATA()                                                            \
    do                                                                                             \
    {                                                                                              \
        if (!std::filesystem::is_directory(::telvora::lascli::test::TestDataDir()))                \
        {                                                                                          \
            TELVORA_MISSING_TEST_INPUT("no test data in " +                                        \
                                       ::telvora::lascli::test::TestDataDir().string());           \
        }                                                                                          \
    } while (false)

struct CommandResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline CommandResult Info(const std::filesystem::path& file, bool json, bool stats = false)
{
    std::ostringstream out;
    std::ostringstream err;
    CommandResult result;
    result.exitCode = RunInfo(file.string(), InfoOptions{json, stats}, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

inline CommandResult Points(const std::filesystem::path& file, const PointSelection& selection,
                            bool json)
{
    std::ostringstream out;
    std::ostringstream err;
    CommandResult result;
    result.exitCode = RunPoints(file.string(), selection, json, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

inline bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "telvora-las-cli-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) != nullptr)
        {
            folder = buffer.data();
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!folder.empty())
        {
            std::filesystem::remove_all(folder, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool Valid() const { return !folder.empty(); }
    std::filesystem::path operator/(std::string_view name) const { return folder / name; }

private:
    std::filesystem::path folder;
};

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace telvora::lascli::test
