#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/Notifier.h"
#include "las/FileIdentity.h"
#include "las/LasFile.h"
#include "lcmp/ArchiveEntry.h"
#include "lcmp/ByteSource.h"
#include "lcmp/LCMPStreamContext.h"

namespace telvora
{

// What DecompressEntry does when a file already exists at the output path.
enum class ExistingOutput
{
    // Refuse with "The output file already exists!" and leave it untouched: the output may be a
    // file the user opened, and nothing but an explicit choice may replace it.
    Keep,
    Replace
};

// What DecompressEntry does with a complete entry.
enum class Completion
{
    // Moves it to the output path before returning.
    Publish,
    // Leaves it in its hidden part file, for PublishHeldEntry or DiscardHeldEntry: a caller whose
    // user may still abort decides only once the outcome is final, so that an Abort never costs
    // the file an overwrite would have replaced.
    Hold
};

enum class DecompressResult
{
    Complete,
    // The cancel flag was seen: nothing was written at the output path.
    Cancelled
};

// An LCMP archive: LAS files in coded form behind the magic number 0x4A3B2C1D, with a directory
// of 268-byte entries and their count at the end of the file. Archives are only read.
class LCMPFile
{
public:
    static constexpr std::uint32_t kMagic = 0x4A3B2C1D;
    // Folder and entry name together stay below this many characters.
    static constexpr std::size_t kOutputPathSize = 1024;

    LCMPFile() = default;
    virtual ~LCMPFile();
    LCMPFile(const LCMPFile&) = delete;
    LCMPFile& operator=(const LCMPFile&) = delete;

    // Checks the magic number ("Wrong file format!") and reads the entry count from the last four
    // bytes.
    void ReadEntryCount(IByteSource& archive);
    // Checks the magic number, reads the count and then the directory it announces. Throws
    // "Cannot read LCMPFile file headers" when the directory and the count do not fit behind the
    // magic number, whatever the count (one with the top bit set included).
    void ReadDirectory(IByteSource& archive);

    // Rebuilds the entry of that name (the first one, in directory order) as folder + name. The
    // folder ends with '/' (one is put in between when it does not) and must exist. The entry is
    // decoded as the format's reads decode it, reading on into whatever follows it; one whose
    // data would start or end in the directory is truncated.
    //
    // The name must be a plain file name: one with a path separator, "." or "..", or one that
    // makes the path too long, is refused. The LAS file is written to a new file beside the output
    // and takes the output's place only when complete; after a failure or a cancel that file is
    // removed and whatever was at the output path stays as it was. An existing file at the output
    // path is only replaced when the caller says so. A file larger than the folder's free space
    // or the process's file-size limit is refused before anything is written ("There is not
    // enough space for the decompressed file!"); a write that fails for lack of space all the
    // same keeps the writer's message and says so in its detail. Throws CLasException, whose
    // detail names the archive, and the entry where there is one, and says what was wrong ("a.las
    // in survey.lcmp: no coded stream found after byte 1,234,567").
    //
    // The counters (Context()) and Progress() may be read from another thread meanwhile, and the
    // cancel flag set from there: the decoder looks at it between streams.
    //
    // With Completion::Hold a complete entry stays in the part file (written to the disk) until
    // PublishHeldEntry or DiscardHeldEntry; the file at the output path is untouched until then.
    DecompressResult DecompressEntry(const char* archivePath, const char* name, const char* folder,
                                     const std::atomic<bool>* cancel = nullptr,
                                     ExistingOutput existing = ExistingOutput::Keep,
                                     Completion completion = Completion::Publish);
    DecompressResult DecompressEntry(IByteSource& archive, const char* name, const char* folder,
                                     const std::atomic<bool>* cancel = nullptr,
                                     ExistingOutput existing = ExistingOutput::Keep,
                                     Completion completion = Completion::Publish);

    // With ExistingOutput::Replace, the file the user agreed to overwrite, as it was then: the
    // entry replaces only a file that still has this identity (otherwise "The output file
    // already exists!", the file untouched), and takes a name freed meanwhile without replacing
    // what may appear there. Not known (the default): the file there is replaced, whatever it is.
    void ReplaceOnlyIf(const FileIdentity& agreed) { replacedIdentity = agreed; }

    // Whether a complete entry waits in its part file.
    bool HoldsEntry() const { return !heldPart.empty(); }
    // Moves the held entry to its output path as DecompressEntry would have, replacing a file
    // there only when it was asked to. The part file is removed when that fails (CLasException,
    // naming the output). Nothing happens when no entry is held.
    void PublishHeldEntry();
    // Removes the held entry's part file, and nothing else. Also done by the destructor and by the
    // next DecompressEntry.
    void DiscardHeldEntry();

    // How details name the archive ("survey.lcmp: ...", "a.las in survey.lcmp: ..."); "the
    // archive" until set. DecompressEntry with a path sets it to the path.
    void SetArchiveName(std::string name) { archiveName = std::move(name); }

    // Releases the output path and the directory. Not while DecompressEntry runs: a caller that
    // wants to stop it sets the cancel flag and waits for it to return.
    void ReleaseArchive();

    std::int32_t EntryCount() const { return entryCount; }
    const std::vector<ArchiveEntry>& Directory() const { return directory; }
    std::int32_t FoundIndex() const { return foundIndex; }
    const LCMPStreamContext& Context() const { return context; }
    // The point writer's hundredths of the current chunk.
    std::int32_t Progress() const { return progress.load(std::memory_order_relaxed); }

    // Whether decoding may use a second thread (see LCMPStreamContext::SetSecondThread).
    void SetSecondThread(bool allowed) { context.SetSecondThread(allowed); }

    // Seams for tests, called on the decoding thread: after each stream with the number done, and
    // once an entry is complete in its part file, before it is published or held. A test holds
    // the decoder there to act at a chosen point. Not while DecompressEntry runs.
    void SetStreamHook(std::function<void(std::int32_t)> hook)
    {
        context.SetStreamHook(std::move(hook));
    }
    void SetCompleteHook(std::function<void()> hook) { entryComplete = std::move(hook); }

private:
    void CheckMagic(IByteSource& archive) const;
    // Details: "archive: what", and "name in archive: what".
    std::string Problem(const std::string& what) const;
    std::string EntryProblem(const char* name, const std::string& what) const;
    void EndEntry();

    std::vector<ArchiveEntry> directory;
    // File offset of the directory read last.
    std::int64_t directoryOffset = 0;
    std::int32_t entryCount = 0;
    std::string outputPath;
    std::string archiveName = "the archive";
    LCMPStreamContext context;
    CLasFile target;
    std::int32_t foundIndex = -1;
    std::atomic<std::int32_t> progress{0};
    std::function<void()> entryComplete;
    // The part file of a held entry, the output it is meant for, and whether it may replace one.
    std::string heldPart;
    std::string heldOutput;
    ExistingOutput heldExisting = ExistingOutput::Keep;
    FileIdentity replacedIdentity;
};

// True for a name that can only be a file in the folder it is written to: not empty, not "." or
// "..", and without a path separator.
bool IsPlainFileName(const char* name);

// The entry names of an archive in directory order; none when there is no path, the archive
// holds no entries or cannot be read. Failures are shown through the notifier (standard error
// when none is given): "Error opening file!" when the archive cannot be opened, "Cannot read
// LCMPFile file headers" for an empty file or a count whose directory does not fit, the
// exception's message for whatever else keeps the count or directory from being read. An archive
// whose count is 0 lists nothing, silently. Each message comes with a detail naming the archive
// and what was wrong.
std::vector<std::string> ListArchive(const char* archivePath, INotifier* notifier);
std::vector<std::string> ListArchive(IByteSource& archive, INotifier* notifier,
                                     const std::string& archiveName = "the archive");

} // namespace telvora
