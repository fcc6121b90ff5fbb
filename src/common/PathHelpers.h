#pragma once

#include <string>
#include <string_view>

namespace telvora
{

// The part of a path after its last separator, or the whole path when it has none. Both '/' and
// '\' count as separators: paths written on other systems reach us inside files and settings.
std::string_view FileNameOf(std::string_view path);

// The folder part of a path, without its trailing separator; "." when the path has none.
std::string FolderOf(std::string_view path);

} // namespace telvora
