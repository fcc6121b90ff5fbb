#include "ProcessRun.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace telvora::test
{
namespace
{

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
    {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace

ProcessResult RunProcess(const std::string& executable, const std::vector<std::string>& arguments,
                         const std::string& errFile)
{
    std::string command = Quoted(executable);
    for (const std::string& argument : arguments)
    {
        command += ' ' + Quoted(argument);
    }
    command += " 2>" + Quoted(errFile);

    ProcessResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
    {
        return result;
    }
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    {
        result.out.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile, std::ios::binary);
    result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return result;
}

} // namespace telvora::test
