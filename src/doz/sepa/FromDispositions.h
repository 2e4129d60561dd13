// Filling a credit-transfer request from the dispositions shown and the
// header values.
//
// Which disposition field feeds which element is data: the layout file of an
// XML bank has one row per element it maps (columns `Element`, `FieldName`,
// `ValOut`); an element the file does not name keeps its default below. A
// row's `FieldName` is a disposition field or, when the dispositions carry no
// such field, a header value ("ed" / "de" + the name, e.g. edCUC); without a
// `FieldName` the element takes the constant `ValOut` (may be empty).
//
// Element names are the message's paths as findings give them. An IBAN is
// either one whole field ("CdtrAcct/Id/IBAN") or, when that maps to nothing or
// is empty, built from its parts: the keys "<account>/IBAN.Stato",
// ".Controllo", ".CIN", ".ABI", ".CAB", ".Conto".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "FormState.h"
#include "sepa/Message.h"

namespace doz::sepa {

struct ElementSource {
    std::string field;     // disposition field or header value; empty: the constant
    std::string constant;  // ValOut
};

class ElementMap {
public:
    // The shipped defaults: the fields of the payroll's dispositions.
    ElementMap();
    // Each row of an XML bank's layout table replaces its element's default.
    // DataError for a row without an `Element`.
    void readLayout(Table& layout);
    // The element's source; an unknown element maps to nothing.
    const ElementSource& operator[](std::string_view element) const;

private:
    std::map<std::string, ElementSource, std::less<>> sources_;
};

// Payments that cannot travel as credit transfers (IMPGID 1 cash, 4
// cashier's cheque): left out of the message, counted for the question and
// listed by the check.
struct LeftOutPayment {
    int disposition = 0;  // 1-based among the dispositions shown
    std::string payee;
    std::string kind;     // DESC_MOD_PAGAMENTO
    std::int64_t cents = 0;
};

struct LeftOut {
    std::vector<LeftOutPayment> payments;
    std::int64_t cents = 0;
};

// The message of the chosen bank (`form` = its form) from every disposition
// cdsDisp shows, in order, with the layout's element map; fresh MsgId and
// PmtInfId; created at the moment form.clock gives. Texts are taken as they
// are (PrepareMessage narrows and cuts them).
Message FillMessage(FormState& form, Form messageForm, LeftOut& leftOut);

// "N pagamenti (per cassa o con assegno) non sono bonifici e non saranno nel
// file (totale X). Continuare ?" with the amount in the regional format.
std::string LeftOutQuestion(const LeftOut& leftOut);

}  // namespace doz::sepa
