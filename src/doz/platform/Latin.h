// Plain-Latin spellings of letters from other alphabets and accented forms.
//
// One table serves every place where text must be narrowed to a smaller
// character set: Windows-1252 at the edges of the system (for what that code
// page cannot hold) and the SEPA character set of the XML transfer files.
// A form is made of printable ASCII only and keeps the letter's case
// ("Ł" -> "L", "ß" -> "ss", "Œ" -> "OE", "Ж" -> "Zh"); a few signs that a
// reader would not miss have an empty form (the Cyrillic hard and soft signs).
#pragma once

#include <optional>
#include <string_view>

namespace doz {

// The closest plain-Latin spelling of a code point, or nothing when it has none
// that a reader would recognise. Printable ASCII is its own form.
std::optional<std::string_view> latinForm(char32_t cp);

}  // namespace doz
