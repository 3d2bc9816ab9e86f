#include "platform/sqlite/sqlite_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "common/errors.h"

namespace {

// The failure an owner's error maker saw, thrown as its own type.
struct OwnerError {
    SqliteFailure::Stage stage;
    int code;
    std::string text;
};

void ThrowOwnerError(const SqliteFailure& failure)
{
    throw OwnerError{failure.stage, failure.code, failure.Text()};
}

class SqliteDatabaseTest : public ::testing::Test {
protected:
    SqliteDatabaseTest()
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
    }
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/data.sqlite");
};

TEST_F(SqliteDatabaseTest, TheErrorMakerThrowsEveryFailureWithItsStageAndCode)
{
    const QString missing = dir.path() + QStringLiteral("/missing.sqlite");
    try {
        SqliteDatabase db(missing, 0, ThrowOwnerError);
        ADD_FAILURE() << "opened a missing file";
    } catch (const OwnerError& e) {
        EXPECT_EQ(e.stage, SqliteFailure::Stage::Open);
        EXPECT_NE(e.text.find(missing.toStdString()), std::string::npos) << e.text;
    }
    EXPECT_FALSE(QFile::exists(missing));

    SqliteDatabase db(path, 0, ThrowOwnerError);
    db.Execute("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT NOT NULL)");
    auto expectFailure = [](SqliteFailure::Stage stage, int primaryCode, const auto& action) {
        try {
            action();
            ADD_FAILURE() << "no failure";
        } catch (const OwnerError& e) {
            EXPECT_EQ(e.stage, stage) << e.text;
            EXPECT_EQ(e.code & 0xFF, primaryCode) << e.text;
        }
    };
    expectFailure(SqliteFailure::Stage::Prepare, SQLITE_ERROR,
                  [&] { SqliteStatement(db, "SELECT nothing FROM t"); });
    expectFailure(SqliteFailure::Stage::Bind, SQLITE_RANGE,
                  [&] { SqliteStatement(db, "SELECT ?").Bind(2, 1); });
    expectFailure(SqliteFailure::Stage::Step, SQLITE_CONSTRAINT,
                  [&] { SqliteStatement(db, "INSERT INTO t (name) VALUES (?)").BindNull(1).Run(); });
    expectFailure(SqliteFailure::Stage::Execute, SQLITE_ERROR, [&] { db.Execute("DROP TABLE nothing"); });
    // A statement failed in a cached use is ready again afterwards.
    constexpr char kInsert[] = "INSERT INTO t (id, name) VALUES (?, ?)";
    expectFailure(SqliteFailure::Stage::Step, SQLITE_CONSTRAINT,
                  [&] { db.Cached(kInsert)->Bind(1, 1).BindNull(2).Run(); });
    db.Cached(kInsert)->Bind(1, 1).Bind(2, QStringLiteral("a")).Run();
    EXPECT_EQ(db.LastInsertRowId(), 1);
}

TEST_F(SqliteDatabaseTest, WithoutAnErrorMakerALockedFileIsAnAgentErrorThatSaysSo)
{
    SqliteDatabase db(path, 0);
    db.Execute("CREATE TABLE t (x)");
    SqliteDatabase other(path, 0);
    other.Execute("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; INSERT INTO t VALUES (1)");
    try {
        SqliteStatement(db, "SELECT x FROM t").Step();
        ADD_FAILURE() << "read a locked file";
    } catch (const AgentError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("SELECT x FROM t in " + path.toStdString()), std::string::npos) << what;
        EXPECT_NE(what.find("another program holds the database locked"), std::string::npos) << what;
    }
    other.Execute("ROLLBACK");
}

TEST_F(SqliteDatabaseTest, ValuesReadBackAsTheyWereBound)
{
    SqliteDatabase db(path, 0);
    db.Execute("CREATE TABLE t (n, s, b)");
    EXPECT_TRUE(db.HasTable("t"));
    EXPECT_FALSE(db.HasTable("u"));
    EXPECT_TRUE(db.HasColumn("t", "S"));
    EXPECT_FALSE(db.HasColumn("t", "x"));

    const QString text = QStringLiteral("Zo\u00eb \U0001F600");
    SqliteStatement insert(db, "INSERT INTO t VALUES (?, ?, ?)");
    insert.Bind(1, std::int64_t{-1} << 40).Bind(2, text).BindBlob(3, QByteArray("\0\1", 2)).Run();
    insert.BindNull(1).Bind(2, QString()).BindBlob(3, QByteArray()).Run();

    SqliteStatement rows(db, "SELECT n, s, b FROM t ORDER BY rowid");
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Int(0), std::int64_t{-1} << 40);
    EXPECT_EQ(rows.Text(1), text);
    EXPECT_EQ(rows.Utf8(1), text.toUtf8());
    EXPECT_EQ(rows.Blob(2), QByteArray("\0\1", 2));
    ASSERT_TRUE(rows.Step());
    EXPECT_TRUE(rows.IsNull(0));
    EXPECT_EQ(rows.Type(1), SQLITE_TEXT);  // an empty text, not NULL
    EXPECT_TRUE(rows.Text(1).isEmpty());
    EXPECT_EQ(rows.Type(2), SQLITE_BLOB);  // an empty blob, not NULL
    EXPECT_TRUE(rows.Text(0).isNull());
    EXPECT_FALSE(rows.Step());
}

TEST_F(SqliteDatabaseTest, ATransactionKeepsItsChangesOnlyWhenCommitted)
{
    SqliteDatabase db(path, 0);
    db.Execute("CREATE TABLE t (x)");
    {
        SqliteTransaction transaction(db);
        db.Execute("INSERT INTO t VALUES (1)");
    }
    {
        SqliteTransaction transaction(db);
        db.Execute("INSERT INTO t VALUES (2)");
        transaction.Commit();
    }
    SqliteStatement count(db, "SELECT group_concat(x) FROM t");
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.Text(0), QStringLiteral("2"));
}

}  // namespace

namespace {

// A statement that never ends (here a query, in a file a trigger's) is interrupted at the bound,
// through Step and through Execute alike, and the connection serves the next statement.
TEST_F(SqliteDatabaseTest, AStatementPastItsTimeLimitIsInterruptedAndTheConnectionGoesOn)
{
    SqliteDatabase db(path, 0, ThrowOwnerError);
    db.LimitStatementTime(std::chrono::milliseconds(200));
    db.Execute("CREATE TABLE t (x); "
               "CREATE TRIGGER spin AFTER INSERT ON t BEGIN SELECT count(*) FROM "
               "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c); END;");
    const char* endless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c";
    for (const auto& run : std::vector<std::function<void()>>{
             [&] { SqliteStatement(db, endless).Step(); },
             [&] { db.Execute("INSERT INTO t VALUES (1)"); },
         }) {
        try {
            run();
            ADD_FAILURE() << "an endless statement ended";
        } catch (const OwnerError& e) {
            EXPECT_EQ(e.code & 0xFF, SQLITE_INTERRUPT) << e.text;
        }
        SqliteStatement count(db, "SELECT count(*) FROM t");
        ASSERT_TRUE(count.Step());
        EXPECT_EQ(count.Int(0), 0);
    }
}

}  // namespace
