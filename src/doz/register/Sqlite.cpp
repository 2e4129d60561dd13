#include "register/Sqlite.h"

#include <sqlite3.h>

#include "platform/Ansi.h"

namespace doz {

namespace {

[[noreturn]] void failed(const SqliteDatabase& db, const std::string& what) {
    throw RegisterError(what + ": " + db.lastError(), db.lastCode());
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, Mode mode) {
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
                      : mode == Mode::Update ? SQLITE_OPEN_READWRITE
                                             : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = db_ ? lastError() : std::string(sqlite3_errstr(rc));
        sqlite3_close(db_);
        db_ = nullptr;
        throw RegisterError(reason, rc);
    }
    sqlite3_extended_result_codes(db_, 1);
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close_v2(db_); }

void SqliteDatabase::execute(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string reason = message ? utf8ToAnsi(message) : lastError();
        sqlite3_free(message);
        throw RegisterError(reason, lastCode());
    }
}

std::int64_t SqliteDatabase::integer(std::string_view sql) {
    SqliteStatement s(*this, sql);
    return s.step() ? s.integer(0) : 0;
}

void SqliteDatabase::setBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

std::int64_t SqliteDatabase::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }

std::string SqliteDatabase::lastError() const { return utf8ToAnsi(db_ ? sqlite3_errmsg(db_) : "out of memory"); }

int SqliteDatabase::lastCode() const { return db_ ? sqlite3_extended_errcode(db_) : SQLITE_NOMEM; }

SqliteStatement::SqliteStatement(SqliteDatabase& db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK)
        failed(db_, "istruzione non valida");
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        failed(db_, "valore non accettato");
    return *this;
}

SqliteStatement& SqliteStatement::bindUntilRun(int index, std::string_view text) {
    if (sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8) != SQLITE_OK)
        failed(db_, "valore non accettato");
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) failed(db_, "valore non accettato");
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) failed(db_, "valore non accettato");
    return *this;
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const std::string reason = db_.lastError();
    const int code = db_.lastCode();
    sqlite3_reset(stmt_);
    throw RegisterError(reason, code);
}

void SqliteStatement::run() {
    while (step()) {
    }
    sqlite3_reset(stmt_);
}

void SqliteStatement::reset() { sqlite3_reset(stmt_); }

std::string SqliteStatement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

std::string_view SqliteStatement::view(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string_view();
}

std::int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

bool SqliteStatement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db) { db_.execute("BEGIN IMMEDIATE"); }

SqliteTransaction::~SqliteTransaction() {
    if (!open_) return;
    try {
        db_.execute("ROLLBACK");
    } catch (const RegisterError&) {
        // SQLite may have rolled back itself after the failure.
    }
}

void SqliteTransaction::commit() {
    db_.execute("COMMIT");
    open_ = false;
}

}  // namespace doz
