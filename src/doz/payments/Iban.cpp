#include "payments/Iban.h"

#include <algorithm>
#include <array>

#include "platform/Text.h"

namespace doz {

namespace {

bool fiveDigits(std::string_view s) { return s.size() == 5 && allAsciiDigits(s); }

// Weights of the odd positions of the CIN, by letter; a digit weighs as the
// letter of the same rank (0 as A, 1 as B, ...).
constexpr int kCinOddWeights[26] = {1,  0,  5,  7,  9,  13, 15, 17, 19, 21, 2,  4,  18,
                                    20, 11, 3,  6,  8,  12, 14, 16, 10, 22, 25, 24, 23};

int rankOf(char c) { return isAsciiDigit(c) ? c - '0' : toAsciiUpper(c) - 'A'; }

struct CountryLength {
    char code[3];
    int length;
};

// The IBAN lengths of the countries that issue IBANs, sorted by country.
constexpr CountryLength kLengths[] = {
    {"AD", 24}, {"AE", 23}, {"AL", 28}, {"AT", 20}, {"AZ", 28}, {"BA", 20}, {"BE", 16}, {"BG", 22},
    {"BH", 22}, {"BR", 29}, {"BY", 28}, {"CH", 21}, {"CR", 22}, {"CY", 28}, {"CZ", 24}, {"DE", 22},
    {"DK", 18}, {"DO", 28}, {"EE", 20}, {"EG", 29}, {"ES", 24}, {"FI", 18}, {"FO", 18}, {"FR", 27},
    {"GB", 22}, {"GE", 22}, {"GI", 23}, {"GL", 18}, {"GR", 27}, {"GT", 28}, {"HR", 21}, {"HU", 28},
    {"IE", 22}, {"IL", 23}, {"IQ", 23}, {"IS", 26}, {"IT", 27}, {"JO", 30}, {"KW", 30}, {"KZ", 20},
    {"LB", 28}, {"LC", 32}, {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21}, {"MC", 27}, {"MD", 24},
    {"ME", 22}, {"MK", 19}, {"MR", 27}, {"MT", 31}, {"MU", 30}, {"NL", 18}, {"NO", 15}, {"PK", 24},
    {"PL", 28}, {"PS", 29}, {"PT", 25}, {"QA", 29}, {"RO", 24}, {"RS", 22}, {"SA", 24}, {"SC", 31},
    {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27}, {"ST", 25}, {"SV", 28}, {"TL", 23}, {"TN", 24},
    {"TR", 26}, {"UA", 29}, {"VA", 22}, {"VG", 24}, {"XK", 20},
};

// Countries whose IBAN holds the Italian coordinates: CIN, ABI, CAB, account.
bool italianForm(std::string_view country) { return country == "IT" || country == "SM"; }

}  // namespace

std::optional<char> ItalianCin(std::string_view abi, std::string_view cab, std::string_view account) {
    abi = trimBlanks(abi);
    cab = trimBlanks(cab);
    const std::string_view acc = trimBlanks(account);
    if (abi.size() != 5 || cab.size() != 5 || !allAsciiDigits(abi) || !allAsciiDigits(cab)) return std::nullopt;
    if (acc.empty() || acc.size() > 12) return std::nullopt;
    for (const char c : acc)
        if (!isAsciiDigit(c) && !isAsciiLetter(c)) return std::nullopt;

    // ABI, CAB and the account padded with zeros to 12, taken in place.
    int sum = 0;
    std::size_t i = 0;
    const auto add = [&](char c) {
        const int rank = rankOf(c);
        sum += (i % 2 == 0) ? kCinOddWeights[rank] : rank;  // i = 0 is position 1, an odd one
        ++i;
    };
    for (const char c : abi) add(c);
    for (const char c : cab) add(c);
    for (std::size_t k = acc.size(); k < 12; ++k) add('0');
    for (const char c : acc) add(c);
    return static_cast<char>('A' + sum % 26);
}

std::optional<std::string> IbanCheckDigits(std::string_view country, std::string_view bban) {
    if (country.size() != 2 || !isAsciiLetter(country[0]) || !isAsciiLetter(country[1])) return std::nullopt;
    if (bban.empty()) return std::nullopt;
    // The BBAN, then the country and "00", letters as 10..35, taken modulo 97.
    int remainder = 0;
    const auto fold = [&remainder](std::string_view part) {
        for (const char c : part) {
            if (isAsciiDigit(c)) remainder = (remainder * 10 + (c - '0')) % 97;
            else if (isAsciiLetter(c)) remainder = (remainder * 100 + 10 + (toAsciiUpper(c) - 'A')) % 97;
            else return false;
        }
        return true;
    };
    if (!fold(bban) || !fold(country) || !fold("00")) return std::nullopt;
    const int check = 98 - remainder;
    return std::string{static_cast<char>('0' + check / 10), static_cast<char>('0' + check % 10)};
}

bool IbanIsValid(std::string_view iban) {
    std::string compact;  // only when there are blanks to drop
    std::string_view s = iban;
    if (iban.find(' ') != std::string_view::npos) {
        for (const char c : iban)
            if (c != ' ') compact += c;
        s = compact;
    }
    if (s.size() < 5) return false;
    const std::optional<std::string> expected = IbanCheckDigits(s.substr(0, 2), s.substr(4));
    return expected && *expected == s.substr(2, 2);
}

int IbanLength(std::string_view country) {
    const auto* end = std::end(kLengths);
    const auto* it = std::lower_bound(std::begin(kLengths), end, country,
                                      [](const CountryLength& e, std::string_view c) { return std::string_view(e.code, 2) < c; });
    return (it != end && std::string_view(it->code, 2) == country) ? it->length : 0;
}

std::string BuildItalianIban(std::string_view country, std::string_view cin, std::string_view abi,
                             std::string_view cab, std::string_view account) {
    country = trimBlanks(country);
    cin = trimBlanks(cin);
    abi = trimBlanks(abi);
    cab = trimBlanks(cab);
    account = trimBlanks(account);
    if (!fiveDigits(abi) || !fiveDigits(cab)) return {};
    if (account.empty() || account.size() > 12) return {};
    if (!std::all_of(account.begin(), account.end(), [](char c) { return isAsciiDigit(c) || isAsciiLetter(c); })) return {};
    std::string bban;
    if (cin.empty()) {
        const std::optional<char> computed = ItalianCin(abi, cab, account);
        if (!computed) return {};
        bban += *computed;
    } else {
        if (cin.size() != 1 || !isAsciiLetter(cin[0])) return {};
        bban += toAsciiUpper(cin[0]);
    }
    bban += abi;
    bban += cab;
    bban.append(12 - account.size(), '0');
    for (const char c : account) bban += toAsciiUpper(c);
    std::string code;
    for (const char c : country) code += toAsciiUpper(c);
    const std::optional<std::string> check = IbanCheckDigits(code, bban);
    if (!check) return {};
    return code + *check + bban;
}

std::optional<std::string> IbanFault(std::string_view iban) {
    if (iban.empty()) return std::string("IBAN mancante");
    for (const char c : iban)
        if (!isAsciiDigit(c) && !isAsciiUpper(c))
            return "IBAN \"" + std::string(iban) + "\" con caratteri non ammessi (solo lettere maiuscole e cifre)";
    const std::string_view country = iban.substr(0, std::min<std::size_t>(2, iban.size()));
    const int length = IbanLength(country);
    if (length == 0 || !isAsciiUpper(country[0]) || country.size() < 2)
        return "IBAN \"" + std::string(iban) + "\": paese \"" + std::string(country) + "\" sconosciuto";
    if (static_cast<int>(iban.size()) != length)
        return "IBAN \"" + std::string(iban) + "\" di " + std::to_string(iban.size()) + " caratteri invece di " +
               std::to_string(length) + " (paese " + std::string(country) + ")";
    if (!isAsciiDigit(iban[2]) || !isAsciiDigit(iban[3]) || !IbanIsValid(iban))
        return "IBAN \"" + std::string(iban) + "\": cifre di controllo errate";
    if (italianForm(country)) {
        const std::optional<char> cin = ItalianCin(iban.substr(5, 5), iban.substr(10, 5), iban.substr(15, 12));
        if (!cin) return "IBAN \"" + std::string(iban) + "\": ABI, CAB o conto non validi";
        if (*cin != iban[4])
            return "IBAN \"" + std::string(iban) + "\": il CIN " + iban[4] +
                   " non corrisponde ad ABI, CAB e conto (atteso " + *cin + ")";
    }
    return std::nullopt;
}

std::string_view IbanAbi(std::string_view iban) {
    if (iban.size() < 10 || !italianForm(iban.substr(0, 2))) return {};
    return iban.substr(5, 5);
}

std::string IbanInText(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (c != ' ') out += toAsciiUpper(c);
    if (out.size() < 5 || !isAsciiLetter(out[0]) || !isAsciiLetter(out[1]) || !isAsciiDigit(out[2]) ||
        !isAsciiDigit(out[3]))
        return {};
    return out;
}

}  // namespace doz
