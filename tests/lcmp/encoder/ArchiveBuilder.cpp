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

std::vector<std::uint8_t> BuildArchive(const std::vector<ArchiveInput>& entries,
                                       const ArchiveLayout& layout)
{
    std::vector<std::uint8_t> out(kArchiveMagic.begin(), kArchiveMagic.end());
    std::vector<std::uint64_t> offsets(entries.size());
    std::vector<std::uint64_t> sizes(entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k)
    {
        const std::size_t i = layout.reverseData ? entries.size() - 1 - k : k;
        const ArchiveInput& entry = entries[i];
        if (entry.name.size() > kNameBytes)
        {
            throw std::invalid_argument("an entry name has at most 256 bytes");
        }
        offsets[i] = out.size();
        const std::vector<std::uint8_t> data =
            EncodeEntry(entry.lasFile, entry.mode, entry.options);
        sizes[i] = data.size();
        out.insert(out.end(), data.begin(), data.end());
        out.insert(out.end(), layout.afterEachEntry.begin(), layout.afterEachEntry.end());
        if (offsets[i] > std::numeric_limits<std::uint32_t>::max())
        {
            throw std::invalid_argument("the archive outgrows 32-bit entry offsets");
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        AppendLE(out, offsets[i], 4);
        AppendLE(out, sizes[i], 8);
        out.insert(out.end(), entries[i].name.begin(), entries[i].name.end());
        out.insert(out.end(), kNameBytes - entries[i].name.size(), 0);
    }
    AppendLE(out, entries.size(), 4);
    return out;
}

} // namespace telvora::testenc
