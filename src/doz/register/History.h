// The register as the commands and the window use it: what the payroll
// checks compare with, the entry of a file being produced, the list of
// produced files as rows, and a kept file saved again. Toolkit-free; the
// window's "Storico" and `pzt-bankfile history` show the same rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FormState.h"
#include "payments/Payroll.h"
#include "payments/PayrollHistory.h"

namespace doz {

// What the register says about `payroll` (CollectPayroll: every disposition
// shown) before a file for `bank` is produced from it. For an XML bank the
// same payroll is looked for among the credit transfers only, as its file
// holds them. A register that cannot be read (damaged, of a newer program)
// gives `unavailable` with the reason and nothing else; a register that does
// not exist yet gives no earlier file. Never throws for the register's sake.
PayrollHistory LoadPayrollHistory(FormState& form, const std::string& bank,
                                  const std::vector<PayrollPayment>& payroll);

// What the register keeps of a bank file besides its bytes, as the writer of
// each kind knows it. BankFileEntry fills what the window shows; the XML
// writer puts in the message's dates and MsgId and its own payments.
struct RegisterEntry {
    std::string bank;
    std::string format;
    std::string supportName;
    std::string creationDate;
    std::string executionDate;
    std::string messageId;
    std::vector<PayrollPayment> payments;  // those in the file, in order
};

// The chosen bank and its format (the catalogue's Formato, else the layout
// code), the support name and the creation and execution dates of the header,
// and every disposition shown as a payment.
RegisterEntry BankFileEntry(FormState& form);

class ContentKeeper;

// Records a bank file just put in place at `path`: its kept copy (from
// `keeper`, which saw every byte written; none: no copy) and its row with
// the payments, in one transaction. Never throws: gives what the user is to
// be told, empty when all went well, "Registro non aggiornato: ..." when the
// row could not be written, "Copia del file non conservata: ..." when only
// the copy could not.
std::string RecordProducedFile(const std::string& mainFolder, const RegisterEntry& entry, const std::string& path,
                               ContentKeeper* keeper) noexcept;

// Whether produced files are recorded. Always, unless the environment sets
// PZT_BANKFILE_NO_REGISTER=1 to measure the cost of the register itself.
bool RegisterEnabled();

// The list of produced files as the window and `history` show it, newest first.
struct HistoryRow {
    std::int64_t id = 0;
    std::string moment, bank, path;
    std::int64_t count = 0, totalCents = 0;
    bool kept = false;  // a copy of the file can be saved again
};
// Of one bank when `bank` is not empty; none when the register does not
// exist. RegisterError when it cannot be read.
std::vector<HistoryRow> ProducedFileRows(const std::string& mainFolder, const std::string& bank = {});

// The window's "save again": asks before replacing an existing file ("Il file
// esiste gia'. Sostituirlo ?"; No is a SilentAbort), then writes the kept copy
// of file `id` to `path` (RestoreKeptCopy).
void SaveKeptFileAgain(FormState& form, std::int64_t id, const std::string& path);

}  // namespace doz
