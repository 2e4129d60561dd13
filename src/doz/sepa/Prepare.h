// The checks a credit-transfer request must pass before it is written.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "findings/Findings.h"
#include "sepa/Message.h"

namespace doz::sepa {

// The longest text each element takes.
inline constexpr std::size_t kMaxIdLength = 35;
inline constexpr std::size_t kMaxNameLength = 70;
inline constexpr std::size_t kMaxRemittanceLength = 140;
inline constexpr std::size_t kCucLength = 8;
inline constexpr std::int64_t kMaxCents = 99'999'999'999;  // 999,999,999.99

// Where a credit transfer reaches, by the country of the payee's IBAN: the
// SEPA schemes cover the European Economic Area (the EU and Iceland,
// Liechtenstein, Norway, with the territories that use their IBANs: the
// French overseas departments and communities, the Azores, Madeira, the
// Canary Islands, Ceuta, Melilla, Aland) and, outside it, Andorra,
// Switzerland, the United Kingdom (with Guernsey, Jersey and the Isle of Man,
// which use its IBANs), Gibraltar, Monaco, San Marino, the Vatican, and since
// 2024-2025 Albania, Moldova, Montenegro, North Macedonia and Serbia.
enum class SepaReach { Outside, Eea, OutsideEea };
SepaReach SepaReachOf(std::string_view ibanCountry);

// Converts every text of the message to the SEPA character set, cutting each
// to its element's length, then checks everything the message alone decides:
// the IBANs (payees' and debtor's) and where they are (inside SEPA; outside
// the EEA the payee's BIC and the debtor's address are required), the BICs,
// the debtor's ABI, the CUC (8 letters and digits), the execution date
// (present, a settlement day; how it stands to today is for the payroll
// checks, payroll/PayrollChecks.h), the amounts (0.01 to 999,999,999.99), the
// names, the identifiers (present, at most 35, unique, no "/" at either end
// nor "//": converted), and the faults the filling found. Each text the
// conversion changed is a FindingKind::Notice, each fault a
// FindingKind::Error, into `sink`, naming the disposition and payee (none for
// the header) and the field that fed the element. True when no error was
// found.
//
// The element paths findings use (the keys of Message::sourceField):
//   header:   GrpHdr/MsgId, CreDtTm, InitgPty/Nm, InitgPty/Id, PmtInf/PmtInfId,
//             ReqdExctnDt, Dbtr/Nm, Dbtr/PstlAdr/StrtNm, .../BldgNb, .../PstCd,
//             .../TwnNm, .../Ctry, DbtrAcct/Id/IBAN,
//             DbtrAgt/FinInstnId/ClrSysMmbId/MmbId, PmtInf/CdtTrfTxInf (no transfer)
//   transfer: PmtId/InstrId, PmtId/EndToEndId, PmtTpInf/CtgyPurp/Cd, Amt/InstdAmt,
//             CdtrAgt/FinInstnId/BICFI, Cdtr/Nm, Cdtr/PstlAdr/StrtNm, .../BldgNb,
//             .../PstCd, .../TwnNm, .../Ctry, CdtrAcct/Id/IBAN, RmtInf/Ustrd
bool PrepareMessage(Message& message, CheckSink& sink);

// The same checks one piece at a time, for a request whose transfers are
// filled, checked and written one after the other and never held together:
// header() checks `header`'s own values, transfer() one transfer (repeated
// identifiers are found among all the transfers checked before), finish() what
// needs them all; the findings are PrepareMessage's, in the same order.
// `header.transfers` is not read.
class MessageCheck {
public:
    // `expectedTransfers` sizes the table of identifiers (it grows past it).
    MessageCheck(Message& header, CheckSink& sink, std::size_t expectedTransfers);
    ~MessageCheck();
    MessageCheck(const MessageCheck&) = delete;
    MessageCheck& operator=(const MessageCheck&) = delete;

    void header();
    void transfer(Transfer& t);
    // True when no check, from header() on, found an error.
    bool finish();
    // The errors found so far.
    int errors() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::size_t transfers_ = 0;
};

}  // namespace doz::sepa
