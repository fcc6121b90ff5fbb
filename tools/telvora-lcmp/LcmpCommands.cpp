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

// Bytes 80 to BF, which continue a UTF-8 sequence.
bool IsContinuation(const std::string_view text, std::size_t at)
{
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0u) == 0x80u;
}

// The length of the well-formed UTF-8 sequence of two to four bytes at the position (no overlong
// forms, surrogates or code points above 10FFFF), or 0.
std::size_t SequenceAt(const std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const auto second =
        at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : std::uint8_t{0};
    std::size_t length = 0;
    bool secondFits = true;
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        secondFits = lead == 0xE0 ? second >= 0xA0 : (lead == 0xED ? second <= 0x9F : true);
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        secondFits = lead == 0xF0 ? second >= 0x90 : (lead == 0xF4 ? second <= 0x8F : true);
    }
    if (length == 0 || !secondFits)
    {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k)
    {
        if (!IsContinuation(text, at + k))
        {
            return 0;
        }
    }
    return length;
}

void AppendHex(std::string& out, unsigned char byte)
{
    out += fmt::format("\\x{:02x}", byte);
}

// Names and paths come from archives and may hold anything: printed raw, control characters and
// escape sequences would act on the terminal or split a line in two. Control characters (C0,
// DEL, and C1, which some terminals obey as well) and bytes that are no well-formed UTF-8 are
// shown as \xNN, a backslash as \\; everything else, letters of any script included, as it is.
std::string Shown(const std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();)
    {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\\')
        {
            out += "\\\\";
            ++at;
        }
        else if (byte < 0x20 || byte == 0x7F)
        {
            AppendHex(out, byte);
            ++at;
        }
        else if (byte < 0x80)
        {
            out += static_cast<char>(byte);
            ++at;
        }
        else if (const std::size_t length = SequenceAt(text, at); length == 0)
        {
            AppendHex(out, byte);
            ++at;
        }
        else if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F)
        {
            AppendHex(out, byte);
            AppendHex(out, static_cast<unsigned char>(text[at + 1]));
            at += 2;
        }
        else
        {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
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
