#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// A SQLite database another program owns, opened read-write and never created. Every failure
// throws AgentError with SQLite's message; a database another connection holds locked (as a
// running Firefox holds its places database) says so.
class SqliteDatabase {
public:
    // Opens an existing file. `busyTimeoutMs` is how long a statement waits for another
    // connection's lock before it fails.
    SqliteDatabase(const QString& path, int busyTimeoutMs);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    sqlite3* Handle() const { return db_; }
    const QString& Path() const { return path_; }

    // Runs statements without results.
    void Execute(const char* sql);
    bool HasTable(const char* table);
    bool HasColumn(const char* table, const char* column);
    std::int64_t LastInsertRowId() const;

    // Throws the AgentError for the connection's last failure in `what`.
    [[noreturn]] void Fail(int code, const char* what) const;

private:
    sqlite3* db_ = nullptr;
    QString path_;
};

// One prepared statement: bind values by position (from 1), Step through the rows, read
// columns by position (from 0). Texts are UTF-8 in the database and UTF-16 here.
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, const QString& text);
    SqliteStatement& BindNull(int index);
    // True while a row is there to read.
    bool Step();
    // Steps a statement without results to its end and makes it ready to run again.
    void Run();
    void Reset();

    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    QString Text(int column) const;
    // The column's UTF-8 bytes, valid until the next Step or Reset.
    QByteArrayView Utf8(int column) const;

private:
    SqliteDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
    const char* sql_;
};

// BEGIN IMMEDIATE on construction (the write lock taken before anything is read), COMMIT on
// Commit, ROLLBACK when left without it, so a change of several statements is all or nothing.
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
