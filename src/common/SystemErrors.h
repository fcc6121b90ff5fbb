#pragma once

#include <string>
#include <string_view>

namespace telvora
{

// What an errno value means, in words a user of the program understands ("the disk is full",
// "permission denied"), in English whatever the locale: messages are compared in tests and
// quoted in reports.
std::string ErrorReason(int error);

// Makes a write beyond the process's file-size limit fail with EFBIG, which the writers report
// and clean up after, instead of killing the program on the spot (SIGXFSZ). Every program calls
// it first thing.
void IgnoreFileSizeLimitSignal();

// "path: reason", the detail line of a failed read or write.
std::string FileProblem(std::string_view path, std::string_view reason);
std::string FileProblem(std::string_view path, int error);

} // namespace telvora
