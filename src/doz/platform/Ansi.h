// Windows-1252 text at the edges of the system.
//
// Inside the system, text is 8-bit Windows-1252: one byte per character, and
// lengths and positions count those bytes. XML, UTF-16 fields, the window and
// the terminal speak Unicode; these functions convert at those edges. A
// character with no Windows-1252 form takes its plain-Latin spelling (ș -> s,
// ł -> l, Ж -> Zh), or '?' when it has none.
#pragma once

#include <string>
#include <string_view>

namespace doz {

// `narrowed`, when given, is set when a character had no Windows-1252 form
// or a byte was not UTF-8 (each such byte becomes '?').
std::string utf8ToAnsi(std::string_view utf8, bool* narrowed = nullptr);
std::string ansiToUtf8(std::string_view ansi);     // the five undefined codes map to U+0081.. as is
std::string utf16ToAnsi(std::u16string_view utf16, bool* narrowed = nullptr);
std::u16string ansiToUtf16(std::string_view ansi);
// Unicode code point of one Windows-1252 byte, and back ('?' = 0 result when none).
char32_t ansiToCodePoint(unsigned char c);
int codePointToAnsi(char32_t cp);  // -1 when the character has no Windows-1252 form
// Appends the Windows-1252 text of a code point: its own byte, else its
// Latin spelling, else '?'. False when the character had no byte of its own.
bool appendAnsi(std::string& out, char32_t cp);
// Letter case of Windows-1252: ASCII, the accented letters of Latin-1 and the
// four letters of the 0x80 block with a lower-case partner fold to lower case.
unsigned char foldAnsiCase(unsigned char c);
// Two texts alike but for letter case, in that folding.
bool sameTextNoCase(std::string_view a, std::string_view b);
// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t cp);

// Each control character (a code below 32, or 127) of `text` from `from` on
// becomes a blank, so that a value written into a line of fixed width keeps
// the width and cannot end the line. Gives the characters replaced, each once,
// in order of appearance.
std::string blankControlCharacters(std::string& text, std::size_t from = 0);

}  // namespace doz
