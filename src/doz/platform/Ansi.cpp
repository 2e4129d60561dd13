#include "platform/Ansi.h"

#include "platform/Latin.h"

namespace doz {

namespace {

// Code points of the bytes 0x80..0x9F; the five undefined bytes keep their
// C1 code point so that a round trip through Unicode loses nothing.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

bool appendAnsi(std::string& out, char32_t cp) {
    const int b = codePointToAnsi(cp);
    if (b >= 0) {
        out += static_cast<char>(b);
        return true;
    }
    const std::optional<std::string_view> latin = latinForm(cp);
    out += latin ? *latin : std::string_view("?");
    return false;
}

unsigned char foldAnsiCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
    switch (c) {
        case 0x8A: return 0x9A;  // S caron
        case 0x8C: return 0x9C;  // OE
        case 0x8E: return 0x9E;  // Z caron
        case 0x9F: return 0xFF;  // Y diaeresis
        default: return c;
    }
}

bool sameTextNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldAnsiCase(static_cast<unsigned char>(a[i])) != foldAnsiCase(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t ansiToCodePoint(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHigh[c - 0x80];
    return c;
}

int codePointToAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return 0x80 + i;
    return -1;
}

namespace {

// Where the run of plain ASCII bytes starting at `from` ends: the same in both encodings.
std::size_t asciiEnd(std::string_view s, std::size_t from) {
    while (from < s.size() && static_cast<unsigned char>(s[from]) < 0x80) ++from;
    return from;
}

}  // namespace

std::string ansiToUtf8(std::string_view ansi) {
    std::size_t i = asciiEnd(ansi, 0);
    if (i == ansi.size()) return std::string(ansi);
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 8);
    out.append(ansi.substr(0, i));
    for (; i < ansi.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(ansi[i]);
        if (c < 0x80) out += static_cast<char>(c);
        else appendUtf8(out, ansiToCodePoint(c));
    }
    return out;
}

std::string utf8ToAnsi(std::string_view s, bool* narrowed) {
    std::size_t i = asciiEnd(s, 0);
    if (i == s.size()) return std::string(s);
    std::string out;
    out.reserve(s.size());
    out.append(s.substr(0, i));
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int len = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
        bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms and surrogates are invalid.
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += '?';
            if (narrowed) *narrowed = true;
            ++i;
            continue;
        }
        if (!appendAnsi(out, cp) && narrowed) *narrowed = true;
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::string utf16ToAnsi(std::u16string_view s, bool* narrowed) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            ++i;  // a pair: a character outside the BMP
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i] - 0xDC00);
        }
        if (!appendAnsi(out, cp) && narrowed) *narrowed = true;
    }
    return out;
}

std::u16string ansiToUtf16(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) out += static_cast<char16_t>(ansiToCodePoint(c));
    return out;
}

std::string blankControlCharacters(std::string& text, std::size_t from) {
    std::string found;
    for (std::size_t i = from; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c != 127) continue;
        if (found.find(text[i]) == std::string::npos) found += text[i];
        text[i] = ' ';
    }
    return found;
}

}  // namespace doz
