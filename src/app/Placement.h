#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace telvora
{

// The main window's placement as stored in "Placement": flags, show command, minimised and
// maximised positions and the normal (restored) rectangle, in the order of the stored text.
struct WindowPlacement
{
    unsigned flags = 0;
    unsigned showCmd = 1;
    int minX = -1;
    int minY = -1;
    int maxX = -1;
    int maxY = -1;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Show commands as stored.
constexpr unsigned kShowNormal = 1;
constexpr unsigned kShowMinimized = 2;
constexpr unsigned kShowMaximized = 3;

// "flags;show;minX;minY;maxX;maxY;left;top;right;bottom;" with decimal numbers.
std::string FormatPlacement(const WindowPlacement& placement);

// None unless all ten numbers are there, each followed by ';', and the normal rectangle has a
// positive size: a cut or garbled value must not give the window a nonsensical geometry.
std::optional<WindowPlacement> ParsePlacement(std::string_view text);

} // namespace telvora
