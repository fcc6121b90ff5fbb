#include "common/TerminalText.h"

#include <gtest/gtest.h>
#include <string>

namespace telvora
{
namespace
{

struct Case
{
    const char* label;
    std::string text;
    std::string shown;
};

TEST(TerminalText, Utf8KeepsLettersAndShowsEveryUnsafeSequenceByteByByte)
{
    const Case cases[] = {
        {"plain", "survey 12.las", "survey 12.las"},
        {"letters of any script", "caf\xc3\xa9 \xe6\x9d\xb1 \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe6\x9d\xb1 \xf0\x9f\x98\x80"},
        {"clear screen", "\x1b[2J", "\\x1b[2J"},
        {"line ends and tab", "a\rb\nc\t", "a\\x0db\\x0ac\\x09"},
        {"first and last C0, DEL", std::string("\x00\x1f\x7f", 3), "\\x00\\x1f\\x7f"},
        {"backslash", "a\\b", "a\\\\b"},
        {"C1 CSI and NEL", "\xc2\x9b\xc2\x85", "\\xc2\\x9b\\xc2\\x85"},
        {"first letter after C1", "\xc2\xa0", "\xc2\xa0"},
        {"right-to-left override",
         "\xe2\x80\xae"
         "sal.exe",
         "\\xe2\\x80\\xaesal.exe"},
        {"embeddings and overrides", "\xe2\x80\xaa\xe2\x80\xac", "\\xe2\\x80\\xaa\\xe2\\x80\\xac"},
        {"isolates", "\xe2\x81\xa6\xe2\x81\xa9", "\\xe2\\x81\\xa6\\xe2\\x81\\xa9"},
        {"marks", "\xd8\x9c\xe2\x80\x8e\xe2\x80\x8f", "\\xd8\\x9c\\xe2\\x80\\x8e\\xe2\\x80\\x8f"},
        {"neighbours of the bidi ranges", "\xe2\x80\xa9\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa",
         "\xe2\x80\xa9\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa"},
        {"lone continuation, cut sequence", "\x80\xc3", "\\x80\\xc3"},
        {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"sequence cut by the end", "ab\xe2\x80", "ab\\xe2\\x80"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(TerminalText(c.text), c.shown) << c.label;
    }
}

TEST(TerminalText, Latin1ShowsControlBytesAsTheyAreInTheFile)
{
    const Case cases[] = {
        {"plain", "TerraScan", "TerraScan"},
        {"letters become UTF-8", "\xe9t\xe9 \xff", "\xc3\xa9t\xc3\xa9 \xc3\xbf"},
        {"C0, DEL", "\x1b]0;x\x07\x7f", "\\x1b]0;x\\x07\\x7f"},
        {"C1 is one byte here", "\x80\x85\x9f\xa0", "\\x80\\x85\\x9f\xc2\xa0"},
        {"backslash", "\\", "\\\\"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(TerminalText(c.text, TextEncoding::Latin1), c.shown) << c.label;
    }
}

} // namespace
} // namespace telvora
