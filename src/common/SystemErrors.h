#pragma once

#include <string>
#include <string_view>

namespace telvora
{

// What an errno value means, in words a user of the program understands ("the disk is full",
// "permission denied"), in English whatever the locale: messages are compared in tests and
// quoted in reports.
std::string ErrorReason(int error);

// "path: reason", the detail line of a failed read or write.
std::string FileProblem(std::string_view path, std::string_view reason);
std::string FileProblem(std::string_view path, int error);

} // namespace telvora
