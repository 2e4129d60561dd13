#include "sepa/Iban.h"

#include <algorithm>
#include <array>

#include "bankfile/BankNotices.h"
#include "platform/Error.h"

namespace doz::sepa {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLetter(char c) { return isUpper(c) || (c >= 'a' && c <= 'z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

bool fiveDigits(std::string_view s) { return s.size() == 5 && std::all_of(s.begin(), s.end(), isDigit); }

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

int IbanLength(std::string_view country) {
    const auto* end = std::end(kLengths);
    const auto* it = std::lower_bound(std::begin(kLengths), end, country,
                                      [](const CountryLength& e, std::string_view c) { return std::string_view(e.code, 2) < c; });
    return (it != end && std::string_view(it->code, 2) == country) ? it->length : 0;
}

std::string BuildItalianIban(std::string_view country, std::string_view cin, std::string_view abi,
                             std::string_view cab, std::string_view account) {
    country = trimmed(country);
    cin = trimmed(cin);
    abi = trimmed(abi);
    cab = trimmed(cab);
    account = trimmed(account);
    if (!fiveDigits(abi) || !fiveDigits(cab)) return {};
    if (account.empty() || account.size() > 12) return {};
    if (!std::all_of(account.begin(), account.end(), [](char c) { return isDigit(c) || isLetter(c); })) return {};
    std::string bban;
    if (cin.empty()) {
        const std::optional<char> computed = ItalianCin(abi, cab, account);
        if (!computed) return {};
        bban += *computed;
    } else {
        if (cin.size() != 1 || !isLetter(cin[0])) return {};
        bban += upper(cin[0]);
    }
    bban += abi;
    bban += cab;
    bban.append(12 - account.size(), '0');
    for (const char c : account) bban += upper(c);
    std::string code;
    for (const char c : country) code += upper(c);
    const std::optional<std::string> check = IbanCheckDigits(code, bban);
    if (!check) return {};
    return code + *check + bban;
}

std::optional<std::string> IbanFault(std::string_view iban) {
    if (iban.empty()) return std::string("IBAN mancante");
    for (const char c : iban)
        if (!isDigit(c) && !isUpper(c))
            return "IBAN \"" + shownValue(iban) + "\" con caratteri non ammessi (solo lettere maiuscole e cifre)";
    const std::string_view country = iban.substr(0, std::min<std::size_t>(2, iban.size()));
    const int length = IbanLength(country);
    if (length == 0 || !isUpper(country[0]) || country.size() < 2)
        return "IBAN \"" + shownValue(iban) + "\": paese \"" + std::string(country) + "\" sconosciuto";
    if (static_cast<int>(iban.size()) != length)
        return "IBAN \"" + shownValue(iban) + "\" di " + std::to_string(iban.size()) + " caratteri invece di " +
               std::to_string(length) + " (paese " + std::string(country) + ")";
    if (!isDigit(iban[2]) || !isDigit(iban[3]) || !IbanIsValid(iban))
        return "IBAN \"" + shownValue(iban) + "\": cifre di controllo errate";
    if (italianForm(country)) {
        const std::optional<char> cin = ItalianCin(iban.substr(5, 5), iban.substr(10, 5), iban.substr(15, 12));
        if (!cin) return "IBAN \"" + shownValue(iban) + "\": ABI, CAB o conto non validi";
        if (*cin != iban[4])
            return "IBAN \"" + shownValue(iban) + "\": il CIN " + iban[4] +
                   " non corrisponde ad ABI, CAB e conto (atteso " + *cin + ")";
    }
    return std::nullopt;
}

std::string_view IbanAbi(std::string_view iban) {
    if (iban.size() < 10 || !italianForm(iban.substr(0, 2))) return {};
    return iban.substr(5, 5);
}

}  // namespace doz::sepa
