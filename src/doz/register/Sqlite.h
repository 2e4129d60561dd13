// A thin owner of SQLite's C objects: the database connection, prepared
// statements and transactions, each released however its scope ends. Every
// failure is a RegisterError carrying SQLite's own reason after our text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace doz {

// The register could not be opened, read or written.
class RegisterError : public Error {
public:
    explicit RegisterError(const std::string& message, int code = 0) : Error(message), code_(code) {}
    // SQLite's extended result code of the failure; 0 when it was not SQLite's.
    int code() const { return code_; }

private:
    int code_;
};

class SqliteDatabase {
public:
    enum class Mode { ReadWrite, ReadOnly, Update };
    // Opens (ReadWrite: creating when missing; Update: never creating) the
    // database file; RegisterError when it cannot.
    SqliteDatabase(const std::string& path, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Runs one or more statements without results.
    void execute(std::string_view sql);
    // The integer the statement's first row gives in its first column (0 without a row).
    std::int64_t integer(std::string_view sql);
    // How long a statement waits for a lock another process holds.
    void setBusyTimeout(int milliseconds);
    std::int64_t lastInsertId() const;
    // SQLite's text (Windows-1252) and extended code of the last failure.
    std::string lastError() const;
    int lastCode() const;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1. Texts are copied by SQLite at once, except by
    // bindUntilRun, whose text must stay where it is until the statement has run.
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bindUntilRun(int index, std::string_view text);
    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bindNull(int index);
    // The next row: true while there is one; RegisterError on a failure.
    bool step();
    // Runs a statement that gives no rows, then makes it ready to run again.
    void run();
    // Clears the last run (keeps the bound values, which bind replaces).
    void reset();

    // Columns count from 0; NULL reads as empty or 0.
    std::string text(int column) const;
    // The same without a copy, valid until the statement moves on.
    std::string_view view(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const;

private:
    SqliteDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE (the write lock at once, waiting for it under the busy
// timeout); rolled back unless commit() is reached.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;
    void commit();

private:
    SqliteDatabase& db_;
    bool open_ = true;
};

}  // namespace doz
