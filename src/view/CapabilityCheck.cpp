#include "view/CapabilityCheck.h"

#include <charconv>
#include <fmt/format.h>
#include <system_error>

namespace telvora
{
namespace
{

constexpr double kRequiredVersion = 1.5;

} // namespace

double LeadingVersionNumber(std::string_view version)
{
    // strtod would follow LC_NUMERIC, which Qt sets from the user's locale: under a German
    // locale "1.5" would read as 1 and every driver would fail the check.
    std::size_t begin = version.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
    {
        return 0.0;
    }
    std::size_t end = begin;
    while (end < version.size() && version[end] >= '0' && version[end] <= '9')
    {
        ++end;
    }
    if (end < version.size() && version[end] == '.')
    {
        ++end;
        while (end < version.size() && version[end] >= '0' && version[end] <= '9')
        {
            ++end;
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(version.data() + begin, version.data() + end, value,
                                        std::chars_format::fixed);
    return result.ec == std::errc() ? value : 0.0;
}

bool HasWholeWord(std::string_view list, std::string_view word)
{
    if (word.empty())
    {
        return false;
    }
    for (std::size_t at = list.find(word); at != std::string_view::npos;
         at = list.find(word, at + 1))
    {
        const bool startsWord = at == 0 || list[at - 1] == ' ';
        const std::size_t end = at + word.size();
        const bool endsWord = end == list.size() || list[end] == ' ';
        if (startsWord && endsWord)
        {
            return true;
        }
    }
    return false;
}

CapabilityReport CheckCapabilities(const GLInfo& info)
{
    CapabilityReport report;
    std::string message;
    if (LeadingVersionNumber(info.version) < kRequiredVersion)
    {
        message += fmt::format("Please install OpenGL version {:.1f} or higher! (current {})\n\n",
                               kRequiredVersion, info.version);
    }
    if (LeadingVersionNumber(info.glewVersion) < kRequiredVersion)
    {
        message += fmt::format("Please install Glew version {:.1f} or higher! (current {})",
                               kRequiredVersion, info.glewVersion);
    }
    if (!message.empty())
    {
        report.caption = "Requirements";
        report.text = std::move(message);
        return report;
    }
    if (!HasWholeWord(info.extensions, "GL_ARB_vertex_buffer_object"))
    {
        report.caption = "Error";
        report.text = "Vertex Buffer Object(VBO) not suported!";
        return report;
    }
    report.capable = true;
    return report;
}

} // namespace telvora
