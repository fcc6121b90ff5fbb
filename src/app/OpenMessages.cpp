#include "app/OpenMessages.h"

#include <algorithm>
#include <fmt/format.h>

namespace telvora
{

namespace
{

// Enough names to recognise the batch; a thousand dropped files must not make a box taller than
// the screen.
constexpr std::size_t kMaxListedNames = 10;

void AppendLine(std::string& text, const std::string& line)
{
    if (!text.empty())
    {
        text += '\n';
    }
    text += line;
}

// The first kMaxListedNames lines, and how many more there are.
void AppendListed(std::string& text, const std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size() && i < kMaxListedNames; ++i)
    {
        AppendLine(text, lines[i]);
    }
    if (lines.size() > kMaxListedNames)
    {
        AppendLine(text, fmt::format("and {} more", lines.size() - kMaxListedNames));
    }
}

} // namespace

OpenMessage RefusalMessage(const std::vector<RefusedFile>& refused)
{
    OpenMessage message;
    std::vector<std::string> texts;
    for (const RefusedFile& file : refused)
    {
        if (std::find(texts.begin(), texts.end(), file.text) == texts.end())
        {
            texts.push_back(file.text);
            AppendLine(message.text, file.text);
        }
        AppendLine(message.detail, file.reason);
    }
    return message;
}

OpenMessage SameFileMessage(const std::vector<SameFile>& repeated)
{
    OpenMessage message;
    const std::size_t count = repeated.size();
    message.text = fmt::format("Every file is loaded once: {} of the chosen files {} the same as a "
                               "file chosen before.",
                               count, count == 1 ? "was" : "were");
    std::vector<std::string> lines;
    lines.reserve(repeated.size());
    for (const SameFile& file : repeated)
    {
        lines.push_back(fmt::format("{}: the same file as {}", file.name, file.firstName));
    }
    AppendListed(message.detail, lines);
    return message;
}

OpenMessage LeftOutMessage(const std::vector<std::string>& leftOutNames, int limit)
{
    OpenMessage message;
    const std::size_t count = leftOutNames.size();
    message.text = fmt::format("At most {} files can be open at once: the first {} were opened and "
                               "{} {} left out.",
                               limit, limit, count, count == 1 ? "was" : "were");
    AppendListed(message.detail, leftOutNames);
    return message;
}

} // namespace telvora
