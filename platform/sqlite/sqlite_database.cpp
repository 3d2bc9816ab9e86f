#include "platform/sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <QFile>

#include "common/errors.h"

bool SqliteFailure::Locked() const
{
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

std::string SqliteFailure::Text() const
{
    if (stage == Stage::Open) return "cannot open the database " + path.toStdString() + ": " + reason;
    return std::string(sql ? sql : "") + " in " + path.toStdString() + ": " + reason;
}

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql) : SqliteStatement(db, sql, 0) {}

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql, unsigned prepareFlags)
    : db_(db), sql_(sql)
{
    const int rc = sqlite3_prepare_v3(db.Handle(), sql, -1, prepareFlags, &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        db.Fail(SqliteFailure::Stage::Prepare, sql, rc);
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(stmt_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value)
{
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) db_.Fail(SqliteFailure::Stage::Bind, sql_, rc);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const int rc =
        sqlite3_bind_text64(stmt_, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                            SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) db_.Fail(SqliteFailure::Stage::Bind, sql_, rc);
    return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, const QByteArray& bytes)
{
    // SQLite binds NULL for a null pointer: bind an empty blob from a real one.
    static const char kNoBytes = 0;
    const char* data = bytes.isEmpty() ? &kNoBytes : bytes.constData();
    const int rc =
        sqlite3_bind_blob64(stmt_, index, data, static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) db_.Fail(SqliteFailure::Stage::Bind, sql_, rc);
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index)
{
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) db_.Fail(SqliteFailure::Stage::Bind, sql_, rc);
    return *this;
}

bool SqliteStatement::Step()
{
    db_.StartStatementClock();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // Reset keeps the connection's message and ends the statement's read, so that a failed
    // statement does not hold the file.
    sqlite3_reset(stmt_);
    db_.Fail(SqliteFailure::Stage::Step, sql_, rc);
}

void SqliteStatement::Run()
{
    while (Step()) {
    }
    Reset();
}

void SqliteStatement::Reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int SqliteStatement::Type(int column) const
{
    return sqlite3_column_type(stmt_, column);
}

bool SqliteStatement::IsNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::Int(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

QString SqliteStatement::Text(int column) const
{
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, column));
    return text ? QString::fromUtf16(text, sqlite3_column_bytes16(stmt_, column) / 2) : QString();
}

QByteArray SqliteStatement::Blob(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return QByteArray(data, sqlite3_column_bytes(stmt_, column));
}

QByteArrayView SqliteStatement::Utf8(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QByteArrayView(text, text ? sqlite3_column_bytes(stmt_, column) : 0);
}

SqliteDatabase::SqliteDatabase(const QString& path, int busyTimeoutMs, SqliteErrorMaker errorMaker)
    : path_(path), errorMaker_(errorMaker)
{
    // Never SQLITE_OPEN_CREATE: a missing file is its owner's to make. Each connection is used by
    // one thread at a time, so SQLite's own mutex is left out.
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        Throw(SqliteFailure{SqliteFailure::Stage::Open, path_, nullptr, rc, reason});
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs);
}

SqliteDatabase::~SqliteDatabase()
{
    statements_.clear();
    EndReads();
    sqlite3_close_v2(db_);
}

void SqliteDatabase::LimitStatementTime(std::chrono::milliseconds limit)
{
    statementLimit_ = limit;
    if (limit.count() <= 0) {
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
        return;
    }
    // Every few thousand virtual-machine steps: a clock read each time costs next to nothing.
    sqlite3_progress_handler(
        db_, 4000,
        [](void* self) -> int {
            const auto* db = static_cast<const SqliteDatabase*>(self);
            return std::chrono::steady_clock::now() > db->statementDeadline_ ? 1 : 0;
        },
        this);
}

void SqliteDatabase::StartStatementClock()
{
    if (statementLimit_.count() > 0) statementDeadline_ = std::chrono::steady_clock::now() + statementLimit_;
}

void SqliteDatabase::Execute(const char* sql)
{
    StartStatementClock();
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(SqliteFailure::Stage::Execute, sql, rc);
}

bool SqliteDatabase::HasTable(const char* table)
{
    SqliteStatement s(*this, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    s.Bind(1, QString::fromLatin1(table));
    return s.Step();
}

bool SqliteDatabase::HasColumn(const char* table, const char* column)
{
    SqliteStatement s(*this, "SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE");
    s.Bind(1, QString::fromLatin1(table)).Bind(2, QString::fromLatin1(column));
    return s.Step();
}

std::int64_t SqliteDatabase::LastInsertRowId() const
{
    return sqlite3_last_insert_rowid(db_);
}

SqliteDatabase::StatementUse SqliteDatabase::Cached(const char* sql)
{
    auto& slot = statements_[sql];
    if (!slot) slot.reset(new SqliteStatement(*this, sql, SQLITE_PREPARE_PERSISTENT));
    return StatementUse(*slot);
}

bool SqliteDatabase::UseWriteAheadLog()
{
    StartStatementClock();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        writeAheadLog_ =
            sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal") == 0;
    sqlite3_finalize(st);
    return writeAheadLog_;
}

void SqliteDatabase::HoldReads()
{
    if (!writeAheadLog_ || holdingReads_) return;
    // BEGIN alone takes nothing; the first read opens the snapshot. Without it the reads go on
    // one by one, as they would in another journal mode.
    StartStatementClock();
    if (sqlite3_exec(db_, "BEGIN; SELECT 1 FROM sqlite_schema LIMIT 1;", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    holdingReads_ = true;
}

void SqliteDatabase::EndReads()
{
    if (!holdingReads_) return;
    holdingReads_ = false;
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

void SqliteDatabase::Fail(SqliteFailure::Stage stage, const char* sql, int code) const
{
    Throw(SqliteFailure{stage, path_, sql, code, sqlite3_errmsg(db_)});
}

void SqliteDatabase::Throw(const SqliteFailure& failure) const
{
    if (errorMaker_) errorMaker_(failure);
    std::string why = failure.Text();
    if (failure.Locked()) why += " (another program holds the database locked)";
    if ((failure.code & 0xFF) == SQLITE_INTERRUPT) why += " (the statement ran past its time limit)";
    throw AgentError(why);
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db)
{
    db_.EndReads();
    db_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (!open_) return;
    db_.StartStatementClock();
    sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit()
{
    db_.Execute("COMMIT");
    open_ = false;
}
