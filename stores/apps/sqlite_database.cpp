#include "stores/apps/sqlite_database.h"

#include <QFile>
#include <sqlite3.h>

#include "common/errors.h"

SqliteDatabase::SqliteDatabase(const QString& path, int busyTimeoutMs) : path_(path)
{
    // Never SQLITE_OPEN_CREATE: a missing database is the user's to make, not ours.
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw AgentError("cannot open the database " + path.toStdString() + ": " + why);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs);
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(db_);
}

void SqliteDatabase::Fail(int code, const char* what) const
{
    std::string why = std::string(what) + " in " + path_.toStdString() + ": " + sqlite3_errmsg(db_);
    const int primary = code & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        why += " (another program holds the database locked; a running Firefox does)";
    throw AgentError(why);
}

void SqliteDatabase::Execute(const char* sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) Fail(rc, sql);
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

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql) : db_(db), sql_(sql)
{
    const int rc = sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) db.Fail(rc, sql);
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(stmt_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value)
{
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) db_.Fail(rc, sql_);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const int rc = sqlite3_bind_text64(stmt_, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                                       SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) db_.Fail(rc, sql_);
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index)
{
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) db_.Fail(rc, sql_);
    return *this;
}

bool SqliteStatement::Step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    db_.Fail(rc, sql_);
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
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    const int bytes = sqlite3_column_bytes(stmt_, column);
    return text ? QString::fromUtf8(text, bytes) : QString();
}

QByteArrayView SqliteStatement::Utf8(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QByteArrayView(text, text ? sqlite3_column_bytes(stmt_, column) : 0);
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db)
{
    db_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit()
{
    db_.Execute("COMMIT");
    open_ = false;
}
