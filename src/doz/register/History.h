// The register as the commands and the window use it: what the payroll
// checks compare with, the entry of a file being produced, the list of
// produced files as rows, and a kept file saved again. Toolkit-free; the
// window's "Storico" and `pzt-bankfile history` show the same rows.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FormState.h"
#include "payments/Payroll.h"
#include "payments/PayrollHistory.h"
#include "register/FileRegister.h"

namespace doz {

// What the register says about `payroll` (CollectPayroll: every disposition
// shown) before a file for `bank` is produced from it. For an XML bank the
// same payroll is looked for among the credit transfers only, as its file
// holds them. A register that cannot be read (damaged, of a newer program)
// gives `unavailable` with the reason and nothing else; a register that does
// not exist yet gives no earlier file. Never throws for the register's sake.
// Without `lastFilePayments` the payments of the bank's last file are not
// read (FileRegister::history), as the Avvisi alone do not need them.
PayrollHistory LoadPayrollHistory(FormState& form, const std::string& bank,
                                  const std::vector<PayrollPayment>& payroll, bool lastFilePayments = true);

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
    // The writer fills `payments` only while it writes (XML: the transfers
    // as the message holds them): the register then writes them once the
    // content is written instead of beside it.
    bool paymentsWhileWriting = false;
};

// The chosen bank and its format (the catalogue's Formato, else the layout
// code), the support name and the creation and execution dates of the header,
// and every disposition shown as a payment (unless `withPayments` is false:
// the writer then gives the payments its file carries).
RegisterEntry BankFileEntry(FormState& form, bool withPayments = true);

class ContentKeeper;
class FileRegister;

// The recording of one bank file beside its writing, in one transaction of
// the register: start() writes the payments on a thread of its own while the
// file is built; once the file is in place, finish() adds the kept copy, the
// digest and the file's details and commits. Dropped without finish() (the
// file was not saved), the register stays as it was.
class RegisterRecording {
public:
    explicit RegisterRecording(std::string mainFolder);
    ~RegisterRecording();
    RegisterRecording(const RegisterRecording&) = delete;
    RegisterRecording& operator=(const RegisterRecording&) = delete;

    // Starts writing `payments`, which must stay as they are until finish(),
    // when the register exists (else finish() makes it and writes them).
    // After startInParts(): `payments` are all the parts handed, in order.
    void start(const std::vector<PayrollPayment>& payments) noexcept;
    // Starts writing payments while they are still being gathered, part by
    // part (take()), when the register exists; start() later hands them all.
    // The transaction, and so the register's write lock, is held from now
    // on: only for runs whose questions are answered at once
    // (FormState::answersAtOnce). False when the register does not exist.
    bool startInParts() noexcept;
    void take(std::vector<PayrollPayment> part) noexcept;
    // The bank file is in place at `path`: its copy (from `keeper`, which saw
    // every byte written; none: no copy) and its row, with the payments of
    // `entry` when start() was not called. Never throws: gives what the user
    // is to be told, empty when all went well, "Registro non aggiornato: ..."
    // when the row could not be written, "Copia del file non conservata: ..."
    // when only the copy could not.
    std::string finish(const RegisterEntry& entry, const std::string& path, ContentKeeper* keeper) noexcept;

private:
    void begin(const std::vector<PayrollPayment>& payments) noexcept;
    void recordParts() noexcept;
    void join() noexcept;

    std::string mainFolder_;
    std::unique_ptr<FileRegister> register_;
    std::int64_t id_ = 0;
    std::exception_ptr failure_;
    std::thread thread_;
    bool started_ = false;
    // Between startInParts() and the thread that writes the parts.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<PayrollPayment>> parts_;
    const std::vector<PayrollPayment>* all_ = nullptr;
    bool inParts_ = false, stop_ = false, broken_ = false;
};

// A produced file recorded in one go (RegisterRecording without the thread).
std::string RecordProducedFile(const std::string& mainFolder, const RegisterEntry& entry, const std::string& path,
                               ContentKeeper* keeper) noexcept;

// Folds the register's journal (FileRegister::foldJournal) on a thread of its
// own, held by `form` (its end waits for it): started as the dispositions are
// read, it takes that work away from the recording of the next file.
void FoldRegisterJournalAside(FormState& form);

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

// The list the window's "Storico" shows of `rows`: number, moment, bank,
// payments, total in the regional form and the file, each row keyed by the
// file's number; the summary says when there is none.
FindingList ProducedFileList(const std::vector<HistoryRow>& rows);

// One produced file and its payments in the order they were written, as
// `history --show` prints them and the window lists them. RegisterError when
// the register cannot be read or has no such file.
struct ProducedFileDetails {
    ProducedFile file;
    std::vector<PayrollPayment> payments;
};
ProducedFileDetails ProducedFileOf(const std::string& mainFolder, std::int64_t id);

// The list of a produced file's payments; when a copy of the file is kept,
// its action saves the file again (key: the file's number).
FindingList ProducedFilePaymentList(const ProducedFileDetails& details);

// The window's "save again": asks before replacing an existing file ("Il file
// esiste gia'. Sostituirlo ?"; No is a SilentAbort), then writes the kept copy
// of file `id` to `path` (RestoreKeptCopy).
void SaveKeptFileAgain(FormState& form, std::int64_t id, const std::string& path);

}  // namespace doz
