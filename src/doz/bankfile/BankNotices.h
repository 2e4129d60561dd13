// What banks are known to refuse in a file that passes the layout rules: text
// outside the CBI character table, a payee CIN that does not belong to the
// bank coordinates, IBAN check digits that do not add up. These are findings
// of a check run (notices, and warnings for the payee's account): they never
// fail it and never touch an export.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "FormState.h"

namespace doz {

class CheckSink;

// The CBI character table of alphanumeric fields: letters A-Z and a-z, digits,
// the blank and . , ; : - _ / ( ) + ' " ? ! & % * = < > # @ $. Accented
// letters, control characters and ~ ` ^ \ | { } [ ] are outside it.
bool IsCbiCharacter(char c);
// The characters of `text` outside the table, each once, in order of appearance.
std::string NonCbiCharacters(std::string_view text);

// Notices of one formatted field, with its layout row current: a value longer
// than the field, which the file carries cut (blanks at the end of a text do
// not count); characters outside the CBI table in a field that is neither
// numeric nor a filler.
void FieldNotices(FormState& form, const std::string& text, CheckSink& sink);
// The characters outside the CBI table in the text of a field known to be
// neither numeric nor a filler.
void TextNotices(FormState& form, std::string_view text, CheckSink& sink);
// The notice of a field whose value (`value`, before fitting) is longer than
// the text the file carries (`fitted`); blanks at the end of the value do not
// count.
void CutValueNotice(FormState& form, std::string value, std::string_view fitted, CheckSink& sink);

// The notice of a field, with its layout row current, whose control characters
// (`blanked`, each once) were written as blanks; none when `blanked` is empty.
void ControlCharacterNotice(FormState& form, std::string_view blanked, CheckSink& sink);

// Findings of the current disposition, number `number` (PROGRESSIVO): as
// warnings, its payee CIN against ABI, CAB and account, and the payee's IBAN
// check digits (IBAN_STATO_DESTINATARIO and IBAN_CKD_DESTINATARIO against the
// CIN, ABI, CAB and account; the whole IBAN of SACOMNUMCC when it holds one);
// as notices, the ordering party's IBAN check digits where the disposition
// carries the parts, and every text of it that was read with characters
// Windows-1252 lacks (written in Latin letters or as '?'). The same ordering
// IBAN found wrong in several dispositions is noted once, at the first, with
// the count.
class DispositionNotices {
public:
    void check(FormState& form, int number, CheckSink& sink);

private:
    void checkPayeeCin(FormState& form, int number, const std::string& payee, CheckSink& sink);
    void checkPayeeIban(FormState& form, int number, const std::string& payee, CheckSink& sink);
    void checkOrderingIban(FormState& form, int number, const std::string& payee, CheckSink& sink);

    struct Repeated {
        std::size_t finding = 0;  // index in the sink's findings
        int count = 0;
        std::string message;
    };
    std::map<std::string, Repeated> wrongOrderingIbans_;
};

}  // namespace doz
