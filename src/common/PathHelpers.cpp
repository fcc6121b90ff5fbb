#include "common/PathHelpers.h"

namespace telvora
{

std::string_view FileNameOf(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string FolderOf(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string_view::npos)
    {
        return ".";
    }
    if (cut == 0)
    {
        return std::string(path.substr(0, 1));
    }
    return std::string(path.substr(0, cut));
}

} // namespace telvora
