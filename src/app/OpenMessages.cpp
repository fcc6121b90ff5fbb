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

OpenMessage LeftOutMessage(const std::vector<std::string>& leftOutNames, int limit)
{
    OpenMessage message;
    const std::size_t count = leftOutNames.size();
    message.text = fmt::format("At most {} files can be open at once: the first {} were opened and "
                               "{} {} left out.",
                               limit, limit, count, count == 1 ? "was" : "were");
    for (std::size_t i = 0; i < count && i < kMaxListedNames; ++i)
    {
        AppendLine(message.detail, leftOutNames[i]);
    }
    if (count > kMaxListedNames)
    {
        AppendLine(message.detail, fmt::format("and {} more", count - kMaxListedNames));
    }
    return message;
}

} // namespace telvora
