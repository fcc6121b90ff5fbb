#include "scene/LasFileSet.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

#include "common/PathHelpers.h"
#include "common/SystemErrors.h"
#include "las/FileIdentity.h"
#include "las/LasException.h"
#include "las/LasIo.h"
#include "las/PosixFile.h"

namespace telvora
{

namespace
{

// Enough for any sensible number of copies of one name in one folder, and a bound for a folder
// that fills up under our feet.
constexpr int kMaxCopyNumber = 10000;

char* DuplicateString(const char* text)
{
    if (text == nullptr)
    {
        return nullptr;
    }
    const std::size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

void ReleaseStrings(char** strings, std::int32_t count)
{
    if (strings == nullptr)
    {
        return;
    }
    for (std::int32_t i = 0; i < count; ++i)
    {
        delete[] strings[i];
    }
    delete[] strings;
}

// An array of count strings that releases itself unless handed over.
struct StringArray
{
    explicit StringArray(std::int32_t n)
        : strings(new char*[static_cast<std::size_t>(n)]())
        , count(n)
    {
    }
    ~StringArray() { ReleaseStrings(strings, count); }
    StringArray(const StringArray&) = delete;
    StringArray& operator=(const StringArray&) = delete;

    char** Release()
    {
        char** released = strings;
        strings = nullptr;
        return released;
    }

    char** strings;
    std::int32_t count;
};

// "folder/" for any spelling of the folder; the root stays "/".
std::string FolderPrefix(const char* folder)
{
    std::string prefix(folder);
    while (prefix.size() > 1 && prefix.back() == '/')
    {
        prefix.pop_back();
    }
    if (prefix.back() != '/')
    {
        prefix.push_back('/');
    }
    return prefix;
}

// Creates an empty file under the first free name of name, "stem (2).ext", "stem (3).ext", ...
// in the folder and returns its path. The exclusive create is what keeps a copy off every
// existing file, including a link of that name.
std::string ReserveCopyPath(const std::string& prefix, std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
    {
        throw CLasException(LasMessage::kWriteFileCreate,
                            FileProblem(prefix + std::string(name), "not a file name"));
    }
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot != 0;
    const std::string_view stem = hasExtension ? name.substr(0, dot) : name;
    const std::string_view extension = hasExtension ? name.substr(dot) : std::string_view();

    for (int number = 1; number <= kMaxCopyNumber; ++number)
    {
        std::string candidate = prefix;
        if (number == 1)
        {
            candidate += name;
        }
        else
        {
            candidate += stem;
            candidate += " (" + std::to_string(number) + ")";
            candidate += extension;
        }
        PosixFile file(candidate.c_str(), PosixFile::Mode::CreateNew);
        if (file.IsOpen())
        {
            if (!file.Close())
            {
                ::unlink(candidate.c_str());
                throw CLasException(LasMessage::kWriteFileCreate,
                                    FileProblem(candidate, file.LastError()));
            }
            return candidate;
        }
        if (file.LastError() != EEXIST)
        {
            throw CLasException(LasMessage::kWriteFileCreate,
                                FileProblem(candidate, file.LastError()));
        }
    }
    throw CLasException(LasMessage::kWriteFileCreate,
                        FileProblem(prefix + std::string(name), "every numbered name is taken"));
}

} // namespace

CLasFileSet::CLasFileSet(std::int32_t n)
{
    if (n < 1 || n > kMaxFiles)
    {
        throw std::invalid_argument("A file set holds 1 to 50 files");
    }
    auto newFiles = std::make_unique<CLasFile[]>(static_cast<std::size_t>(n));
    auto newVisible = std::make_unique<unsigned char[]>(static_cast<std::size_t>(n));
    std::fill_n(newVisible.get(), n, static_cast<unsigned char>(1));
    files = newFiles.release();
    visible = newVisible.release();
    count = n;
}

CLasFileSet::~CLasFileSet()
{
    for (const std::string& path : ownedFiles)
    {
        ::unlink(path.c_str());
    }
    ReplaceSourcePaths(nullptr);
    delete[] files;
    delete[] visible;
    delete[] archivePath;
}

CLasFileSet* CLasFileSet::CreateForArchive(const char* archivePath)
{
    auto set = std::make_unique<CLasFileSet>(1);
    set->archivePath = DuplicateString(archivePath);
    return set.release();
}

void CLasFileSet::ReplaceSourcePaths(char** paths)
{
    ReleaseStrings(sourcePaths, count);
    sourcePaths = paths;
    // An entry that is its own source (or a path not read yet) has no identity to keep.
    sourceIdentities.assign(paths != nullptr ? static_cast<std::size_t>(count) : 0, {});
}

void CLasFileSet::TakeOwnership(const std::string& path)
{
    if (std::find(ownedFiles.begin(), ownedFiles.end(), path) == ownedFiles.end())
    {
        ownedFiles.push_back(path);
    }
}

void CLasFileSet::SetArchiveEntryPath(const char* decompressedPath, EntryFile whose)
{
    // Every other file, if any, is its own source.
    StringArray paths(count);
    paths.strings[0] = DuplicateString(decompressedPath);
    for (std::int32_t i = 1; i < count; ++i)
    {
        paths.strings[i] = DuplicateString(files[i].path);
    }
    if (decompressedPath != nullptr && whose == EntryFile::Temporary)
    {
        TakeOwnership(decompressedPath);
    }
    files[0].SetPath(decompressedPath);
    ReplaceSourcePaths(paths.Release());
}

void CLasFileSet::OpenFile(std::int32_t i, const char* path)
{
    if (i < 0 || i >= count)
    {
        throw std::out_of_range("file index outside the set");
    }
    CLasFile& file = files[i];
    file.SetPath(path);
    file.ReadCheckedHeader();

    const LasHeader& header = *file.header;
    totalPoints += PointCount(header);
    const Vec3d low{std::fmin(header.minX, header.maxX), std::fmin(header.minY, header.maxY),
                    std::fmin(header.minZ, header.maxZ)};
    const Vec3d high{std::fmax(header.minX, header.maxX), std::fmax(header.minY, header.maxY),
                     std::fmax(header.minZ, header.maxZ)};
    // Uniting with the all-zero box of a set whose first file failed would drag the scene
    // towards the origin, far from the data.
    if (i == 0 || !hasBounds)
    {
        worldMinimum = low;
        worldMaximum = high;
    }
    else
    {
        worldMinimum = {std::fmin(worldMinimum.x, low.x), std::fmin(worldMinimum.y, low.y),
                        std::fmin(worldMinimum.z, low.z)};
        worldMaximum = {std::fmax(worldMaximum.x, high.x), std::fmax(worldMaximum.y, high.y),
                        std::fmax(worldMaximum.z, high.z)};
    }
    bounds = CBoundingBox::FromCorners(
        {static_cast<float>(worldMinimum.x), static_cast<float>(worldMinimum.y),
         static_cast<float>(worldMinimum.z)},
        {static_cast<float>(worldMaximum.x), static_cast<float>(worldMaximum.y),
         static_cast<float>(worldMaximum.z)});
    hasBounds = true;
}

void CLasFileSet::CreateTemporaryCopies(const char* folder)
{
    if (folder == nullptr || *folder == '\0')
    {
        throw CLasException(LasMessage::kWriteFileCreate,
                            "No folder is set for temporary files (File > Options)");
    }
    const std::string prefix = FolderPrefix(folder);

    // Save writes back to the files the user chose, also when the set already works on copies.
    // Until its copy exists a file is its own source, so a failure part way leaves every entry
    // right for Save.
    StringArray chosen(count);
    std::vector<FileIdentity> identities;
    for (std::int32_t i = 0; i < count; ++i)
    {
        const bool copied = sourcePaths != nullptr;
        chosen.strings[i] = DuplicateString(copied ? sourcePaths[i] : files[i].path);
        identities.push_back(copied ? sourceIdentities[static_cast<std::size_t>(i)]
                                    : files[i].identity);
    }
    ownedFiles.reserve(ownedFiles.size() + static_cast<std::size_t>(count));
    ReplaceSourcePaths(chosen.Release());
    sourceIdentities = std::move(identities);

    for (std::int32_t i = 0; i < count; ++i)
    {
        const char* working = files[i].path;
        if (working == nullptr)
        {
            throw CLasException(LasMessage::kReadFileOpen);
        }
        // A copy of another file that took the path would be worked on, and saved, as this one.
        const FileIdentity now = IdentityOf(working);
        if (now.known && files[i].identity.known && now != files[i].identity)
        {
            throw CLasException(LasMessage::kReadFileOpen,
                                FileProblem(working, kFileChangedReason));
        }
        const char* nameSource = sourcePaths[i] != nullptr ? sourcePaths[i] : working;
        const std::string copyPath = ReserveCopyPath(prefix, FileNameOf(nameSource));
        ownedFiles.push_back(copyPath);
        FileIdentity copyIdentity;
        try
        {
            CopyLasFile(working, copyPath.c_str(), &copyIdentity);
        }
        catch (...)
        {
            ::unlink(copyPath.c_str());
            ownedFiles.pop_back();
            throw;
        }
        files[i].SetPath(copyPath.c_str());
        files[i].identity = copyIdentity;
    }
}

void CLasFileSet::SaveCopies()
{
    for (std::int32_t i = 0; sourcePaths != nullptr && i < count; ++i)
    {
        // A decompressed archive entry is its own original; copying a file onto itself does
        // nothing.
        if (files[i].path != nullptr && sourcePaths[i] != nullptr)
        {
            CopyLasFile(files[i].path, sourcePaths[i],
                        &sourceIdentities[static_cast<std::size_t>(i)]);
        }
    }
}

void CLasFileSet::SaveFileAs(std::int32_t i, const char* destination)
{
    if (i < 0 || i >= count || files[i].path == nullptr)
    {
        throw std::out_of_range("file index outside the set");
    }
    FileIdentity saved;
    CopyLasFile(files[i].path, destination, &saved);
    if (sourcePaths != nullptr)
    {
        delete[] sourcePaths[i];
        sourcePaths[i] = DuplicateString(destination);
        sourceIdentities[static_cast<std::size_t>(i)] = saved;
        return;
    }
    // Saved onto itself (another name of the same file): nothing was written, and the identity
    // it was read with still holds.
    const FileIdentity kept = files[i].identity;
    files[i].SetPath(destination);
    files[i].identity = saved.known ? saved : kept;
}

void CLasFileSet::ComputeSceneOffset()
{
    bounds.UpdateCentre();
    sceneOffset = {(worldMinimum.x + worldMaximum.x) * 0.5, (worldMinimum.y + worldMaximum.y) * 0.5,
                   0.0};
}

} // namespace telvora
