#include "telvora-lcmp/LcmpCommands.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <fmt/core.h>
#include <mutex>
#include <ostream>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "common/Notifier.h"
#include "common/SystemErrors.h"
#include "common/TerminalText.h"
#include "las/LasException.h"
#include "lcmp/LCMPFile.h"

namespace telvora::lcmpcli
{

namespace
{

// Names and paths come from archives and may hold anything: printed raw, control characters,
// escape sequences and direction overrides would act on the terminal or disguise a line.
std::string Shown(const std::string_view text)
{
    return TerminalText(text);
}

// "text" or "text (detail)", the detail shown safely: it quotes paths.
std::string MessageLine(const std::string& text, const std::string& detail)
{
    return detail.empty() ? text : text + " (" + Shown(detail) + ")";
}

// Collects what the listing would show in message boxes, to be printed as plain lines.
class CollectingNotifier final : public INotifier
{
public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon,
                     const std::string& detail) override
    {
        messages.push_back(MessageLine(text, detail));
    }

    std::vector<std::string> messages;
};

bool ListNames(const std::string& archive, std::vector<std::string>& names, std::ostream& err)
{
    CollectingNotifier notifier;
    names = ListArchive(archive.c_str(), &notifier);
    for (const std::string& message : notifier.messages)
    {
        err << fmt::format("{}: {}\n", Shown(archive), message);
    }
    return notifier.messages.empty();
}

bool Exists(const std::string& path)
{
    struct stat info
    {
    };
    // A dangling link is still a name we would replace.
    return ::lstat(path.c_str(), &info) == 0;
}

// Rewrites one line on the progress stream with the share of streams done, every tenth of a
// second, until stopped.
class ProgressLine
{
public:
    ProgressLine(std::ostream* output, const LCMPFile& watched, std::string label)
        : sink(output)
        , file(watched)
        , name(std::move(label))
    {
        if (sink != nullptr)
        {
            thread = std::thread([this] { Run(); });
        }
    }
    ~ProgressLine()
    {
        if (!thread.joinable())
        {
            return;
        }
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        thread.join();
        if (shown >= 0)
        {
            *sink << '\r' << std::string(name.size() + 8, ' ') << '\r' << std::flush;
        }
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void Run()
    {
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping; }))
        {
            const int total = file.Context().StreamsTotal();
            const int percent = total > 0 ? file.Context().StreamsDone() * 100 / total : 0;
            if (percent != shown)
            {
                shown = percent;
                *sink << fmt::format("\r{}: {}%", name, percent) << std::flush;
            }
        }
    }

    std::ostream* sink;
    const LCMPFile& file;
    std::string name;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    int shown = -1;
    std::thread thread;
};

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

std::atomic<bool>& CatchInterrupts()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::signal(SIGHUP, OnInterrupt);
    return interrupted;
}

int RunList(const std::string& archive, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> names;
    if (!ListNames(archive, names, err))
    {
        return kExitFailure;
    }
    for (const std::string& name : names)
    {
        out << TerminalText(name) << '\n';
    }
    return kExitOk;
}

int RunExtract(const std::string& archive, const ExtractOptions& options, std::ostream& err,
               std::ostream* progress, const std::atomic<bool>* cancel)
{
    struct stat info
    {
    };
    if (::stat(options.folder.c_str(), &info) != 0)
    {
        const int error = errno;
        err << fmt::format("{}: {}\n", Shown(options.folder),
                           error == ENOENT || error == ENOTDIR ? std::string("no such folder")
                                                               : ErrorReason(error));
        return kExitFailure;
    }
    if (!S_ISDIR(info.st_mode))
    {
        err << fmt::format("{}: not a folder\n", Shown(options.folder));
        return kExitFailure;
    }

    std::vector<std::string> names = options.names;
    if (names.empty())
    {
        std::vector<std::string> listed;
        if (!ListNames(archive, listed, err))
        {
            return kExitFailure;
        }
        // Only the first of equal names can be reached; it is extracted once.
        std::set<std::string> seen;
        for (const std::string& name : listed)
        {
            if (seen.insert(name).second)
            {
                names.push_back(name);
            }
        }
    }

    std::string folder = options.folder;
    if (!folder.empty() && folder.back() != '/')
    {
        folder += '/';
    }
    int result = kExitOk;
    LCMPFile file;
    file.SetStreamHook(options.afterStream);
    file.SetCompleteHook(options.entryComplete);
    for (const std::string& name : names)
    {
        // A signal between two entries ends the job: the entries already renamed stay, the
        // rest are not begun.
        if (cancel != nullptr && cancel->load())
        {
            err << "cancelled\n";
            return kExitFailure;
        }
        // A name that is no plain file name names the folder or one outside it, which exists;
        // the decoder refuses it with its own message.
        if (!options.force && IsPlainFileName(name.c_str()) && Exists(folder + name))
        {
            err << fmt::format("{}: {} already exists (use --force to replace it)\n", Shown(name),
                               Shown(folder + name));
            result = kExitFailure;
            continue;
        }
        try
        {
            DecompressResult outcome = DecompressResult::Complete;
            {
                ProgressLine line(progress, file, Shown(name));
                // The early check above gives the friendlier message; the decoder itself never
                // replaces a file that appears meanwhile unless --force says so.
                outcome = file.DecompressEntry(
                    archive.c_str(), name.c_str(), folder.c_str(), cancel,
                    options.force ? ExistingOutput::Replace : ExistingOutput::Keep,
                    Completion::Hold);
            }
            // A signal that came after the last stream still keeps the file it would replace.
            if (cancel != nullptr && cancel->load())
            {
                file.DiscardHeldEntry();
                outcome = DecompressResult::Cancelled;
            }
            if (outcome == DecompressResult::Cancelled)
            {
                err << fmt::format("{}: cancelled, nothing written\n", Shown(name));
                return kExitFailure;
            }
            file.PublishHeldEntry();
            if (options.entryRenamed)
            {
                options.entryRenamed();
            }
        }
        catch (const CLasException& error)
        {
            err << fmt::format("{}: {}\n", Shown(name),
                               MessageLine(error.GetErrorText(), error.GetDetail()));
            result = kExitFailure;
        }
    }
    // Every entry asked for is renamed into place or reported: the job is done, and a signal
    // that came after the last rename has nothing left to stop.
    return result;
}

} // namespace telvora::lcmpcli
