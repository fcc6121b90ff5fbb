#pragma once

#include <string>
#include <vector>

namespace telvora::test
{

struct ProcessResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the executable with the arguments through the shell, as a script would, and collects its
// standard output. Its error output goes through errFile, so it is never a terminal.
ProcessResult RunProcess(const std::string& executable, const std::vector<std::string>& arguments,
                         const std::string& errFile);

} // namespace telvora::test
