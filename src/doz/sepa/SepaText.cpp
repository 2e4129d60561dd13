#include "sepa/SepaText.h"

#include "platform/Ansi.h"
#include "platform/Latin.h"

namespace doz::sepa {

bool IsSepaCharacter(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '/': case '-': case '?': case ':': case '(': case ')': case '.': case ',': case '\'': case '+': case ' ':
            return true;
        default:
            return false;
    }
}

std::string ToSepaText(std::string_view ansi, std::size_t maxLength) {
    std::size_t b = 0, e = ansi.size();
    while (b < e && ansi[b] == ' ') ++b;
    while (e > b && ansi[e - 1] == ' ') --e;
    std::string out;
    out.reserve(e - b);
    for (std::size_t i = b; i < e && out.size() < maxLength; ++i) {
        const char c = ansi[i];
        if (IsSepaCharacter(c)) {
            out += c;
            continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == '\t' || u == '\r' || u == '\n') {
            out += ' ';
            continue;
        }
        const std::optional<std::string_view> form = latinForm(ansiToCodePoint(u));
        if (!form) {
            out += '.';
            continue;
        }
        // A form made only of signs outside the set ("_", "&") stands as a full
        // stop; a form left empty on purpose adds nothing. A form goes in whole
        // or not at all: "ß" cut to its first letter would read as another word.
        std::string piece;
        for (const char f : *form)
            if (IsSepaCharacter(f)) piece += f;
        if (piece.empty() && !form->empty()) piece = ".";
        if (piece.size() > maxLength - out.size()) break;
        out += piece;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace doz::sepa
