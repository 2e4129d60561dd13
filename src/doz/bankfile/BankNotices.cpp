// Notices of a check run: text banks refuse, payee CINs and IBAN check digits
// (the payee's and the ordering party's) that do not match their coordinates.
#include "bankfile/BankNotices.h"

#include <cctype>

#include "bankfile/DispositionCheck.h"
#include "bankfile/FieldFormatting.h"
#include "bankfile/FieldValidation.h"
#include "layout/Dispositions.h"
#include "payments/Iban.h"
#include "platform/Ansi.h"
#include "platform/Text.h"

namespace doz {

namespace {

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
    std::string out(trimBlanks(account));
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

void CutValueNotice(FormState& form, std::string value, std::string_view fitted, CheckSink& sink) {
    while (!value.empty() && value.back() == ' ') value.pop_back();
    if (value.size() <= fitted.size()) return;
    blankControlCharacters(value);
    NoteAtCurrentField(form, sink, FindingKind::Notice,
                        "valore di " + std::to_string(value.size()) + " caratteri tagliato a " +
                            std::to_string(fitted.size()) + ": '" + value + "' diventa '" + std::string(fitted) + "'");
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
    NoteAtCurrentField(form, sink, FindingKind::Notice, message);
}

void ControlCharacterNotice(FormState& form, std::string_view blanked, CheckSink& sink) {
    if (blanked.empty()) return;
    std::string message = blanked.size() == 1 ? "carattere di controllo scritto come spazio: "
                                              : "caratteri di controllo scritti come spazi: ";
    for (std::size_t i = 0; i < blanked.size(); ++i) message += (i ? ", " : "") + shownCharacter(blanked[i]);
    NoteAtCurrentField(form, sink, FindingKind::Notice, message);
}

void DispositionNotices::check(FormState& form, int number, CheckSink& sink) {
    const std::string payee = PayeeName(form);
    checkPayeeCin(form, number, payee, sink);
    checkPayeeIban(form, number, payee, sink);
    checkOrderingIban(form, number, payee, sink);
    NarrowedTextNotices(form, number, payee, sink);
}

void DispositionNotices::checkPayeeCin(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    const std::optional<std::string> cinText = dispText(form, "CIN");
    if (!cinText) return;
    const std::string_view cin = trimBlanks(*cinText);
    if (cin.empty()) return;
    const std::optional<char> expected = ItalianCin(dispText(form, "ABI_DESTINATARIO").value_or(""),
                                                    dispText(form, "CAB_DESTINATARIO").value_or(""),
                                                    dispText(form, "CC_DESTINATARIO").value_or(""));
    if (!expected) return;  // coordinates incomplete: the layout rules speak of them
    if (cin.size() == 1 && toAsciiUpper(cin[0]) == *expected) return;
    std::string message = "CIN " + std::string(cin) + " non corrisponde ad ABI, CAB e conto del destinatario (atteso " +
                          std::string(1, *expected) + ")";
    sink.add({FindingKind::Warning, number, payee, "", "CIN", std::move(message)});
}

void DispositionNotices::checkPayeeIban(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    // The parts: country and check digits given, the rest of the coordinates of their form.
    const std::string country(trimBlanks(dispText(form, "IBAN_STATO_DESTINATARIO").value_or("")));
    const std::string digits(trimBlanks(dispText(form, "IBAN_CKD_DESTINATARIO").value_or("")));
    if (!country.empty() && !digits.empty()) {
        const std::string iban =
            BuildItalianIban(country, dispText(form, "CIN").value_or(""), dispText(form, "ABI_DESTINATARIO").value_or(""),
                             dispText(form, "CAB_DESTINATARIO").value_or(""), dispText(form, "CC_DESTINATARIO").value_or(""));
        if (!iban.empty() && iban.compare(2, 2, digits) != 0)
            sink.add({FindingKind::Warning, number, payee, "", "IBAN_CKD_DESTINATARIO",
                      "cifre di controllo " + digits + " non corrispondenti all'IBAN del destinatario " +
                          iban.substr(0, 2) + digits + iban.substr(4) + " (attese " + iban.substr(2, 2) + ")"});
    }
    // The whole IBAN, where the dispositions carry one.
    const std::string whole = IbanInText(dispText(form, "SACOMNUMCC").value_or(""));
    if (whole.empty()) return;
    if (const std::optional<std::string> fault = IbanFault(whole))
        sink.add({FindingKind::Warning, number, payee, "", "SACOMNUMCC", *fault});
}

void DispositionNotices::checkOrderingIban(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    std::string parts[6];
    const char* const names[6] = {"IBAN_STATO_ORDINANTE", "IBAN_CKD_ORDINANTE", "CIN_ORDINANTE",
                                  "ABI_ORDINANTE",        "CAB_ORDINANTE",      "CC_ORDINANTE"};
    for (int i = 0; i < 6; ++i) {
        const std::optional<std::string> text = dispText(form, names[i]);
        if (!text || trimBlanks(*text).empty()) return;  // the disposition does not carry the whole IBAN
        parts[i] = std::string(trimBlanks(*text));
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
