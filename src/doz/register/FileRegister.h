// The register of produced files: one SQLite database in the main folder
// (var/lib/Pzt/doz/Registro.sqlite, readable by its owner only) with a row for
// every bank file produced, of either kind, and a row for every payment in it;
// beside it, in Copie/, a gzip copy of each file's exact bytes.
//
// Texts are Windows-1252 here as everywhere in the system and UTF-8 in the
// database. Every failure is a RegisterError with the reason in Italian.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "payments/Payroll.h"
#include "payments/PayrollHistory.h"
#include "register/Sqlite.h"

namespace doz {

// The schema this program writes (PRAGMA user_version). A register of an
// older schema is brought up to it when opened; a newer one is refused.
inline constexpr int kRegisterSchema = 3;

// One produced file as the register keeps it.
struct ProducedFile {
    std::int64_t id = 0;
    std::string moment;         // local time "2026-12-07 10:42:05"
    std::string bank;           // the catalogue's bank name
    std::string format;         // the layout code (fixed width) or the XML message's name
    std::string path;           // the bank file as it was saved
    std::string name;           // its name without the folder
    std::string supportName;    // the header's support name
    std::string creationDate;   // "2026-12-07"; XML: the message's CreDtTm "2026-12-07T10:42:05"
    std::string executionDate;  // "2026-12-09", empty when none
    std::string messageId;      // XML banks: MsgId; empty for fixed width
    std::int64_t count = 0;     // payments in the file
    std::int64_t totalCents = 0;
    std::int64_t size = 0;      // bytes
    std::string sha256;         // of the file's bytes, 64 lowercase hexadecimal digits
    std::string copy;           // the kept copy's name in the copies folder; empty when none was kept

    ProducedFileSummary summary() const { return {id, moment, bank, path, count, totalCents}; }
};

// Main folder + "var/lib/Pzt/doz/": the register and, under it, "Copie/".
std::string RegisterFolder(const std::string& mainFolder);
std::string RegisterPath(const std::string& mainFolder);    // ... + "Registro.sqlite"
std::string KeptCopyFolder(const std::string& mainFolder);  // ... + "Copie/"

// Makes the register's folder and, with `copies`, the copies folder, each
// readable by its owner only when it is new; IoError when it cannot.
void MakeRegisterFolders(const std::string& mainFolder, bool copies);

// "2026-12-07 10:42:05", local time, now.
std::string RegisterMoment();

class FileRegister {
public:
    // Opens the register of a main folder. Create: made (folder 0700, file
    // 0600) when missing. Existing: a register that does not exist reads as
    // empty (exists() false) and nothing is created. An older schema is
    // upgraded in place; RegisterError when the file is damaged, of a newer
    // schema, or cannot be opened.
    enum class Open { Create, Existing };
    FileRegister(const std::string& mainFolder, Open how);
    ~FileRegister();
    FileRegister(FileRegister&&) noexcept;

    bool exists() const { return db_ != nullptr; }
    const std::string& path() const { return path_; }

    // Writes a produced file and its payments in one transaction and gives
    // the file's number. `file.id` is ignored; count and total are the
    // payments'.
    std::int64_t record(const ProducedFile& file, const std::vector<PayrollPayment>& payments);
    // The same in two steps, so that the payments are written while the file
    // is: beginRecord opens the transaction (waiting while another run
    // writes) and writes the payments under a new file number; endRecord
    // writes the rest of the file's row and commits; abandonRecord, or the
    // register's end without endRecord, leaves the register as it was.
    std::int64_t beginRecord(const std::vector<PayrollPayment>& payments);
    // beginRecord in its three steps, for payments that come in parts:
    // beginPayments opens the transaction and gives the new file's number,
    // addPayments writes the next payments and notes their payees' accounts,
    // and completePayments, handed them all (the same, in the same order),
    // gives the file its count, total and fingerprint.
    std::int64_t beginPayments();
    void addPayments(std::int64_t id, const std::vector<PayrollPayment>& payments);
    void completePayments(std::int64_t id, const std::vector<PayrollPayment>& payments);
    // Folds the journal the last recording left into the register of a main
    // folder, when there is one, without waiting for any lock; beginRecord
    // does the same, and finds little left when this ran before it. Never
    // throws: a register this cannot use is left to the others to report.
    static void foldJournal(const std::string& mainFolder) noexcept;
    void endRecord(std::int64_t id, const ProducedFile& file);
    void abandonRecord() noexcept;

    // Every produced file, newest first; of one bank when `bank` is not empty.
    std::vector<ProducedFile> files(const std::string& bank = {});
    std::optional<ProducedFile> file(std::int64_t id);
    // The payments of a file in the order they were written.
    std::vector<PayrollPayment> payments(std::int64_t fileId);

    // What the payroll checks compare with (payments/PayrollHistory.h). The
    // same payroll is looked for by the payees and amounts of `inFile`, the
    // payments the new file would hold; the last accounts by every payee of
    // `payroll`. Without `lastFilePayments` the bank's last file is named but
    // its payments are not read (lastOfBankPayments stays empty).
    PayrollHistory history(const std::string& bank, const std::vector<PayrollPayment>& inFile,
                           const std::vector<PayrollPayment>& payroll, bool lastFilePayments = true);

private:
    std::string path_;
    std::unique_ptr<SqliteDatabase> db_;
    std::unique_ptr<SqliteTransaction> pending_;  // declared after db_: ended before it
    std::int64_t added_ = 0;                        // payments of the open record
};

// A fingerprint of a payroll's payees and amounts, whatever their order: the
// same for two payrolls that pay the same payees the same amounts.
std::string PayrollDigest(const std::vector<PayrollPayment>& payments);

}  // namespace doz
