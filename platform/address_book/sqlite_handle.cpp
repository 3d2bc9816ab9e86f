#include "platform/address_book/sqlite_handle.h"

#include <sqlite3.h>

namespace wab {

namespace {
// Another program holding the book for a moment (the user's own tools) is waited for this long.
constexpr int kBusyTimeoutMs = 2000;
}  // namespace

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql) : db_(db)
{
    if (sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        db.Fail("cannot prepare a query");
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(stmt_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) db_.Fail("cannot bind a value");
    return *this;
}

SqliteStatement& SqliteStatement::BindText(int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text64(stmt_, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                            SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        db_.Fail("cannot bind a text");
    return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, const QByteArray& value)
{
    // A zero-length blob is still a blob, not NULL: bind it from a non-null pointer.
    static const char kNoBytes = 0;
    const char* data = value.isEmpty() ? &kNoBytes : value.constData();
    if (sqlite3_bind_blob64(stmt_, index, data, static_cast<sqlite3_uint64>(value.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        db_.Fail("cannot bind a blob");
    return *this;
}

bool SqliteStatement::Step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Fail("a query failed");
}

void SqliteStatement::Reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int SqliteStatement::ColumnType(int column) const
{
    return sqlite3_column_type(stmt_, column);
}

std::int64_t SqliteStatement::ColumnInt(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

QString SqliteStatement::ColumnText(int column) const
{
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, column));
    const int bytes = sqlite3_column_bytes16(stmt_, column);
    return QString::fromUtf16(text, bytes / 2);
}

QByteArray SqliteStatement::ColumnBlob(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return QByteArray(data, sqlite3_column_bytes(stmt_, column));
}

SqliteDatabase::SqliteDatabase(const QString& path) : path_(path)
{
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw WabError(WabStatus::Failed,
                       "cannot open the address book " + path.toStdString() + ": " + reason);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
}

SqliteDatabase::~SqliteDatabase()
{
    statements_.clear();
    EndReads();
    sqlite3_close_v2(db_);
}

void SqliteDatabase::Exec(const char* sql)
{
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail("a statement failed");
}

SqliteDatabase::StatementUse SqliteDatabase::Cached(const char* sql)
{
    auto& slot = statements_[sql];
    if (!slot) slot = std::make_unique<SqliteStatement>(*this, sql);
    return StatementUse(*slot);
}

std::int64_t SqliteDatabase::LastInsertRow() const
{
    return sqlite3_last_insert_rowid(db_);
}

void SqliteDatabase::Fail(const std::string& what) const
{
    throw WabError(WabStatus::Failed,
                   "address book " + path_.toStdString() + ": " + what + ": " + sqlite3_errmsg(db_));
}

bool SqliteDatabase::UseWriteAheadLog()
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        writeAheadLog_ = sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal") == 0;
    sqlite3_finalize(st);
    return writeAheadLog_;
}

void SqliteDatabase::HoldReads()
{
    if (!writeAheadLog_ || holdingReads_) return;
    // BEGIN alone takes nothing; the first read opens the snapshot. Without it the reads go on
    // one by one, as they would in another journal mode.
    if (sqlite3_exec(db_, "BEGIN; SELECT 1 FROM sqlite_schema LIMIT 1;", nullptr, nullptr, nullptr) != SQLITE_OK) {
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

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db)
{
    db_.EndReads();
    db_.Exec("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit()
{
    db_.Exec("COMMIT");
    open_ = false;
}

}  // namespace wab
