// The checks a credit-transfer request must pass before it is written.
#pragma once

#include "findings/Findings.h"
#include "sepa/Message.h"

namespace doz::sepa {

// The longest text each element takes.
inline constexpr std::size_t kMaxIdLength = 35;
inline constexpr std::size_t kMaxNameLength = 70;
inline constexpr std::size_t kMaxRemittanceLength = 140;
inline constexpr std::int64_t kMaxCents = 99'999'999'999;  // 999,999,999.99

// Converts every text of the message to the SEPA character set, cutting each
// to its element's length, then checks everything the message alone decides:
// the IBANs (payees' and debtor's), the debtor's ABI, the CUC, the execution
// date (present, a settlement day; how it stands to today is for the payroll
// checks, payroll/PayrollChecks.h), the amounts
// (0.01 to 999,999,999.99), the names, and the identifiers (present, at most
// 35, unique). Each text the conversion changed is a FindingKind::Notice, each
// fault a FindingKind::Error, into `sink`, naming the disposition and payee
// (none for the header) and the field that fed the element. True when no error
// was found.
//
// The element paths findings use (the keys of Message::sourceField):
//   header:   GrpHdr/MsgId, CreDtTm, InitgPty/Nm, InitgPty/Id, PmtInf/PmtInfId,
//             ReqdExctnDt, Dbtr/Nm, DbtrAcct/Id/IBAN,
//             DbtrAgt/FinInstnId/ClrSysMmbId/MmbId, PmtInf/CdtTrfTxInf (no transfer)
//   transfer: PmtId/InstrId, PmtId/EndToEndId, PmtTpInf/CtgyPurp/Cd, Amt/InstdAmt,
//             Cdtr/Nm, Cdtr/PstlAdr/StrtNm, .../BldgNb, .../PstCd, .../TwnNm,
//             .../Ctry, CdtrAcct/Id/IBAN, RmtInf/Ustrd
bool PrepareMessage(Message& message, CheckSink& sink);

}  // namespace doz::sepa
