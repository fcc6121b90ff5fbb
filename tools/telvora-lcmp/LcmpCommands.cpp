#include "telvora-lcmp/LcmpCommands.h"

#include <chrono>
#include <condition_variable>
#include <fmt/core.h>
#include <mutex>
#include <ostream>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "common/Notifier.h"
#include "las/LasException.h"
#include "lcmp/LCMPFile.h"

namespace telvora::lcmpcli
{

namespace
{

// Collects what the listing would show in message boxes, to be printed as plain lines.
class CollectingNotifier final : public INotifier
{
public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon,
                     const std::string& detail) override
    {
        messages.push_back(detail.empty() ? text : text + " (" + detail + ")");
    }

    std::vector<std::string> messages;
};

bool ListNames(const std::string& archive, std::vector<std::string>& names, std::ostream& err)
{
    CollectingNotifier notifier;
    names = ListArchive(archive.c_str(), &notifier);
    for (const std::string& message : notifier.messages)
    {
        err << fmt::format("{}: {}\n", archive, message);
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

} // namespace

int RunList(const std::string& archive, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> names;
    if (!ListNames(archive, names, err))
    {
        return kExitFailure;
    }
    for (const std::string& name : names)
    {
        out << name << '\n';
    }
    return kExitOk;
}

int RunExtract(const std::string& archive, const ExtractOptions& options, std::ostream& err,
               std::ostream* progress, const std::atomic<bool>* cancel)
{
    struct stat info
    {
    };
    if (::stat(options.folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    {
        err << fmt::format("{}: no such folder\n", options.folder);
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
    for (const std::string& name : names)
    {
        if (cancel != nullptr && cancel->load())
        {
            break;
        }
        if (!options.force && Exists(folder + name))
        {
            err << fmt::format("{}: {} already exists (use --force to replace it)\n", name,
                               folder + name);
            result = kExitFailure;
            continue;
        }
        try
        {
            DecompressResult outcome = DecompressResult::Complete;
            {
                ProgressLine line(progress, file, name);
                // The early check above gives the friendlier message; the decoder itself never
                // replaces a file that appears meanwhile unless --force says so.
                outcome = file.DecompressEntry(
                    archive.c_str(), name.c_str(), folder.c_str(), cancel,
                    options.force ? ExistingOutput::Replace : ExistingOutput::Keep);
            }
            if (outcome == DecompressResult::Cancelled)
            {
                err << fmt::format("{}: cancelled, nothing written\n", name);
                return kExitFailure;
            }
        }
        catch (const CLasException& error)
        {
            err << fmt::format("{}: {}\n", name, error.GetErrorText());
            result = kExitFailure;
        }
    }
    if (cancel != nullptr && cancel->load())
    {
        err << "cancelled\n";
        return kExitFailure;
    }
    return result;
}

} // namespace telvora::lcmpcli
