#include "FailureInjection.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "las/LasException.h"

namespace telvora::test
{
namespace
{

constexpr uid_t kNobody = 65534;

void ApplyLimits(const WriteLimits& limits)
{
    if (limits.fileSizeBytes >= 0)
    {
        const rlimit size{static_cast<rlim_t>(limits.fileSizeBytes),
                          static_cast<rlim_t>(limits.fileSizeBytes)};
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0)
        {
            ::_exit(90);
        }
    }
    if (limits.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
    {
        ::_exit(91);
    }
}

std::string ReadAllFrom(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;)
    {
        if (got < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// An unprivileged user may be unable to reach the build folder (a checkout in a home folder of
// mode 0700), so that user runs a copy in a fresh folder open to all. Empty when no copy is needed
// or none could be made; the child then fails to start with its own exit status.
std::string ReachableCopy(const WriteLimits& limits, const std::string& executable)
{
    if (!limits.unprivileged || ::geteuid() != 0)
    {
        return {};
    }
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "telvora-exec-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
    {
        return {};
    }
    std::error_code error;
    const fs::perms forAll = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(folder, forAll, error);
    const fs::path copy = fs::path(folder) / fs::path(executable).filename();
    if (!error)
    {
        fs::copy_file(executable, copy, error);
    }
    if (!error)
    {
        fs::permissions(copy, forAll, error);
    }
    if (error)
    {
        fs::remove_all(folder, error);
        return {};
    }
    return folder;
}

void WriteAllTo(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();)
    {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put <= 0)
        {
            return;
        }
        done += static_cast<std::size_t>(put);
    }
}

} // namespace

namespace
{

// A line of /proc/self/status in KiB ("VmHWM:"); -1 when it cannot be read.
long StatusKiB(const std::string& wanted)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key)
    {
        if (key == wanted)
        {
            long value = -1;
            status >> value;
            return value;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
}

} // namespace

MemoryGrowth PeakMemoryGrowth(const std::function<void()>& work)
{
    const ChildOutcome outcome =
        RunWithLimits({},
                      [&work]
                      {
                          // Writing 5 sets the peak back to what is resident now.
                          std::ofstream("/proc/self/clear_refs") << "5";
                          const long before = StatusKiB("VmHWM:");
                          const long resident = StatusKiB("VmRSS:");
                          std::string text;
                          try
                          {
                              work();
                          }
                          catch (const CLasException& error)
                          {
                              text = error.GetErrorText();
                          }
                          const long peak = StatusKiB("VmHWM:");
                          const bool known =
                              before >= 0 && resident >= 0 && peak >= 0 && before <= resident + 64;
                          throw ReportedMessage(text, std::to_string(known ? peak - resident : -1));
                      });
    return {std::stol(outcome.detail.empty() ? std::string("-1") : outcome.detail), outcome.text};
}

ChildOutcome RunWithLimits(const WriteLimits& limits, const std::function<void()>& work)
{
    int channel[2];
    if (::pipe(channel) != 0)
    {
        return {true, "no pipe", ""};
    }
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        ApplyLimits(limits);
        std::string report = "returned";
        try
        {
            work();
        }
        catch (const CLasException& error)
        {
            report = std::string("threw\n") + error.GetErrorText() + '\n' + error.GetDetail();
        }
        catch (const ReportedMessage& message)
        {
            report = "threw\n" + message.text + '\n' + message.detail;
        }
        catch (const std::exception& error)
        {
            report = std::string("threw\nunexpected: ") + error.what() + '\n';
        }
        WriteAllTo(channel[1], report);
        // No destructors, no gtest output from the child.
        ::_exit(0);
    }
    ::close(channel[1]);
    const std::string report = ReadAllFrom(channel[0]);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    {
        return {true, "the child process failed with status " + std::to_string(status), ""};
    }
    ChildOutcome outcome;
    if (report.rfind("threw\n", 0) == 0)
    {
        const std::string rest = report.substr(6);
        const std::size_t line = rest.find('\n');
        outcome.threw = true;
        outcome.text = rest.substr(0, line);
        outcome.detail = line == std::string::npos ? std::string() : rest.substr(line + 1);
    }
    return outcome;
}

CLimitedProgram::CLimitedProgram(const WriteLimits& limits, const std::string& executable,
                                 const std::vector<std::string>& arguments)
    : copyFolder(ReachableCopy(limits, executable))
{
    const std::string program =
        copyFolder.empty()
            ? executable
            : (std::filesystem::path(copyFolder) / std::filesystem::path(executable).filename())
                  .string();
    int err[2];
    if (::pipe(err) != 0)
    {
        return;
    }
    pid = ::fork();
    if (pid == 0)
    {
        const int none = ::open("/dev/null", O_RDWR);
        ::dup2(none, STDIN_FILENO);
        ::dup2(none, STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(err[0]);
        ::close(err[1]);
        std::signal(SIGXFSZ, SIG_DFL);
        ApplyLimits(limits);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
        {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(92);
    }
    ::close(err[1]);
    errRead = err[0];
}

CLimitedProgram::~CLimitedProgram()
{
    if (pid > 0 && !waited)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    if (errRead >= 0)
    {
        ::close(errRead);
    }
    if (!copyFolder.empty())
    {
        std::error_code ignored;
        std::filesystem::remove_all(copyFolder, ignored);
    }
}

LimitedRun CLimitedProgram::Wait()
{
    LimitedRun run;
    if (pid <= 0 || waited)
    {
        return run;
    }
    run.err = ReadAllFrom(errRead);
    int status = 0;
    ::waitpid(pid, &status, 0);
    waited = true;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> PartFilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".part"))
        {
            names.push_back(name);
        }
    }
    return names;
}

bool MountSmallFileSystem(const std::string& folder, std::size_t bytes)
{
    const std::string options = "size=" + std::to_string(bytes);
    return ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

void Unmount(const std::string& folder)
{
    ::umount2(folder.c_str(), MNT_DETACH);
}

} // namespace telvora::test
