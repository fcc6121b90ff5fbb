// lcmp-testenc: packs LAS files into an LCMP archive with the test-side encoder, for seed corpora
// and benchmark inputs of the archive reader. Not installed.

#include <cstdint>
#include <filesystem>
#include <fmt/core.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "encoder/ArchiveBuilder.h"
#include "encoder/EntryEncoder.h"

namespace
{

constexpr const char* kProgram = "lcmp-testenc";

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
    {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
    {
        throw std::runtime_error("cannot write " + path);
    }
}

int Run(int argc, char** argv)
{
    using namespace telvora::testenc;

    CLI::App app{"Packs LAS files into an LCMP archive (test encoder, not for distribution).",
                 kProgram};
    std::string output;
    std::string mode = "L";
    std::vector<std::string> inputs;
    bool padded = false;
    bool noisy = false;
    app.add_option("output", output, "LCMP archive to write")->required();
    app.add_option("inputs", inputs, "LAS files, stored under their file names")->required();
    app.add_option("--mode", mode, "Entry mode: L (coded), V (coded, header without VLRs), O (raw)")
        ->capture_default_str()
        ->check(CLI::IsMember({"L", "V", "O"}));
    app.add_flag("--padded-values", padded,
                 "Store values with more bytes than they need and signed zeros");
    app.add_flag("--noisy-bit-fields", noisy,
                 "Set bits above the field in the symbols of bit-field streams");
    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        return app.exit(e);
    }

    std::vector<ArchiveInput> entries;
    for (const std::string& path : inputs)
    {
        ArchiveInput entry;
        entry.name = ArchiveInput::Name(std::filesystem::path(path).filename().string());
        entry.mode = mode[0];
        entry.lasFile = ReadFile(path);
        entry.options.valueLayout = padded ? ValueLayout::Padded : ValueLayout::Minimal;
        entry.options.noisyBitFields = noisy;
        if (RebuiltLasFile(entry.lasFile, entry.mode) != entry.lasFile)
        {
            fmt::print(stderr, "{}: warning: {} will not be restored byte for byte\n", kProgram,
                       path);
        }
        entries.push_back(std::move(entry));
    }
    const std::vector<std::uint8_t> archive = BuildArchive(entries);
    WriteFile(output, archive);

    std::uint64_t lasBytes = 0;
    for (const ArchiveInput& entry : entries)
    {
        lasBytes += entry.lasFile.size();
    }
    fmt::print("{}: {} entries, {} bytes from {} bytes of LAS ({:.1f} %)\n", output, entries.size(),
               archive.size(), lasBytes,
               lasBytes == 0
                   ? 0.0
                   : 100.0 * static_cast<double>(archive.size()) / static_cast<double>(lasBytes));
    return 0;
}

} // namespace

// Every failure, a mistake in the option table's set-up included, ends in one line on stderr and
// exit status 1 rather than in std::terminate.
int main(int argc, char** argv)
{
    try
    {
        return Run(argc, argv);
    }
    catch (const std::exception& e)
    {
        fmt::print(stderr, "{}: {}\n", kProgram, e.what());
        return 1;
    }
}
