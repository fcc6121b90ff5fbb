#include "lcmp/LCMPFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <unistd.h>

#include "common/SystemErrors.h"
#include "las/ByteOrder.h"
#include "las/FileIdentity.h"
#include "las/LasException.h"
#include "las/PosixFile.h"
#include "lcmp/EntryByteSource.h"
#include "lcmp/FileByteSource.h"
#include "lcmp/LcmpMessages.h"
#include "lcmp/OutputSpace.h"

namespace telvora
{

namespace
{

// A new hidden file in the folder that no one else uses; its name is returned in partPath. Its
// name does not grow with the entry's, so every name the file system takes can be written.
bool CreatePartFile(const std::string& folder, std::string& partPath)
{
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy() ^
                              static_cast<std::uint64_t>(::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".lcmp-%012llx.part",
                      static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFull));
        partPath = folder + suffix;
        PosixFile file(partPath.c_str(), PosixFile::Mode::CreateNew);
        if (file.IsOpen())
        {
            return file.Close();
        }
        if (errno != EEXIST)
        {
            break;
        }
    }
    partPath.clear();
    return false;
}

// Moves the part file to path unless something is there already, in one step where the file
// system allows it, so that no file appearing meanwhile can be replaced either.
bool RenameWithoutReplacing(const std::string& partPath, const std::string& path)
{
    if (::renameat2(AT_FDCWD, partPath.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS)
    {
        return false;
    }
    // File systems without that rename: a hard link fails just as atomically on an existing name.
    if (::link(partPath.c_str(), path.c_str()) == 0)
    {
        ::unlink(partPath.c_str());
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP)
    {
        return false;
    }
    // Neither (FAT and the like): look first, then rename.
    if (::access(path.c_str(), F_OK) == 0)
    {
        errno = EEXIST;
        return false;
    }
    return ::rename(partPath.c_str(), path.c_str()) == 0;
}

// Hands the finished file to the disk before it takes the output's place, so that a crash
// never leaves a renamed but empty file.
void SyncPartFile(const std::string& partPath)
{
    PosixFile file(partPath.c_str(), PosixFile::Mode::Update);
    if (!file.IsOpen() || !file.Sync() || !file.Close())
    {
        throw CLasException(LasMessage::kWriteFileCreate, FileProblem(partPath, errno));
    }
}

void MovePartFile(const std::string& partPath, const std::string& path, ExistingOutput existing,
                  const FileIdentity& agreed = {})
{
    if (existing == ExistingOutput::Replace && agreed.known)
    {
        // Only the file the user agreed to lose is replaced: one that another program put in its
        // place meanwhile stays, and a name that has been freed is taken without replacing.
        const FileIdentity now = IdentityOf(path.c_str());
        if (!now.known && ::access(path.c_str(), F_OK) != 0 && errno == ENOENT)
        {
            existing = ExistingOutput::Keep;
        }
        else if (!(now == agreed))
        {
            throw CLasException(
                LcmpMessage::kOutputExists,
                FileProblem(path, "another program changed or replaced the file since its "
                                  "overwriting was agreed"));
        }
    }
    if (existing == ExistingOutput::Replace)
    {
        if (::rename(partPath.c_str(), path.c_str()) != 0)
        {
            throw CLasException(LasMessage::kWriteFileCreate, FileProblem(path, errno));
        }
        return;
    }
    if (!RenameWithoutReplacing(partPath, path))
    {
        if (errno == EEXIST)
        {
            throw CLasException(LcmpMessage::kOutputExists, FileProblem(path, "it exists already"));
        }
        throw CLasException(LasMessage::kWriteFileCreate, FileProblem(path, errno));
    }
}

// The failures that describe an entry's bytes, as opposed to the files written.
bool IsEntryMessage(const char* text)
{
    for (const char* entryText :
         {LcmpMessage::kEntryTruncated, LcmpMessage::kStreamNotFound, LcmpMessage::kReadRawPoints,
          LcmpMessage::kNoPoints, LcmpMessage::kUnsupportedFormat, LcmpMessage::kRecordLength,
          LcmpMessage::kVlrBlock, LcmpMessage::kPlaneCount, LcmpMessage::kNoArchiveFile})
    {
        // By content: the same literal need not have one address in every object file (the
        // address sanitizer, for one, keeps each apart).
        if (std::strcmp(text, entryText) == 0)
        {
            return true;
        }
    }
    return false;
}

} // namespace

LCMPFile::~LCMPFile()
{
    DiscardHeldEntry();
    context.ReleaseBuffers();
}

void LCMPFile::PublishHeldEntry()
{
    if (heldPart.empty())
    {
        return;
    }
    const std::string part = std::move(heldPart);
    heldPart.clear();
    try
    {
        MovePartFile(part, heldOutput, heldExisting, replacedIdentity);
    }
    catch (const CLasException& error)
    {
        ::unlink(part.c_str());
        throw error.NamingFile(part, heldOutput);
    }
}

void LCMPFile::DiscardHeldEntry()
{
    if (!heldPart.empty())
    {
        ::unlink(heldPart.c_str());
        heldPart.clear();
    }
}

std::string LCMPFile::Problem(const std::string& what) const
{
    return archiveName + ": " + what;
}

std::string LCMPFile::EntryProblem(const char* name, const std::string& what) const
{
    return std::string(name != nullptr ? name : "") + " in " + archiveName + ": " + what;
}

void LCMPFile::CheckMagic(IByteSource& archive) const
{
    unsigned char bytes[4] = {};
    const std::size_t got = archive.Seek(0) ? archive.Read(bytes, sizeof bytes) : 0;
    if (got != sizeof bytes)
    {
        throw CLasException(LcmpMessage::kWrongFormat,
                            Problem(std::to_string(got) + " bytes are too few for an archive"));
    }
    if (LoadLE<std::uint32_t>(bytes) != kMagic)
    {
        char shown[64];
        std::snprintf(shown, sizeof shown,
                      "it begins with %02X %02X %02X %02X, not with the archive's 1D 2C 3B 4A",
                      bytes[0], bytes[1], bytes[2], bytes[3]);
        throw CLasException(LcmpMessage::kWrongFormat, Problem(shown));
    }
}

void LCMPFile::ReadEntryCount(IByteSource& archive)
{
    CheckMagic(archive);
    const std::int64_t size = archive.Size();
    unsigned char bytes[4];
    // The magic number has been read, so the file holds at least these four bytes.
    if (size < 4 || !archive.Seek(size - 4) || archive.Read(bytes, sizeof bytes) != sizeof bytes)
    {
        throw CLasException(LcmpMessage::kDirectory,
                            Problem("the entry count in its last 4 bytes could not be read"));
    }
    entryCount = static_cast<std::int32_t>(LoadLE<std::uint32_t>(bytes));
}

void LCMPFile::ReadDirectory(IByteSource& archive)
{
    CheckMagic(archive);
    ReadEntryCount(archive);
    directory.clear();

    // The count is taken as unsigned, so that no count makes the directory fit where it does not;
    // directory and count lie behind the magic number, never over it.
    const std::uint64_t count = static_cast<std::uint32_t>(entryCount);
    const std::uint64_t span = 4 + ArchiveEntry::kImageSize * count;
    const std::int64_t size = archive.Size();
    if (size < 0 || span + 4 > static_cast<std::uint64_t>(size) ||
        !archive.Seek(size - static_cast<std::int64_t>(span)))
    {
        throw CLasException(
            LcmpMessage::kDirectory,
            Problem(
                LcmpMessage::Grouped(static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0))) +
                " bytes cannot hold a directory of " + LcmpMessage::Grouped(count) +
                (count == 1 ? " entry" : " entries")));
    }
    directoryOffset = size - static_cast<std::int64_t>(span);
    std::vector<unsigned char> images(ArchiveEntry::kImageSize * count);
    if (archive.Read(images.data(), images.size()) != images.size())
    {
        throw CLasException(
            LcmpMessage::kDirectory,
            Problem("the directory at byte " +
                    LcmpMessage::Grouped(static_cast<std::uint64_t>(directoryOffset)) +
                    " could not be read"));
    }
    directory.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i)
    {
        directory.push_back(ArchiveEntry::Parse(images.data() + i * ArchiveEntry::kImageSize));
    }
}

DecompressResult LCMPFile::DecompressEntry(const char* archivePath, const char* name,
                                           const char* folder, const std::atomic<bool>* cancel,
                                           ExistingOutput existing, Completion completion)
{
    FileByteSource archive(archivePath);
    if (!archive.IsOpen())
    {
        throw CLasException(LcmpMessage::kOpenArchive, FileProblem(archivePath, errno));
    }
    SetArchiveName(archivePath);
    return DecompressEntry(archive, name, folder, cancel, existing, completion);
}

void LCMPFile::EndEntry()
{
    outputPath.clear();
    outputPath.shrink_to_fit();
    entryCount = 0;
    context.ReleaseBuffers();
}

DecompressResult LCMPFile::DecompressEntry(IByteSource& archive, const char* name,
                                           const char* folder, const std::atomic<bool>* cancel,
                                           ExistingOutput existing, Completion completion)
{
    DiscardHeldEntry();
    if (archive.Size() == 0)
    {
        throw CLasException(LcmpMessage::kEmptyArchive, Problem("the file is empty"));
    }
    CheckMagic(archive);

    // The output must land in the folder and nowhere else: a name from the archive's directory
    // is not trusted to be a plain file name.
    if (!IsPlainFileName(name))
    {
        throw CLasException(LcmpMessage::kUnsafeEntryName,
                            EntryProblem(name, "as it stands, it names no file in the folder"));
    }
    std::string folderPath = folder != nullptr ? folder : "";
    if (!folderPath.empty() && folderPath.back() != '/')
    {
        folderPath += '/';
    }
    const std::string path = folderPath + name;
    if (path.size() >= kOutputPathSize)
    {
        throw CLasException(LcmpMessage::kOutputPathTooLong,
                            EntryProblem(name, "the output path would have " +
                                                   LcmpMessage::Grouped(path.size()) +
                                                   " characters, more than " +
                                                   LcmpMessage::Grouped(kOutputPathSize - 1)));
    }
    outputPath = path;

    try
    {
        ReadEntryCount(archive);
        directory.clear();
        ReadDirectory(archive);
    }
    catch (...)
    {
        EndEntry();
        throw;
    }

    foundIndex = -1;
    for (std::size_t i = 0; i < directory.size(); ++i)
    {
        if (directory[i].HasName(name))
        {
            foundIndex = static_cast<std::int32_t>(i);
            break;
        }
    }
    if (foundIndex < 0)
    {
        directory.clear();
        EndEntry();
        throw CLasException(LcmpMessage::kEntryNotFound,
                            Problem(std::string("no entry is named ") + name));
    }

    // A name longer than the folder's file system takes could only fail at the final rename,
    // after the whole entry was decoded, and with no more than "the name is too long".
    const long nameMax = ::pathconf(folderPath.empty() ? "." : folderPath.c_str(), _PC_NAME_MAX);
    if (const std::size_t length = std::strlen(name);
        nameMax > 0 && length > static_cast<std::size_t>(nameMax))
    {
        directory.clear();
        EndEntry();
        throw CLasException(
            LasMessage::kWriteFileCreate,
            EntryProblem(name, "the name has " + LcmpMessage::Grouped(length) +
                                   " bytes, more than the " +
                                   LcmpMessage::Grouped(static_cast<std::uint64_t>(nameMax)) +
                                   " the folder's file system allows"));
    }
    const auto index = static_cast<std::size_t>(foundIndex);
    EntryByteSource entry(archive, directoryOffset);
    const std::string partFolder = folderPath.empty() ? std::string("./") : folderPath;
    std::string partPath;
    if (!entry.Seek(directory[index].dataOffset) || !CreatePartFile(partFolder, partPath))
    {
        const int error = errno;
        EndEntry();
        throw CLasException(LasMessage::kWriteFileCreate, FileProblem(partFolder, error));
    }
    target.Clear();
    target.SetPath(partPath.c_str());

    bool complete = false;
    try
    {
        complete = context.RebuildLasFile(&entry, target, &progress, cancel,
                                          [&](std::uint64_t bytes)
                                          { CheckOutputSpace(partFolder, outputPath, bytes); });
        if (complete)
        {
            SyncPartFile(partPath);
            if (entryComplete)
            {
                entryComplete();
            }
            if (completion == Completion::Publish)
            {
                MovePartFile(partPath, outputPath, existing, replacedIdentity);
            }
        }
    }
    catch (const CLasException& error)
    {
        ::unlink(partPath.c_str());
        target.SetPath(outputPath.c_str());
        const std::string shown = outputPath;
        EndEntry();
        // What the entry's bytes hold is said of the entry in the archive.
        if (IsEntryMessage(error.GetErrorText()))
        {
            throw CLasException(error.GetErrorText(), EntryProblem(name, error.GetDetail()));
        }
        // The writers name the file they write; the user knows it by the output's name.
        throw error.NamingFile(partPath, shown);
    }
    catch (...)
    {
        ::unlink(partPath.c_str());
        target.SetPath(outputPath.c_str());
        EndEntry();
        throw;
    }
    if (!complete)
    {
        ::unlink(partPath.c_str());
    }
    else if (completion == Completion::Hold)
    {
        heldPart = partPath;
        heldOutput = outputPath;
        heldExisting = existing;
    }
    target.SetPath(outputPath.c_str());
    EndEntry();
    return complete ? DecompressResult::Complete : DecompressResult::Cancelled;
}

void LCMPFile::ReleaseArchive()
{
    outputPath.clear();
    outputPath.shrink_to_fit();
    std::vector<ArchiveEntry>().swap(directory);
}

bool IsPlainFileName(const char* name)
{
    if (name == nullptr || *name == '\0')
    {
        return false;
    }
    const std::string_view text(name);
    return text != "." && text != ".." && text.find_first_of("/\\") == std::string_view::npos;
}

std::vector<std::string> ListArchive(const char* archivePath, INotifier* notifier)
{
    if (archivePath == nullptr || *archivePath == '\0')
    {
        return {};
    }
    FileByteSource archive(archivePath);
    if (!archive.IsOpen())
    {
        INotifier& shown = notifier != nullptr ? *notifier : StderrNotifier();
        shown.ShowMessage(LcmpMessage::kListOpen, LcmpMessage::kListCaption,
                          MessageIcon::Information, FileProblem(archivePath, errno));
        return {};
    }
    return ListArchive(archive, notifier, archivePath);
}

std::vector<std::string> ListArchive(IByteSource& archive, INotifier* notifier,
                                     const std::string& archiveName)
{
    INotifier& shown = notifier != nullptr ? *notifier : StderrNotifier();
    LCMPFile file;
    file.SetArchiveName(archiveName);
    try
    {
        // An empty file has no directory to read, which is not the same as an empty directory.
        if (archive.Size() == 0)
        {
            throw CLasException(LcmpMessage::kDirectory, archiveName + ": the file is empty");
        }
        file.ReadEntryCount(archive);
        if (file.EntryCount() == 0)
        {
            return {};
        }
        file.ReadDirectory(archive);
    }
    catch (const CLasException& error)
    {
        shown.ShowMessage(error.GetErrorText(), LcmpMessage::kListCaption, MessageIcon::Error,
                          error.GetDetail());
        return {};
    }
    std::vector<std::string> names;
    names.reserve(file.Directory().size());
    for (const ArchiveEntry& entry : file.Directory())
    {
        names.push_back(entry.Name());
    }
    return names;
}

} // namespace telvora
