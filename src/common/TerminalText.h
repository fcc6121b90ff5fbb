#pragma once

#include <string>
#include <string_view>

namespace telvora
{

// How the bytes of a text are meant: UTF-8 (names in archives, paths, messages), or one
// character per byte (the fixed-width text fields of LAS headers and records, taken as Latin-1).
enum class TextEncoding
{
    Utf8,
    Latin1,
};

// A text from a file, an archive or the command line, made safe to print on a terminal: printed
// raw, control characters and escape sequences would act on the terminal (clear it, set its
// title, move the cursor), a carriage return or line feed would forge a line of the report, and
// a bidirectional override would show a name in another order than it has. Control characters
// (C0, DEL and C1, which some terminals obey as well), the bidirectional embeddings, overrides,
// isolates and marks (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) and bytes that
// are no well-formed UTF-8 are shown as \xNN, one per byte of the source (so a C1 control in
// UTF-8 gives two, a Latin-1 one a single byte), and a backslash as \\. Everything else, letters
// of any script included, is kept, in UTF-8.
std::string TerminalText(std::string_view text, TextEncoding encoding = TextEncoding::Utf8);

} // namespace telvora
