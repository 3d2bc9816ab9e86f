#pragma once
// One SQLite connection to a file another part of the system made (it is opened read-write and
// never created), its prepared statements and its transactions. How a failure is thrown is the
// owner's: it gives an error maker when it opens the file, so that the address book throws its
// own status and a store the AgentError its users read.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

// What went wrong, for the owner's error maker.
struct SqliteFailure {
    enum class Stage { Open, Prepare, Bind, Step, Execute };
    Stage stage;
    const QString& path;
    const char* sql;     // the statement concerned; nullptr when the file would not open
    int code;            // SQLite's extended result code, 0 when SQLite reported none
    std::string reason;  // SQLite's own message

    // Another connection holds the file locked (busy beyond the timeout, or locked).
    bool Locked() const;
    // "cannot open the database <path>: <reason>" or "<sql> in <path>: <reason>".
    std::string Text() const;
};

// Throws the owner's exception for a failure. One that returns leaves the failure thrown as an
// AgentError with its Text, and a note when another program holds the file locked.
using SqliteErrorMaker = void (*)(const SqliteFailure&);

class SqliteDatabase;

// One prepared statement: bind values by position (from 1), Step through the rows, read columns
// by position (from 0). Texts are UTF-8 in the database and UTF-16 here.
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, const QString& text);
    // A zero-length blob is still a blob, not NULL.
    SqliteStatement& BindBlob(int index, const QByteArray& bytes);
    SqliteStatement& BindNull(int index);
    // True while a row is there to read; false once the statement is done.
    bool Step();
    // Steps a statement without results to its end and makes it ready to run again.
    void Run();
    void Reset();

    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
    int Type(int column) const;
    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    QString Text(int column) const;
    QByteArray Blob(int column) const;
    // The column's UTF-8 bytes, valid until the next Step or Reset.
    QByteArrayView Utf8(int column) const;

private:
    friend class SqliteDatabase;
    // `prepareFlags`: SQLITE_PREPARE_PERSISTENT for a statement kept for the connection's life.
    SqliteStatement(SqliteDatabase& db, const char* sql, unsigned prepareFlags);

    SqliteDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
    const char* sql_;
};

class SqliteDatabase {
public:
    // Opens an existing file. `busyTimeoutMs` is how long a statement waits for another
    // connection's lock before it fails; `errorMaker` (may be null) throws the failures.
    SqliteDatabase(const QString& path, int busyTimeoutMs, SqliteErrorMaker errorMaker = nullptr);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    const QString& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }

    // Bounds the time of each statement (each step of a query): one that runs longer is
    // interrupted and fails, so that a file whose triggers or queries never end cannot hold the
    // agent. Zero, the default, sets no bound.
    void LimitStatementTime(std::chrono::milliseconds limit);
    // Starts the bound's clock for a statement run on the handle directly.
    void StartStatementClock();

    // Runs statements without results.
    void Execute(const char* sql);
    bool HasTable(const char* table);
    bool HasColumn(const char* table, const char* column);
    std::int64_t LastInsertRowId() const;

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

    // Puts the file into write-ahead-log mode, where readers and writers of other connections do
    // not wait for each other; false when the file system does not allow it.
    bool UseWriteAheadLog();
    // Keeps one read open, so that a run of reads sees one state of the file without taking its
    // locks for each; ended by EndReads or the next write transaction. Only in write-ahead-log
    // mode, where an open read keeps no other program from writing; otherwise nothing.
    void HoldReads();
    void EndReads();

    // Throws the failure of `sql` at `stage` through the error maker, with SQLite's latest message.
    [[noreturn]] void Fail(SqliteFailure::Stage stage, const char* sql, int code) const;

private:
    [[noreturn]] void Throw(const SqliteFailure& failure) const;

    QString path_;
    sqlite3* db_ = nullptr;
    SqliteErrorMaker errorMaker_;
    bool writeAheadLog_ = false;
    std::chrono::milliseconds statementLimit_{0};
    std::chrono::steady_clock::time_point statementDeadline_{};
    bool holdingReads_ = false;
    std::unordered_map<const char*, std::unique_ptr<SqliteStatement>> statements_;
};

// A write transaction: BEGIN IMMEDIATE on construction (the write lock taken before anything is
// read, ending held reads), COMMIT on Commit, ROLLBACK when left without it, so that a change of
// several statements is all or nothing.
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
