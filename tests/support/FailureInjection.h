#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace telvora::test
{

// How a write is made to fail: in a child process, so that the limits never touch the test
// program itself.
struct WriteLimits
{
    // RLIMIT_FSIZE in bytes; negative for none.
    std::int64_t fileSizeBytes = -1;
    // Runs as an unprivileged user (uid and gid 65534) when the tests run as root, so that folder
    // and file permissions count; as another user the permissions count anyway.
    bool unprivileged = false;
};

struct ChildOutcome
{
    // False when the work returned without throwing.
    bool threw = false;
    std::string text;
    std::string detail;
};

// Thrown by work whose code reports a failure to a notifier instead of throwing it, so that the
// message comes back from the child process as an exception's would.
struct ReportedMessage : std::exception
{
    ReportedMessage(std::string shownText, std::string shownDetail)
        : text(std::move(shownText))
        , detail(std::move(shownDetail))
    {
    }
    std::string text;
    std::string detail;
};

// Runs work in a child process under the limits, with SIGXFSZ ignored as every program of ours
// does at start-up, and brings back the CLasException (or ReportedMessage) it throws.
ChildOutcome RunWithLimits(const WriteLimits& limits, const std::function<void()>& work);

struct LimitedRun
{
    // -1 when the program did not exit on its own (a signal ended it).
    int exitCode = -1;
    std::string err;
};

// A program started under the limits with the default signal dispositions, so that it must ignore
// SIGXFSZ itself. Its standard error comes back through a pipe, which no file-size limit applies
// to; signals and new limits can reach it while it works (Pid). Killed if not waited for. An
// unprivileged run starts a copy of the executable from a folder every user may enter, so that
// the build folder may lie where only its owner can reach it.
class CLimitedProgram
{
public:
    CLimitedProgram(const WriteLimits& limits, const std::string& executable,
                    const std::vector<std::string>& arguments);
    ~CLimitedProgram();
    CLimitedProgram(const CLimitedProgram&) = delete;
    CLimitedProgram& operator=(const CLimitedProgram&) = delete;

    int Pid() const { return pid; }
    LimitedRun Wait();

private:
    std::string copyFolder;
    int pid = -1;
    int errRead = -1;
    bool waited = false;
};

inline LimitedRun RunProgramWithLimits(const WriteLimits& limits, const std::string& executable,
                                       const std::vector<std::string>& arguments)
{
    return CLimitedProgram(limits, executable, arguments).Wait();
}

// How far the resident memory of a child process rose above where it stood when work began, in
// KiB (its peak, VmHWM, reset first), and the message work threw (empty when it returned).
// -1 as growth when the peak cannot be read or reset.
struct MemoryGrowth
{
    long kib = -1;
    std::string text;
};
MemoryGrowth PeakMemoryGrowth(const std::function<void()>& work);

// The names in a folder that end in ".part": what an interrupted write would leave.
std::vector<std::string> PartFilesIn(const std::string& folder);

// Mounts a tmpfs of the given size at folder (root only). False when it cannot be done.
bool MountSmallFileSystem(const std::string& folder, std::size_t bytes);
void Unmount(const std::string& folder);

} // namespace telvora::test
