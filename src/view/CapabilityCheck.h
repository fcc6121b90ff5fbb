#pragma once

#include <string>
#include <string_view>

namespace telvora
{

// What the driver reports, taken through one seam so that the check can be fed any strings.
struct GLInfo
{
    std::string version;
    std::string glewVersion;
    std::string extensions;
};

struct CapabilityReport
{
    bool capable = false;
    // Empty when capable; otherwise what the message box shows.
    std::string caption;
    std::string text;
};

// The leading decimal number of a version string ("2.1.2 Mesa" gives 2.1), read the same way
// whatever the C library's locale says; 0 when the string does not start with a number.
double LeadingVersionNumber(std::string_view version);

// True when word occurs in the space-separated list as a whole word.
bool HasWholeWord(std::string_view list, std::string_view word);

// The view needs OpenGL 1.5, GLEW 1.5 and vertex buffer objects.
CapabilityReport CheckCapabilities(const GLInfo& info);

} // namespace telvora
