#include "app/Placement.h"

#include <charconv>
#include <fmt/format.h>

namespace telvora
{
namespace
{

template <typename T>
bool ReadField(std::string_view& text, T& value)
{
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || next == end || *next != ';')
    {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(next - begin) + 1);
    return true;
}

} // namespace

std::string FormatPlacement(const WindowPlacement& p)
{
    return fmt::format("{};{};{};{};{};{};{};{};{};{};", p.flags, p.showCmd, p.minX, p.minY, p.maxX,
                       p.maxY, p.left, p.top, p.right, p.bottom);
}

std::optional<WindowPlacement> ParsePlacement(std::string_view text)
{
    WindowPlacement p;
    if (!ReadField(text, p.flags) || !ReadField(text, p.showCmd) || !ReadField(text, p.minX) ||
        !ReadField(text, p.minY) || !ReadField(text, p.maxX) || !ReadField(text, p.maxY) ||
        !ReadField(text, p.left) || !ReadField(text, p.top) || !ReadField(text, p.right) ||
        !ReadField(text, p.bottom))
    {
        return std::nullopt;
    }
    if (p.right <= p.left || p.bottom <= p.top)
    {
        return std::nullopt;
    }
    return p;
}

} // namespace telvora
