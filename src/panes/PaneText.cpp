#include "panes/PaneText.h"

#include <fmt/format.h>
#include <string>

namespace telvora
{

QString FieldText(const unsigned char* bytes, std::size_t width)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < width && bytes[i] != 0; ++i)
    {
        const unsigned char byte = bytes[i];
        if (byte >= 0x20 && byte <= 0x7E)
        {
            text += static_cast<char>(byte);
        }
        else
        {
            text += "\\x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0x0F];
        }
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString FieldText(const char* bytes, std::size_t width)
{
    return FieldText(reinterpret_cast<const unsigned char*>(bytes), width);
}

QString FixedText(double value)
{
    return QString::fromStdString(fmt::format("{:.6f}", value));
}

} // namespace telvora
