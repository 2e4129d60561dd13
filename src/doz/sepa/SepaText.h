// The character set of SEPA messages: letters a-z A-Z, digits, the blank and
// / - ? : ( ) . , ' +. Every text of a message is narrowed to it before it is
// written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace doz::sepa {

bool IsSepaCharacter(char c);

// A Windows-1252 text in the SEPA set: a character of the set stays, any other
// takes its Latin form (platform/Latin.h) with only the SEPA characters of it
// ("à" -> "a", "ß" -> "ss"), and one with no such form becomes a full stop.
// The result is cut to `maxLength` characters, before a multi-letter form that
// would not fit whole; blanks at both ends are removed first.
std::string ToSepaText(std::string_view ansi, std::size_t maxLength = std::string::npos);

}  // namespace doz::sepa
