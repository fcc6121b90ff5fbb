#include "common/TerminalText.h"

#include <cstdint>

namespace telvora
{

namespace
{

bool IsUnsafe(std::uint32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || code == 0x200E ||
           code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

void AppendHex(std::string& out, unsigned char byte)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

unsigned char ByteAt(std::string_view text, std::size_t at)
{
    return at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
}

// The code point of the well-formed UTF-8 sequence at the position (no overlong forms,
// surrogates or code points above 10FFFF) and its length, or length 0.
struct Sequence
{
    std::uint32_t code = 0;
    std::size_t length = 0;
};

Sequence SequenceAt(std::string_view text, std::size_t at)
{
    const unsigned char lead = ByteAt(text, at);
    const unsigned char second = ByteAt(text, at + 1);
    Sequence sequence;
    if (lead < 0x80)
    {
        return {lead, 1};
    }
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        sequence = {lead & 0x1Fu, 2};
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        const bool fits = lead == 0xE0 ? second >= 0xA0 : (lead == 0xED ? second <= 0x9F : true);
        sequence = {lead & 0x0Fu, fits ? 3u : 0u};
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        const bool fits = lead == 0xF0 ? second >= 0x90 : (lead == 0xF4 ? second <= 0x8F : true);
        sequence = {lead & 0x07u, fits ? 4u : 0u};
    }
    for (std::size_t k = 1; k < sequence.length; ++k)
    {
        const unsigned char next = ByteAt(text, at + k);
        if ((next & 0xC0u) != 0x80u)
        {
            return {};
        }
        sequence.code = (sequence.code << 6) | (next & 0x3Fu);
    }
    return sequence;
}

} // namespace

std::string TerminalText(std::string_view text, TextEncoding encoding)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();)
    {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\\')
        {
            out += "\\\\";
            ++at;
            continue;
        }
        if (encoding == TextEncoding::Latin1)
        {
            if (IsUnsafe(byte))
            {
                AppendHex(out, byte);
            }
            else if (byte < 0x80)
            {
                out += static_cast<char>(byte);
            }
            else
            {
                out += static_cast<char>(0xC0 | (byte >> 6));
                out += static_cast<char>(0x80 | (byte & 0x3F));
            }
            ++at;
            continue;
        }
        const Sequence sequence = SequenceAt(text, at);
        if (sequence.length == 0)
        {
            AppendHex(out, byte);
            ++at;
            continue;
        }
        if (IsUnsafe(sequence.code))
        {
            for (std::size_t k = 0; k < sequence.length; ++k)
            {
                AppendHex(out, static_cast<unsigned char>(text[at + k]));
            }
        }
        else
        {
            out.append(text.substr(at, sequence.length));
        }
        at += sequence.length;
    }
    return out;
}

} // namespace telvora
