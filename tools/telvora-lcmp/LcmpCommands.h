#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// What telvora-lcmp does, kept apart from its command line so that tests can run every command
// in-process.
namespace telvora::lcmpcli
{

inline constexpr int kExitOk = 0;
// The archive or an entry could not be read or written; the reason is on the error output.
inline constexpr int kExitFailure = 1;
// The command line itself is wrong.
inline constexpr int kExitUsage = 2;

// `list`: the entry names, one per line, in directory order. Here and in every message, names and
// paths are shown with control characters and bytes that are no UTF-8 as \xNN and a backslash as
// \\, so that no name can act on the terminal or pass for two lines.
int RunList(const std::string& archive, std::ostream& out, std::ostream& err);

struct ExtractOptions
{
    // Entries to extract; all of them (each name once) when empty.
    std::vector<std::string> names;
    // An existing folder ("no such folder" or "not a folder" otherwise).
    std::string folder;
    // Replace files that already exist in the folder.
    bool force = false;
    // Seams for tests, called on the decoding thread: after each stream of an entry with the
    // number done, once an entry is complete in its hidden file, before it is kept or dropped,
    // and once it is renamed into place. A test sends its signal there.
    std::function<void(std::int32_t)> afterStream = nullptr;
    std::function<void()> entryComplete = nullptr;
    std::function<void()> entryRenamed = nullptr;
};

// `extract`: rebuilds the entries as folder/name. An entry that fails or would overwrite a file
// without force is reported, with the reason where there is one ("message (detail)"), and
// skipped, the others are still extracted; nothing half-written stays behind. Progress goes to the
// given stream, when there is one, as a line rewritten in place. The cancel flag (set from a signal
// handler) stops the current entry between streams; a complete entry takes the output's place
// only when the flag is still clear, so an interrupted run leaves every file it would have
// replaced as it was, or the complete entry where that was renamed before the signal came. Once
// the last entry is renamed the job has succeeded: a signal after that point changes neither the
// files nor the exit status.
int RunExtract(const std::string& archive, const ExtractOptions& options, std::ostream& err,
               std::ostream* progress = nullptr, const std::atomic<bool>* cancel = nullptr);

// Ctrl-C, a closed terminal (SIGHUP) and SIGTERM set the returned flag instead of ending the
// program, so that the current entry stops between two streams and its hidden file is removed.
// The flag stays set until cleared.
std::atomic<bool>& CatchInterrupts();

} // namespace telvora::lcmpcli
