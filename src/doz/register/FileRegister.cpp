#include "register/FileRegister.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <map>
#include <unordered_map>

#include "payments/PaymentKind.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/Sha256.h"
#include "register/RegisterSchema.h"

namespace doz {

namespace {

// How long a run waits for another run that is writing the register.
constexpr int kBusyTimeoutMs = 60'000;

std::string utf8(std::string_view ansi) { return ansiToUtf8(ansi); }

// The same for a text of its own, kept as it is when it is plain ASCII.
std::string utf8(std::string&& ansi) {
    for (const char c : ansi)
        if (static_cast<unsigned char>(c) >= 0x80) return ansiToUtf8(ansi);
    return std::move(ansi);
}

// Binds a Windows-1252 text as UTF-8 until the statement has run: plain
// ASCII where it stands, anything else converted into `converted`.
void bindText(SqliteStatement& s, int index, std::string_view ansi, std::string& converted) {
    for (const char c : ansi)
        if (static_cast<unsigned char>(c) >= 0x80) {
            converted = ansiToUtf8(ansi);
            s.bindUntilRun(index, converted);
            return;
        }
    s.bindUntilRun(index, ansi);
}

// What a SQLite failure means to the user.
std::string meaning(int code) {
    switch (code & 0xFF) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT: return "\xE8 danneggiato o non \xE8 un registro";
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return "\xE8 occupato da un altro programma da troppo tempo";
        case SQLITE_READONLY: return "non si pu\xF2 scrivere (sola lettura)";
        case SQLITE_CANTOPEN: return "non si pu\xF2 aprire";
        case SQLITE_PERM:
        case SQLITE_AUTH: return "non \xE8 accessibile (permesso negato)";
        case SQLITE_FULL: return "non si pu\xF2 scrivere: disco pieno";
        case SQLITE_IOERR: return "non si pu\xF2 leggere o scrivere";
        case SQLITE_NOMEM: return "non si pu\xF2 usare: memoria esaurita";
        default: return "non si pu\xF2 usare";
    }
}

// The failure with the register's path and its meaning, SQLite's own words
// after. The error it gives has code 0: it is told as it stands.
[[noreturn]] void fail(const std::string& path, const RegisterError& e) {
    throw RegisterError("il registro '" + path + "' " + meaning(e.code()) + " (" + e.what() + ")");
}

// The database file, made empty and readable by its owner only when missing
// (SQLite gives its journal files the same permissions).
void ownFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
}

void createTables(SqliteDatabase& db) {
    db.execute(
        "CREATE TABLE produced_file ("
        " id INTEGER PRIMARY KEY,"
        " moment TEXT NOT NULL,"
        " bank TEXT NOT NULL,"
        " format TEXT NOT NULL,"
        " path TEXT NOT NULL,"
        " name TEXT NOT NULL,"
        " support_name TEXT NOT NULL,"
        " creation_date TEXT NOT NULL,"
        " execution_date TEXT NOT NULL,"
        " msg_id TEXT NOT NULL,"
        " payment_count INTEGER NOT NULL,"
        " total_cents INTEGER NOT NULL,"
        " size INTEGER NOT NULL,"
        " sha256 TEXT NOT NULL,"
        " copy TEXT NOT NULL);"
        "CREATE INDEX produced_file_bank ON produced_file (bank, id);"
        "CREATE TABLE payment ("
        " file_id INTEGER NOT NULL REFERENCES produced_file (id),"
        " seq INTEGER NOT NULL,"
        " disposition INTEGER NOT NULL,"
        " payee_code TEXT NOT NULL,"
        " name TEXT NOT NULL,"
        " fiscal_code TEXT NOT NULL,"
        " iban TEXT NOT NULL,"
        " abi TEXT NOT NULL,"
        " cab TEXT NOT NULL,"
        " account TEXT NOT NULL,"
        " cents INTEGER NOT NULL,"
        " kind INTEGER NOT NULL,"
        " mode TEXT NOT NULL,"
        " PRIMARY KEY (file_id, seq)) WITHOUT ROWID;");
}

const char* const kPaymentColumns =
    "disposition, payee_code, name, fiscal_code, iban, abi, cab, account, cents, kind, mode";

PayrollPayment paymentAt(const SqliteStatement& s, int first) {
    PayrollPayment p;
    p.disposition = static_cast<int>(s.integer(first));
    p.payeeCode = utf8ToAnsi(s.view(first + 1));
    p.name = utf8ToAnsi(s.view(first + 2));
    p.fiscalCode = utf8ToAnsi(s.view(first + 3));
    p.iban = utf8ToAnsi(s.view(first + 4));
    p.abi = utf8ToAnsi(s.view(first + 5));
    p.cab = utf8ToAnsi(s.view(first + 6));
    p.account = utf8ToAnsi(s.view(first + 7));
    p.cents = s.integer(first + 8);
    p.kind = s.integer(first + 9);
    p.mode = utf8ToAnsi(s.view(first + 10));
    return p;
}

// Each file's fingerprint of payees and amounts, so that the same payroll is
// found by one look-up; the files written before are given theirs.
void addPayrollDigests(SqliteDatabase& db) {
    db.execute(
        "ALTER TABLE produced_file ADD COLUMN payroll_digest TEXT NOT NULL DEFAULT '';"
        "CREATE INDEX produced_file_payroll ON produced_file (bank, payroll_digest);");
    std::vector<std::int64_t> ids;
    SqliteStatement all(db, "SELECT id FROM produced_file");
    while (all.step()) ids.push_back(all.integer(0));
    SqliteStatement payments(db, std::string("SELECT ") + kPaymentColumns + " FROM payment WHERE file_id = ?1 ORDER BY seq");
    SqliteStatement update(db, "UPDATE produced_file SET payroll_digest = ?2 WHERE id = ?1");
    for (const std::int64_t id : ids) {
        std::vector<PayrollPayment> list;
        payments.bind(1, id);
        while (payments.step()) list.push_back(paymentAt(payments, 0));
        payments.reset();
        update.bind(1, id).bind(2, PayrollDigest(list)).run();
    }
}

// Each payee's account as the newest file that paid it on one gave it (the
// file's last payment to that payee with an account): the payroll checks find
// the payees of a new file here, whatever the number of files before it.
void notePayeeAccounts(SqliteDatabase& db, std::int64_t fileId, const std::vector<PayrollPayment>& payments) {
    struct Known {
        std::string payee, account;
    };
    std::vector<Known> known;
    known.reserve(payments.size());
    for (const PayrollPayment& p : payments) {
        std::string payee = p.payeeKey();
        std::string account = p.accountKey();
        if (!payee.empty() && !account.empty()) known.push_back({std::move(payee), std::move(account)});
    }
    // In the table's order, which the rows then reach one page after the other.
    std::stable_sort(known.begin(), known.end(), [](const Known& a, const Known& b) { return a.payee < b.payee; });
    SqliteStatement upsert(db,
                           "INSERT INTO payee_account (payee, account, file_id) VALUES (?1, ?2, ?3)"
                           " ON CONFLICT (payee) DO UPDATE SET account = excluded.account, file_id = excluded.file_id");
    upsert.bind(3, fileId);
    std::string converted[3];
    for (std::size_t i = 0; i < known.size(); ++i) {
        if (i + 1 < known.size() && known[i + 1].payee == known[i].payee) continue;  // a later payment says it
        bindText(upsert, 1, known[i].payee, converted[1]);
        bindText(upsert, 2, known[i].account, converted[2]);
        upsert.run();
    }
}

void addPayeeAccounts(SqliteDatabase& db) {
    db.execute(
        "CREATE TABLE payee_account ("
        " payee TEXT PRIMARY KEY,"
        " account TEXT NOT NULL,"
        " file_id INTEGER NOT NULL REFERENCES produced_file (id)) WITHOUT ROWID;");
    std::vector<std::int64_t> ids;
    SqliteStatement all(db, "SELECT id FROM produced_file ORDER BY id");
    while (all.step()) ids.push_back(all.integer(0));
    SqliteStatement payments(db, std::string("SELECT ") + kPaymentColumns + " FROM payment WHERE file_id = ?1 ORDER BY seq");
    for (const std::int64_t id : ids) {
        std::vector<PayrollPayment> list;
        payments.bind(1, id);
        while (payments.step()) list.push_back(paymentAt(payments, 0));
        payments.reset();
        notePayeeAccounts(db, id, list);
    }
}

const RegisterStep kSteps[] = {createTables, addPayrollDigests, addPayeeAccounts};
static_assert(std::size(kSteps) == kRegisterSchema);

const char* const kFileColumns =
    "id, moment, bank, format, path, name, support_name, creation_date, execution_date, msg_id, payment_count,"
    " total_cents, size, sha256, copy";

ProducedFile fileAt(const SqliteStatement& s) {
    ProducedFile f;
    f.id = s.integer(0);
    f.moment = utf8ToAnsi(s.view(1));
    f.bank = utf8ToAnsi(s.view(2));
    f.format = utf8ToAnsi(s.view(3));
    f.path = utf8ToAnsi(s.view(4));
    f.name = utf8ToAnsi(s.view(5));
    f.supportName = utf8ToAnsi(s.view(6));
    f.creationDate = utf8ToAnsi(s.view(7));
    f.executionDate = utf8ToAnsi(s.view(8));
    f.messageId = utf8ToAnsi(s.view(9));
    f.count = s.integer(10);
    f.totalCents = s.integer(11);
    f.size = s.integer(12);
    f.sha256 = s.text(13);
    f.copy = utf8ToAnsi(s.view(14));
    return f;
}

}  // namespace

const RegisterStep* RegisterSteps() { return kSteps; }
std::size_t RegisterStepCount() { return std::size(kSteps); }

std::string RegisterFolder(const std::string& mainFolder) {
    if (!mainFolder.empty() && mainFolder.back() != '/') return mainFolder + "/var/lib/Pzt/doz/";
    return mainFolder + "var/lib/Pzt/doz/";
}
std::string RegisterPath(const std::string& mainFolder) { return RegisterFolder(mainFolder) + "Registro.sqlite"; }
std::string KeptCopyFolder(const std::string& mainFolder) { return RegisterFolder(mainFolder) + "Copie/"; }

void MakeRegisterFolders(const std::string& mainFolder, bool copies) {
    for (const std::string& folder : {RegisterFolder(mainFolder), copies ? KeptCopyFolder(mainFolder) : std::string()}) {
        if (folder.empty() || directoryExists(folder)) continue;
        forceDirectories(folder);
        ::chmod(folder.c_str(), 0700);
    }
}

std::string RegisterMoment() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string PayrollDigest(const std::vector<PayrollPayment>& payments) {
    // One line per payment, "payee\tcents\n", digested in sorted order; the
    // lines are kept in one buffer and sorted as views of it.
    std::string buffer;
    std::vector<std::pair<std::size_t, std::size_t>> lines;  // start and length in `buffer`
    lines.reserve(payments.size());
    buffer.reserve(payments.size() * 32);
    char digits[24];
    for (const PayrollPayment& p : payments) {
        const std::size_t start = buffer.size();
        if (!p.payeeCode.empty()) buffer += p.payeeCode;
        else if (!p.fiscalCode.empty()) buffer.append("CF ").append(p.fiscalCode);
        else buffer.append("N ").append(p.name);
        buffer += '\t';
        const auto end = std::to_chars(digits, digits + sizeof digits, p.cents).ptr;
        buffer.append(digits, end);
        buffer += '\n';
        lines.emplace_back(start, buffer.size() - start);
    }
    const std::string_view all(buffer);
    std::sort(lines.begin(), lines.end(), [all](const auto& a, const auto& b) {
        return all.substr(a.first, a.second) < all.substr(b.first, b.second);
    });
    Sha256 h;
    for (const auto& [start, length] : lines) h.update(all.substr(start, length));
    return Sha256::hex(h.finish());
}

FileRegister::FileRegister(const std::string& mainFolder, Open how) : path_(RegisterPath(mainFolder)) {
    if (how == Open::Existing && !fileExists(path_)) return;
    try {
        if (how == Open::Create) {
            MakeRegisterFolders(mainFolder, false);
            ownFile(path_);
        }
        db_ = std::make_unique<SqliteDatabase>(path_, SqliteDatabase::Mode::ReadWrite);
        db_->setBusyTimeout(kBusyTimeoutMs);
        const std::int64_t found = db_->integer("PRAGMA user_version");
        if (found > kRegisterSchema)
            throw RegisterError("il registro '" + path_ + "' \xE8 stato scritto da una versione pi\xF9 recente del "
                                "programma (schema " + std::to_string(found) + "; questa versione conosce fino "
                                "allo schema " + std::to_string(kRegisterSchema) + ")");
        // The journal is written ahead and flushed at every commit; it is
        // folded into the database when the next file is recorded (beside
        // that file's writing), not when a run closes the register.
        db_->execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA wal_autocheckpoint = 0;");
        sqlite3_db_config(db_->handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        if (found < kRegisterSchema) {
            SqliteTransaction t(*db_);
            // Another run may have brought it up to date while this one waited.
            const std::int64_t now = db_->integer("PRAGMA user_version");
            if (now > kRegisterSchema) throw RegisterError("il registro '" + path_ + "' \xE8 cambiato durante l'apertura");
            for (std::int64_t step = now; step < kRegisterSchema; ++step) kSteps[step](*db_);
            db_->execute("PRAGMA user_version = " + std::to_string(kRegisterSchema));
            t.commit();
        }
    } catch (const RegisterError& e) {
        db_.reset();
        if (e.code() == 0) throw;
        fail(path_, e);
    }
}

FileRegister::~FileRegister() = default;
FileRegister::FileRegister(FileRegister&&) noexcept = default;

std::int64_t FileRegister::beginRecord(const std::vector<PayrollPayment>& payments) {
    const std::int64_t id = beginPayments();
    addPayments(id, payments);
    completePayments(id, payments);
    return id;
}

std::int64_t FileRegister::beginPayments() {
    if (!db_) throw RegisterError("il registro '" + path_ + "' non esiste");
    try {
        db_->execute("PRAGMA wal_checkpoint(PASSIVE)");
        pending_ = std::make_unique<SqliteTransaction>(*db_);
        added_ = 0;
        db_->execute("INSERT INTO produced_file (moment, bank, format, path, name, support_name, creation_date,"
                     " execution_date, msg_id, payment_count, total_cents, size, sha256, copy, payroll_digest)"
                     " VALUES ('', '', '', '', '', '', '', '', '', 0, 0, 0, '', '', '')");
        return db_->lastInsertId();
    } catch (const RegisterError& e) {
        pending_.reset();
        if (e.code() == 0) throw;
        fail(path_, e);
    }
}

void FileRegister::addPayments(std::int64_t id, const std::vector<PayrollPayment>& payments) {
    if (!pending_) throw RegisterError("il registro '" + path_ + "' non ha un file in corso");
    try {
        SqliteStatement insertPayment(*db_,
                                      std::string("INSERT INTO payment (file_id, seq, ") + kPaymentColumns +
                                          ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
        insertPayment.bind(1, id);
        std::string converted[14];  // by parameter: the texts that needed converting, until the row is written
        for (const PayrollPayment& p : payments) {
            insertPayment.bind(2, ++added_).bind(3, std::int64_t{p.disposition});
            bindText(insertPayment, 4, p.payeeCode, converted[4]);
            bindText(insertPayment, 5, p.name, converted[5]);
            bindText(insertPayment, 6, p.fiscalCode, converted[6]);
            bindText(insertPayment, 7, p.iban, converted[7]);
            bindText(insertPayment, 8, p.abi, converted[8]);
            bindText(insertPayment, 9, p.cab, converted[9]);
            bindText(insertPayment, 10, p.account, converted[10]);
            insertPayment.bind(11, p.cents).bind(12, p.kind);
            bindText(insertPayment, 13, p.mode, converted[13]);
            insertPayment.run();
        }
        // The payees' accounts as these payments leave them: a later part's
        // payment to the same payee is noted after, as a later payment.
        notePayeeAccounts(*db_, id, payments);
    } catch (const RegisterError& e) {
        pending_.reset();
        if (e.code() == 0) throw;
        fail(path_, e);
    }
}

void FileRegister::completePayments(std::int64_t id, const std::vector<PayrollPayment>& payments) {
    if (!pending_) throw RegisterError("il registro '" + path_ + "' non ha un file in corso");
    // Every payment must be among the rows, in order: what was added is the file's.
    if (added_ != static_cast<std::int64_t>(payments.size()))
        throw RegisterError("il registro '" + path_ + "' ha " + std::to_string(added_) + " pagamenti del file in corso, non " +
                            std::to_string(payments.size()));
    try {
        SqliteStatement update(*db_,
                               "UPDATE produced_file SET payment_count = ?2, total_cents = ?3, payroll_digest = ?4"
                               " WHERE id = ?1");
        update.bind(1, id)
            .bind(2, static_cast<std::int64_t>(payments.size()))
            .bind(3, PayrollTotalCents(payments))
            .bind(4, PayrollDigest(payments))
            .run();
    } catch (const RegisterError& e) {
        pending_.reset();
        if (e.code() == 0) throw;
        fail(path_, e);
    }
}

void FileRegister::endRecord(std::int64_t id, const ProducedFile& file) {
    if (!pending_) throw RegisterError("il registro '" + path_ + "' non ha un file in corso");
    try {
        SqliteStatement update(*db_,
                               "UPDATE produced_file SET moment = ?2, bank = ?3, format = ?4, path = ?5, name = ?6,"
                               " support_name = ?7, creation_date = ?8, execution_date = ?9, msg_id = ?10, size = ?11,"
                               " sha256 = ?12, copy = ?13 WHERE id = ?1");
        update.bind(1, id)
            .bind(2, utf8(file.moment))
            .bind(3, utf8(file.bank))
            .bind(4, utf8(file.format))
            .bind(5, utf8(file.path))
            .bind(6, utf8(file.name))
            .bind(7, utf8(file.supportName))
            .bind(8, utf8(file.creationDate))
            .bind(9, utf8(file.executionDate))
            .bind(10, utf8(file.messageId))
            .bind(11, file.size)
            .bind(12, file.sha256)
            .bind(13, utf8(file.copy))
            .run();
        pending_->commit();
        pending_.reset();
    } catch (const RegisterError& e) {
        pending_.reset();
        if (e.code() == 0) throw;
        fail(path_, e);
    }
}

void FileRegister::abandonRecord() noexcept { pending_.reset(); }

void FileRegister::foldJournal(const std::string& mainFolder) noexcept {
    const std::string path = RegisterPath(mainFolder);
    if (!fileExists(path + "-wal")) return;
    try {
        SqliteDatabase db(path, SqliteDatabase::Mode::Update);
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        // A register of a newer program is left as it is.
        if (db.integer("PRAGMA user_version") > kRegisterSchema) return;
        db.execute("PRAGMA wal_checkpoint(PASSIVE)");
    } catch (...) {
    }
}

std::int64_t FileRegister::record(const ProducedFile& file, const std::vector<PayrollPayment>& payments) {
    const std::int64_t id = beginRecord(payments);
    endRecord(id, file);
    return id;
}

std::vector<ProducedFile> FileRegister::files(const std::string& bank) {
    std::vector<ProducedFile> out;
    if (!db_) return out;
    try {
        SqliteStatement s(*db_, std::string("SELECT ") + kFileColumns + " FROM produced_file" +
                                    (bank.empty() ? "" : " WHERE bank = ?1") + " ORDER BY id DESC");
        if (!bank.empty()) s.bind(1, utf8(bank));
        while (s.step()) out.push_back(fileAt(s));
    } catch (const RegisterError& e) {
        if (e.code() == 0) throw;
        fail(path_, e);
    }
    return out;
}

std::optional<ProducedFile> FileRegister::file(std::int64_t id) {
    if (!db_) return std::nullopt;
    try {
        SqliteStatement s(*db_, std::string("SELECT ") + kFileColumns + " FROM produced_file WHERE id = ?1");
        s.bind(1, id);
        if (s.step()) return fileAt(s);
    } catch (const RegisterError& e) {
        if (e.code() == 0) throw;
        fail(path_, e);
    }
    return std::nullopt;
}

std::vector<PayrollPayment> FileRegister::payments(std::int64_t fileId) {
    std::vector<PayrollPayment> out;
    if (!db_) return out;
    try {
        SqliteStatement s(*db_, std::string("SELECT ") + kPaymentColumns + " FROM payment WHERE file_id = ?1 ORDER BY seq");
        s.bind(1, fileId);
        while (s.step()) out.push_back(paymentAt(s, 0));
    } catch (const RegisterError& e) {
        if (e.code() == 0) throw;
        fail(path_, e);
    }
    return out;
}

PayrollHistory FileRegister::history(const std::string& bank, const std::vector<PayrollPayment>& inFile,
                                     const std::vector<PayrollPayment>& payroll, bool lastFilePayments) {
    PayrollHistory out;
    if (!db_) return out;
    try {
        // Every read below sees the same state of the register.
        db_->execute("BEGIN");
        struct Ender {
            SqliteDatabase& db;
            ~Ender() {
                try {
                    db.execute("COMMIT");
                } catch (const RegisterError&) {
                }
            }
        } ender{*db_};

        auto newest = [this](const char* where, auto&& bindAll) -> std::optional<ProducedFile> {
            SqliteStatement s(*db_, std::string("SELECT ") + kFileColumns + " FROM produced_file WHERE " + where +
                                        " ORDER BY id DESC LIMIT 1");
            bindAll(s);
            if (s.step()) return fileAt(s);
            return std::nullopt;
        };
        const std::string bankText = utf8(bank);
        const std::optional<ProducedFile> last = newest("bank = ?1", [&](SqliteStatement& s) { s.bind(1, bankText); });
        if (last) {
            out.lastOfBank = last->summary();
            if (lastFilePayments) out.lastOfBankPayments = payments(last->id);
            const std::optional<ProducedFile> same =
                newest("bank = ?1 AND payment_count = ?2 AND total_cents = ?3 AND payroll_digest = ?4",
                       [&](SqliteStatement& s) {
                           s.bind(1, bankText)
                               .bind(2, static_cast<std::int64_t>(inFile.size()))
                               .bind(3, PayrollTotalCents(inFile))
                               .bind(4, PayrollDigest(inFile));
                       });
            if (same) out.samePayroll = same->summary();
        }

        // The last account of each payee paid now on another one, with the
        // file that gave it. The payees paid now, in the register's encoding
        // and in the table's order (its key's, byte by byte), are walked
        // beside the table: each payee's account now, `several` when its
        // payments name more than one (then one of them differs from any
        // last account).
        struct Now {
            std::string payee, account;
            bool several = false;
        };
        std::vector<Now> now;
        now.reserve(payroll.size());
        for (const PayrollPayment& p : payroll) {
            std::string key = p.payeeKey();
            std::string account = p.accountKey();
            if (key.empty() || account.empty()) continue;
            now.push_back({utf8(std::move(key)), utf8(std::move(account))});
        }
        std::sort(now.begin(), now.end(), [](const Now& a, const Now& b) { return a.payee < b.payee; });
        std::size_t kept = 0;
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (kept > 0 && now[kept - 1].payee == now[i].payee) {
                if (now[kept - 1].account != now[i].account) now[kept - 1].several = true;
                continue;
            }
            if (kept != i) now[kept] = std::move(now[i]);
            ++kept;
        }
        now.resize(kept);

        std::unordered_map<std::int64_t, ProducedFileSummary> files;
        SqliteStatement accounts(*db_, "SELECT payee, account, file_id FROM payee_account ORDER BY payee");
        SqliteStatement fileRow(*db_, std::string("SELECT ") + kFileColumns + " FROM produced_file WHERE id = ?1");
        std::size_t next = 0;
        while (next < now.size() && accounts.step()) {
            const std::string_view payee = accounts.view(0);
            while (next < now.size() && std::string_view(now[next].payee) < payee) ++next;
            if (next == now.size() || now[next].payee != payee) continue;
            const Now& asked = now[next++];
            if (!asked.several && asked.account == accounts.view(1)) continue;
            const std::int64_t id = accounts.integer(2);
            auto known = files.find(id);
            if (known == files.end()) {
                ProducedFileSummary summary;
                summary.id = id;
                fileRow.bind(1, id);
                if (fileRow.step()) summary = fileAt(fileRow).summary();
                known = files.emplace(id, std::move(summary)).first;
                fileRow.reset();
            }
            out.lastAccounts[utf8ToAnsi(payee)] = {utf8ToAnsi(accounts.view(1)), known->second};
        }
    } catch (const RegisterError& e) {
        if (e.code() == 0) throw;
        fail(path_, e);
    }
    return out;
}

}  // namespace doz
