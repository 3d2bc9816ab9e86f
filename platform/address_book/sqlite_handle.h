#pragma once
// Owning handles for one SQLite connection, its prepared statements and its transactions. Every
// failure is thrown as WabError(Failed) naming the database file and SQLite's own reason.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/address_book/wab_types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wab {

class SqliteDatabase;

// A prepared statement. Reused statements are reset by ResetStatement before each use.
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1.
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& BindText(int index, const QString& value);
    SqliteStatement& BindBlob(int index, const QByteArray& value);
    // True while a row is there to read; false once the statement is done.
    bool Step();
    void Reset();

    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
    int ColumnType(int column) const;
    std::int64_t ColumnInt(int column) const;
    QString ColumnText(int column) const;
    QByteArray ColumnBlob(int column) const;

private:
    SqliteDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteDatabase {
public:
    // Opens an existing file for reading and writing; the file is neither created nor read yet.
    explicit SqliteDatabase(const QString& path);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    const QString& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }
    // Runs statements that return no rows.
    void Exec(const char* sql);
    // One prepared statement per text, kept for the connection's life. The statement is reset when
    // the returned use ends, so that no read stays open and keeps other programs from writing.
    // `sql` must outlive the connection (a literal).
    class StatementUse {
    public:
        explicit StatementUse(SqliteStatement& st) : st_(st) {}
        ~StatementUse() { st_.Reset(); }
        StatementUse(const StatementUse&) = delete;
        StatementUse& operator=(const StatementUse&) = delete;
        SqliteStatement* operator->() const { return &st_; }
        SqliteStatement& operator*() const { return st_; }

    private:
        SqliteStatement& st_;
    };
    StatementUse Cached(const char* sql);
    std::int64_t LastInsertRow() const;
    // Throws WabError(Failed) with `what`, the file and SQLite's latest message.
    [[noreturn]] void Fail(const std::string& what) const;

    // Puts the file into write-ahead-log mode, where readers and writers of other connections do
    // not wait for each other; false when the file system does not allow it.
    bool UseWriteAheadLog();
    // Keeps one read open, so that a run of reads sees one state of the file without taking its
    // locks for each; ended by EndReads or the next write transaction. Only in write-ahead-log
    // mode, where an open read keeps no other program from writing; otherwise nothing.
    void HoldReads();
    void EndReads();

private:
    QString path_;
    sqlite3* db_ = nullptr;
    bool writeAheadLog_ = false;
    bool holdingReads_ = false;
    std::unordered_map<const char*, std::unique_ptr<SqliteStatement>> statements_;
};

// A write transaction: begun at once (taking the write lock), rolled back unless committed.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;
    void Commit();

private:
    SqliteDatabase& db_;
    bool open_ = true;
};

}  // namespace wab
