// Filling a credit-transfer request from the dispositions shown and the
// header values.
//
// Which disposition field feeds which element is data: the layout file of an
// XML bank has one row per element it maps (columns `Ord`, `Element`,
// `FieldName`, `ValOut`); an element the file does not name keeps its default
// below. A row's `FieldName` is a disposition field or, when the dispositions
// carry no such field, a header value ("ed" / "de" + the name, e.g. edCUC);
// without a `FieldName` the element takes the constant `ValOut` (may be empty).
// The file is checked as it is read: an element the program does not write, a
// second row for one element, a constant country or amount are refused, each
// naming the file, the row's Ord and the element.
//
// Element names are the message's paths as findings give them. An IBAN is one
// whole field ("CdtrAcct/Id/IBAN") and/or its Italian parts: the keys
// "<account>/IBAN.Stato", ".Controllo", ".CIN", ".ABI", ".CAB", ".Conto". The
// whole field is used when it holds an IBAN (two letters, two digits), else
// the parts; both given and different is an error. A country element left
// unmapped is the account's country (the IBAN's first two letters).
//
// The amount's unit is its field's type: an integer field holds cents
// (IMPORTO), a float, currency or BCD field euro (IMPORTO_EURO), converted
// through its shortest decimal text so that 1500.50 is 150050 cents exactly;
// a text field, a header value or a constant is refused.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FormState.h"
#include "sepa/Message.h"

namespace doz::sepa {

struct ElementSource {
    std::string field;     // disposition field or header value; empty: the constant
    std::string constant;  // ValOut
    std::string ord;       // the layout row's Ord; empty for the program's default
};

class ElementMap {
public:
    // The shipped defaults: the fields of the payroll's dispositions.
    ElementMap();
    // Each row of an XML bank's layout table (read from `file`, named in
    // messages) replaces its element's default. DataError for a row without an
    // `Element`, an element the program does not write (a letter-case typo is
    // pointed out), a second row for one element, a constant country, an
    // amount that is not a field, and a row for what the program writes itself
    // (CreDtTm is the moment of writing; identifiers of the file).
    void readLayout(Table& layout, const std::string& file);
    // The element's source; an unknown element maps to nothing.
    const ElementSource& operator[](std::string_view element) const;
    // Where an element's source is set, to begin a message: "Tracciato XML
    // <file>, Ord <n>, elemento <element>: ", or for a default
    // "Elemento <element> (predefinito): ".
    std::string where(std::string_view element) const;

private:
    std::map<std::string, ElementSource, std::less<>> sources_;
    std::string file_;
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

    // Adds a payment to the list and its amount to the total; DataError
    // "Totale dei pagamenti per cassa o con assegno oltre il limite del
    // programma." past 64 bits.
    void add(LeftOutPayment payment);
};

// The message of the chosen bank (`form` = its form) from every disposition
// cdsDisp shows, in order, with the layout's element map; fresh MsgId,
// PmtInfId, and the creation time now (form.clock). Texts are taken as they
// are (PrepareMessage narrows and cuts them). DataError for a layout the map
// refuses, and for a total of the payments left out beyond 64 bits.
Message FillMessage(FormState& form, Form messageForm, LeftOut& leftOut);

// FillMessage in two walks over the dispositions, for a request written as it
// is filled without holding its transfers: header() walks them all for the
// header values, the payments left out, the number of credit transfers and
// the sum of their amounts; then next() fills one transfer after the other
// from a second walk. The message and the transfers are FillMessage's, and
// so are its errors (the constructor's and header()'s).
class RequestReader {
public:
    RequestReader(FormState& form, Form messageForm);
    ~RequestReader();
    RequestReader(const RequestReader&) = delete;
    RequestReader& operator=(const RequestReader&) = delete;

    // The message without its transfers (`transfers` stays empty).
    Message header(LeftOut& leftOut);
    // What header() counted.
    std::size_t transferCount() const { return transfers_; }
    // The sum of the transfers' cents; false when it is beyond 64 bits.
    bool totalCents(std::int64_t& total) const;
    // The next credit transfer into `t` (its strings are reused); false after
    // the last. The first call after header() or rewind() starts a walk.
    bool next(Transfer& t);
    // The next call of next() starts from the first disposition again.
    void rewind() {
        number_ = 0;
        walking_ = false;
    }

private:
    struct Sources;
    FormState& form_;
    Form messageForm_;
    std::unique_ptr<Sources> sources_;
    std::size_t transfers_ = 0;
    std::int64_t total_ = 0;
    bool totalFits_ = true;
    int number_ = 0;
    bool walking_ = false;
};

// "N pagamenti (per cassa o con assegno) non sono bonifici e non saranno nel
// file (totale X). Continuare ?" with the amount in the regional format.
std::string LeftOutQuestion(const LeftOut& leftOut);

// Cents in the regional format with grouped thousands ("6.236,35"); DataError
// "<what> oltre il limite del programma." when they are beyond what the format
// takes (|cents| above 2^63 / 100).
std::string GroupedCents(std::int64_t cents, const std::string& what);

}  // namespace doz::sepa
