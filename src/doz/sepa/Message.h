// The SEPA credit-transfer request of a salary batch: what goes into it, the
// checks it must pass, and writing it as XML.
//
// A Message is filled from the dispositions and the header values (see
// sepa/FromDispositions.h); texts are Windows-1252 like every text inside the
// system and become UTF-8 only when written.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace doz {
class CheckSink;
}

namespace doz::sepa {

// Which message a bank takes; said by the bank's data files.
enum class Form {
    CbiBody,     // the interbank body form CBIBdyPaymentRequest.00.04.01 (upload)
    CbiRequest,  // the bare interbank request CBIPaymentRequest.00.04.01
    Pain001,     // ISO 20022 pain.001.001.09 (<Document>)
};

struct Date {
    int year = 0, month = 0, day = 0;  // all zero: no date
    bool empty() const { return year == 0; }
};

struct DateTime {
    Date date;
    int hour = 0, minute = 0, second = 0;
};

// Hybrid postal address: town and country in their own elements, the rest
// structured where known.
struct PostalAddress {
    std::string street, buildingNumber, postCode, town;
    std::string country;  // ISO 3166 alpha-2, e.g. "IT"
    bool empty() const { return street.empty() && buildingNumber.empty() && postCode.empty() && town.empty(); }
};

// What the filling found wrong in a value it could not pass on as it is (an
// amount with more than two decimals, two different IBANs for one account):
// an error of the check, on the element `path`.
struct SourceFault {
    std::string path;
    std::string message;
};

// One payment to one payee.
struct Transfer {
    int disposition = 0;           // 1-based among the dispositions shown (PROGRESSIVO)
    std::string payee;             // the payee's name as the check findings show it
    std::string instructionId;     // at most 35; unique in the message
    std::string endToEndId;        // at most 35; unique; traceable to the payee
    std::int64_t cents = 0;
    std::string categoryPurpose;   // "SALA", "PENS", ...
    std::string creditorName;
    PostalAddress creditorAddress;  // empty(): not sent; the country is the account's unless a field gives it
    std::string creditorIban;
    std::string creditorBic;       // CdtrAgt/FinInstnId/BICFI; empty: not sent
    std::string remittance;        // one unstructured line, at most 140
    std::vector<SourceFault> faults;
};

struct Message {
    Form form = Form::CbiBody;
    std::string messageId;         // at most 35, unique per file
    DateTime created;              // the moment the message is filled, local time
    std::string paymentInfoId;
    Date execution;
    std::string initiatingName;    // the company
    std::string cuc;               // the company's CUC (InitgPty/Id/OrgId/Othr/Id, Issr "CBI")
    std::string debtorName;
    PostalAddress debtorAddress;   // the ordering party's; empty(): not sent
    std::string debtorIban;
    std::string debtorAbi;         // ClrSysMmbId/MmbId
    std::vector<Transfer> transfers;
    std::vector<SourceFault> faults;  // of the header's values
    // Which disposition or header field fed an element, by the element's path
    // as findings give it ("Cdtr/Nm", "CdtrAcct/Id/IBAN", "RmtInf/Ustrd",
    // "Dbtr/Nm", "DbtrAcct/Id/IBAN", "InitgPty/Id", "ReqdExctnDt", ...);
    // findings name that field, or the path when it is missing.
    std::map<std::string, std::string> sourceField;
};

}  // namespace doz::sepa
