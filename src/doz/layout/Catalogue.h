// The layout catalogue, the chosen bank's record layout and transfer rules,
// and the field-position notation "start-end".
#pragma once

#include <string_view>

#include "FormState.h"

namespace doz {

struct FieldPosition {
    int start = 0;   // from 1
    int length = 0;  // end - start + 1; may be zero or negative for a reversed range
};

// Splits "start-end" at every '-' (empty pieces count); the first two pieces are
// converted to integers (ConvertError for an empty or non-integer piece), the
// rest ignored.
FieldPosition ParsePos(std::string_view text);

// What kind of file a bank takes, from the optional catalogue column
// `Formato` of the chosen bank's row: empty (or no such column) for the
// fixed-width transfer file, else the name of the XML message:
// "CBIBdyPaymentRequest.00.04.01" (the interbank body form),
// "CBIPaymentRequest.00.04.01" (the bare interbank request) or
// "pain.001.001.09" (ISO 20022). For an XML bank the layout file maps message
// elements to disposition fields (sepa/FromDispositions.h).
enum class BankFileKind { FixedWidth, CbiBody, CbiRequest, Pain001 };

// The kind of the catalogue's current row (the chosen bank after a
// selection). DataError naming the value when it is none of the above.
BankFileKind CurrentBankFileKind(FormState& form);
inline bool IsXmlBank(FormState& form) { return CurrentBankFileKind(form) != BankFileKind::FixedWidth; }

// Loads Tracciati.xml into cdsTracciati and adds every Banca, in file order, to cbBanche.
void LoadCatalogue(FormState& form);

// Locates the bank selected in cbBanche in the catalogue ("Assertion failure"
// when absent) and loads its record layout CodTracciato + ".Xml" (ordered by
// Ord) and transfer rules CodTracciato + "_X.Xml". The catalogue's current row
// stays on that bank.
void LoadBankLayouts(FormState& form);

// The bank selection: locates the chosen name in the catalogue ("Assertion
// failure" when absent), loads CodTracciato + ".Xml" and CodTracciato + "_X.Xml",
// then reloads the dispositions.
void cbBancheClick(FormState& form);

}  // namespace doz
