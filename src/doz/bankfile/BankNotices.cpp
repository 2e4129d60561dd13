// Notices of a check run: text banks refuse, payee CINs and ordering-party
// IBAN check digits that do not match their coordinates.
#include "bankfile/BankNotices.h"

#include <cctype>

#include "bankfile/DispositionCheck.h"
#include "bankfile/FieldFormatting.h"
#include "bankfile/FieldValidation.h"
#include "platform/Ansi.h"
#include "platform/Error.h"

namespace doz {

namespace {

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

bool allDigits(std::string_view s) {
    for (const char c : s)
        if (!isAsciiDigit(c)) return false;
    return !s.empty();
}

// Weights of the odd positions of the CIN, by letter; a digit weighs as the
// letter of the same rank (0 as A, 1 as B, ...).
constexpr int kCinOddWeights[26] = {1,  0,  5,  7,  9,  13, 15, 17, 19, 21, 2,  4,  18,
                                    20, 11, 3,  6,  8,  12, 14, 16, 10, 22, 25, 24, 23};

int rankOf(char c) { return isAsciiDigit(c) ? c - '0' : upper(c) - 'A'; }

// A text of a disposition field, or nothing when the dispositions have no such field.
std::optional<std::string> dispText(FormState& form, std::string_view name) {
    const std::optional<Field> f = form.cdsDisp.findField(name);
    if (!f) return std::nullopt;
    return f->asText();
}

// A character of a message: itself in quotes, or its code when it cannot be shown.
std::string shownCharacter(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return "codice " + std::to_string(u);
    return std::string("\"") + c + "\"";
}

std::string accountPart(std::string_view account) {
    std::string out(trimmed(account));
    if (out.size() < 12) out.insert(0, 12 - out.size(), '0');
    return out;
}

}  // namespace

bool IsCbiCharacter(char c) {
    if (isAsciiDigit(c) || isAsciiLetter(c)) return true;
    static constexpr std::string_view kSigns = " .,;:-_/()+'\"?!&%*=<>#@$";
    return kSigns.find(c) != std::string_view::npos;
}

std::string NonCbiCharacters(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (!IsCbiCharacter(c) && out.find(c) == std::string::npos) out += c;
    return out;
}

std::optional<char> ItalianCin(std::string_view abi, std::string_view cab, std::string_view account) {
    abi = trimmed(abi);
    cab = trimmed(cab);
    const std::string_view acc = trimmed(account);
    if (abi.size() != 5 || cab.size() != 5 || !allDigits(abi) || !allDigits(cab)) return std::nullopt;
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
            else if (isAsciiLetter(c)) remainder = (remainder * 100 + 10 + (upper(c) - 'A')) % 97;
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

void CutValueNotice(FormState& form, std::string value, std::string_view fitted, CheckSink& sink) {
    while (!value.empty() && value.back() == ' ') value.pop_back();
    if (value.size() <= fitted.size()) return;
    blankControlCharacters(value);
    sink.atCurrentField(form, FindingKind::Notice,
                        "valore di " + std::to_string(value.size()) + " caratteri tagliato a " +
                            std::to_string(fitted.size()) + ": " + quotedValue(value) + " diventa " + quotedValue(fitted));
}

void FieldNotices(FormState& form, const std::string& text, CheckSink& sink) {
    const std::string colType = form.cdsTraccCorrente.fieldByName("ColType").asText();
    if (colType == "F") return;
    CutValueNotice(form, FieldSourceText(form), text, sink);
    if (IsNumericType(colType)) return;
    TextNotices(form, text, sink);
}

void TextNotices(FormState& form, std::string_view text, CheckSink& sink) {
    const std::string outside = NonCbiCharacters(text);
    if (outside.empty()) return;
    std::string message = outside.size() == 1 ? "carattere fuori dalla tabella CBI: " : "caratteri fuori dalla tabella CBI: ";
    for (std::size_t i = 0; i < outside.size(); ++i) message += (i ? ", " : "") + shownCharacter(outside[i]);
    sink.atCurrentField(form, FindingKind::Notice, message);
}

void ControlCharacterNotice(FormState& form, std::string_view blanked, CheckSink& sink) {
    if (blanked.empty()) return;
    std::string message = blanked.size() == 1 ? "carattere di controllo scritto come spazio: "
                                              : "caratteri di controllo scritti come spazi: ";
    for (std::size_t i = 0; i < blanked.size(); ++i) message += (i ? ", " : "") + shownCharacter(blanked[i]);
    sink.atCurrentField(form, FindingKind::Notice, message);
}

void DispositionNotices::check(FormState& form, int number, CheckSink& sink) {
    const std::string payee = PayeeName(form);
    checkPayeeCin(form, number, payee, sink);
    checkOrderingIban(form, number, payee, sink);
    checkNarrowedTexts(form, number, payee, sink);
}

void DispositionNotices::checkNarrowedTexts(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    // The raw dispositions know which texts were narrowed when read; a value a
    // transfer rule has replaced since no longer matches and is not noted.
    const Table& raw = form.cdsLeggi;
    const auto& narrowed = raw.narrowedTexts();
    for (std::size_t i = 0; i < narrowed.size(); ++i) {
        const std::size_t column = narrowed[i].first;
        if (i > 0 && narrowed[i - 1].first == column) continue;
        const std::string& name = raw.fieldDefs().at(column).name;
        const std::optional<Field> f = form.cdsDisp.findField(name);
        if (!f) continue;
        const std::string value = f->asText();
        if (!raw.wasNarrowed(column, value)) continue;
        sink.add({FindingKind::Notice, number, payee, "", name,
                  "caratteri non rappresentabili nel file, trascritti in lettere latine: \"" + shownValue(value) + "\""});
    }
}

void DispositionNotices::checkPayeeCin(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    const std::optional<std::string> cinText = dispText(form, "CIN");
    if (!cinText) return;
    const std::string_view cin = trimmed(*cinText);
    if (cin.empty()) return;
    const std::optional<char> expected = ItalianCin(dispText(form, "ABI_DESTINATARIO").value_or(""),
                                                    dispText(form, "CAB_DESTINATARIO").value_or(""),
                                                    dispText(form, "CC_DESTINATARIO").value_or(""));
    if (!expected) return;  // coordinates incomplete: the layout rules speak of them
    if (cin.size() == 1 && upper(cin[0]) == *expected) return;
    std::string message = "CIN " + std::string(cin) + " non corrisponde ad ABI, CAB e conto del destinatario (atteso " +
                          std::string(1, *expected) + ")";
    sink.add({FindingKind::Notice, number, payee, "", "CIN", std::move(message)});
}

void DispositionNotices::checkOrderingIban(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    std::string parts[6];
    const char* const names[6] = {"IBAN_STATO_ORDINANTE", "IBAN_CKD_ORDINANTE", "CIN_ORDINANTE",
                                  "ABI_ORDINANTE",        "CAB_ORDINANTE",      "CC_ORDINANTE"};
    for (int i = 0; i < 6; ++i) {
        const std::optional<std::string> text = dispText(form, names[i]);
        if (!text || trimmed(*text).empty()) return;  // the disposition does not carry the whole IBAN
        parts[i] = std::string(trimmed(*text));
    }
    const std::string& country = parts[0];
    const std::string& digits = parts[1];
    const std::string bban = parts[2] + parts[3] + parts[4] + accountPart(parts[5]);
    const std::string iban = country + digits + bban;

    std::string message;
    const std::optional<std::string> expected = IbanCheckDigits(country, bban);
    if (!expected) {
        message = "IBAN ordinante " + iban + " con caratteri non ammessi: cifre di controllo non verificabili";
    } else if (*expected != digits) {
        message = "cifre di controllo " + digits + " non corrispondenti all'IBAN ordinante " + iban + " (attese " +
                  *expected + ")";
    } else {
        return;
    }

    // The ordering party is usually the same for the whole month: one notice per wrong IBAN.
    auto [it, added] = wrongOrderingIbans_.try_emplace(iban);
    Repeated& seen = it->second;
    if (added) {
        seen.finding = sink.findings().size();
        seen.count = 1;
        seen.message = message;
        sink.add({FindingKind::Notice, number, payee, "", "IBAN_CKD_ORDINANTE", std::move(message)});
        return;
    }
    ++seen.count;
    sink.findings()[seen.finding].message = seen.message + ", in " + std::to_string(seen.count) + " disposizioni";
}

}  // namespace doz
