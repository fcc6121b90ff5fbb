#include "encoder/ArchiveBuilder.h"

#include <limits>
#include <stdexcept>

namespace telvora::testenc
{

namespace
{

void AppendLE(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int k = 0; k < bytes; ++k)
    {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    }
}

} // namespace

std::vector<std::uint8_t> BuildArchive(const std::vector<ArchiveInput>& entries)
{
    std::vector<std::uint8_t> out(kArchiveMagic.begin(), kArchiveMagic.end());
    std::vector<std::uint8_t> directory;
    for (const ArchiveInput& entry : entries)
    {
        if (entry.name.size() > kNameBytes)
        {
            throw std::invalid_argument("an entry name has at most 256 bytes");
        }
        const std::uint64_t offset = out.size();
        const std::vector<std::uint8_t> data =
            EncodeEntry(entry.lasFile, entry.mode, entry.options);
        out.insert(out.end(), data.begin(), data.end());
        if (offset > std::numeric_limits<std::uint32_t>::max())
        {
            throw std::invalid_argument("the archive outgrows 32-bit entry offsets");
        }
        AppendLE(directory, offset, 4);
        AppendLE(directory, data.size(), 8);
        directory.insert(directory.end(), entry.name.begin(), entry.name.end());
        directory.insert(directory.end(), kNameBytes - entry.name.size(), 0);
    }
    out.insert(out.end(), directory.begin(), directory.end());
    AppendLE(out, entries.size(), 4);
    return out;
}

} // namespace telvora::testenc
