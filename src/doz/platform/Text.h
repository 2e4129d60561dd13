// Small character and blank helpers for codes, account numbers and the like:
// plain ASCII tests that do not depend on the locale.
#pragma once

#include <string_view>

namespace doz {

inline bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool isAsciiLetter(char c) { return isAsciiUpper(c) || (c >= 'a' && c <= 'z'); }
inline char toAsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True for a non-empty text of digits only.
inline bool allAsciiDigits(std::string_view s) {
    for (const char c : s)
        if (!isAsciiDigit(c)) return false;
    return !s.empty();
}

// The text without the characters of code 32 or less at either end.
inline std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

}  // namespace doz
