#include "db/sqlite3x.h"

#include "support/DbFixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

using namespace sqlite3x;
using vdxtest::RawDb;
using vdxtest::TempFolder;

namespace {

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const database_error& e) {
        return e.Message;
    }
    return "(no database_error)";
}

class Sqlite3x : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = temp.File("fixture.sqlite");
        vdxtest::ExecSql(file, R"(
CREATE TABLE t (n INTEGER, big INTEGER, s TEXT);
INSERT INTO t VALUES (1, 1099511627776, 'abc');
INSERT INTO t VALUES (NULL, NULL, NULL);
INSERT INTO t VALUES ('42abc', 9007199254740993, CAST(X'61006200' AS TEXT));
INSERT INTO t VALUES (-7, -9223372036854775808, '');
INSERT INTO t VALUES (3, 5, 2.5);
)");
        db.open(file.c_str());
    }

    TempFolder temp;
    std::string file;
    sqlite3_connection db;
};

TEST_F(Sqlite3x, GettersFollowTheEngineConversions)
{
    auto cmd = std::make_unique<sqlite3_command>(db, "select n, big, s from t order by rowid");
    sqlite3_reader r = cmd->open_reader();

    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_int(0), 1);
    EXPECT_EQ(r.column_int64(1), 1099511627776LL);
    EXPECT_EQ(r.column_text(2), "abc");
    EXPECT_EQ(r.column_text(0), "1"); // a number as text

    ASSERT_TRUE(r.next_row()); // NULLs
    EXPECT_EQ(r.column_int(0), 0);
    EXPECT_EQ(r.column_int64(1), 0);
    EXPECT_EQ(r.column_text(2), "");

    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_int(0), 42); // leading number of a text
    EXPECT_EQ(r.column_int64(1), 9007199254740993LL);
    EXPECT_EQ(r.column_text(2), std::string("a\0b\0", 4)); // every byte, zeros included

    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_int(0), -7);
    EXPECT_EQ(r.column_int64(1), INT64_MIN);
    EXPECT_EQ(r.column_text(2), "");

    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_text(2), "2.5");
    EXPECT_EQ(r.column_int(2), 2);

    EXPECT_FALSE(r.next_row());
}

TEST_F(Sqlite3x, IndexPastLastColumnIsOutOfRange)
{
    sqlite3_command cmd(db, std::string("select n, s from t"));
    sqlite3_reader r = cmd.open_reader();
    ASSERT_TRUE(r.next_row());
    for (int i : {2, 3, 1000}) {
        try {
            r.column_text(i);
            ADD_FAILURE() << "index " << i << " accepted";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "index out of range");
        }
        EXPECT_THROW(r.column_int(i), std::out_of_range);
        EXPECT_THROW(r.column_int64(i), std::out_of_range);
    }
    EXPECT_EQ(r.column_int(1 - 0), 0); // last column is fine ('abc' -> 0)

    // A statement without result columns rejects index 0.
    sqlite3_command none(db, "PRAGMA temp_store=MEMORY;");
    sqlite3_reader rn = none.open_reader();
    EXPECT_THROW(rn.column_int(0), std::out_of_range);
}

TEST_F(Sqlite3x, ClosedReader)
{
    sqlite3_command cmd(db, "select n from t");
    sqlite3_reader r = cmd.open_reader();
    ASSERT_TRUE(r.next_row());
    r.close();
    r.close(); // harmless
    EXPECT_EQ(MessageOf([&] { r.next_row(); }), "reader is closed");
    EXPECT_EQ(MessageOf([&] { r.column_int(0); }), "reader is closed");
    EXPECT_EQ(MessageOf([&] { r.column_int64(0); }), "reader is closed");
    // The closed check comes before the index check.
    EXPECT_EQ(MessageOf([&] { r.column_text(99); }), "reader is closed");
    sqlite3_reader never;
    EXPECT_EQ(MessageOf([&] { never.next_row(); }), "reader is closed");
}

TEST_F(Sqlite3x, StatementIsResetOnlyWhenTheLastReaderCloses)
{
    sqlite3_command cmd(db, "select rowid from t order by rowid");
    sqlite3_reader a = cmd.open_reader();
    sqlite3_reader b = cmd.open_reader();
    ASSERT_TRUE(a.next_row());
    EXPECT_EQ(a.column_int(0), 1);
    ASSERT_TRUE(b.next_row()); // one statement: b goes on where a stopped
    EXPECT_EQ(b.column_int(0), 2);
    a.close();
    ASSERT_TRUE(b.next_row()); // not reset yet
    EXPECT_EQ(b.column_int(0), 3);

    sqlite3_reader c = b; // a copy counts as a reader too
    b.close();
    ASSERT_TRUE(c.next_row());
    EXPECT_EQ(c.column_int(0), 4);
    c.close(); // last one: reset

    sqlite3_reader d = cmd.open_reader();
    ASSERT_TRUE(d.next_row());
    EXPECT_EQ(d.column_int(0), 1);
    sqlite3_reader e = std::move(d); // a move hands the place over
    ASSERT_TRUE(e.next_row());
    EXPECT_EQ(e.column_int(0), 2);
    EXPECT_EQ(MessageOf([&] { d.next_row(); }), "reader is closed");
}

// Every copy counts as a reader: assigned over a reader of another command, over one of
// the same command, or over itself, the statement is reset only when the last one closes.
TEST_F(Sqlite3x, CopiesCountAsReaders)
{
    sqlite3_command cmd(db, "select rowid from t order by rowid");
    sqlite3_command other(db, "select rowid from t order by rowid");
    sqlite3_reader a = cmd.open_reader();
    ASSERT_TRUE(a.next_row());
    sqlite3_reader o = other.open_reader();
    ASSERT_TRUE(o.next_row());
    ASSERT_TRUE(o.next_row());
    o = a; // leaves `other`, its last reader: reset there
    sqlite3_reader fresh = other.open_reader();
    ASSERT_TRUE(fresh.next_row());
    EXPECT_EQ(fresh.column_int(0), 1);
    fresh.close();

    sqlite3_reader b = cmd.open_reader();
    b = a;                 // same command: three readers still, then two
    sqlite3_reader& self = b;
    b = self;              // nothing changes
    a.close();
    o.close();
    ASSERT_TRUE(b.next_row()); // the last one left goes on where the others stopped
    EXPECT_EQ(b.column_int(0), 2);
    b.close();
    sqlite3_reader again = cmd.open_reader();
    ASSERT_TRUE(again.next_row());
    EXPECT_EQ(again.column_int(0), 1);
}

TEST_F(Sqlite3x, QueryWithoutRowsAndRerunAfterClose)
{
    sqlite3_command cmd(db, "select n from t where rowid > 1000");
    {
        sqlite3_reader r = cmd.open_reader();
        EXPECT_FALSE(r.next_row());
    }
    sqlite3_reader r = cmd.open_reader();
    EXPECT_FALSE(r.next_row());
}

TEST_F(Sqlite3x, OnlyTheFirstStatementOfATextRuns)
{
    {
        sqlite3_command cmd(db, "select 1; select 2");
        sqlite3_reader r = cmd.open_reader();
        ASSERT_TRUE(r.next_row());
        EXPECT_EQ(r.column_int(0), 1);
        EXPECT_FALSE(r.next_row());
    }
    db.execute("CREATE TABLE a (x); CREATE TABLE b (x);");
    sqlite3_command names(db, std::string("select group_concat(name) from sqlite_master where name in ('a','b')"));
    sqlite3_reader r = names.open_reader();
    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_text(0), "a");
}

TEST_F(Sqlite3x, PrepareErrorsCarryTheEngineMessageUnconverted)
{
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(db, "select * from v_vdx_dup_file"); }),
              "no such table: v_vdx_dup_file");
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(db, std::string("select nope from t")); }), "no such column: nope");
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(db, "select * from таблица"); }), "no such table: таблица");
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(db, "selec 1"); }), "near \"selec\": syntax error");
    // The layer's errors are the program's Exception.
    try {
        sqlite3_command c(db, "select * from missing");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "no such table: missing");
    }
}

TEST_F(Sqlite3x, FailedStepReportsTheRealCause)
{
    sqlite3_command cmd(db, "select abs(-9223372036854775807 - 1)");
    sqlite3_reader r = cmd.open_reader();
    EXPECT_EQ(MessageOf([&] { r.next_row(); }), "integer overflow");
}

TEST_F(Sqlite3x, ExecuteDiscardsARowAndNeedsAnOpenConnection)
{
    db.execute("PRAGMA page_size=4096;");
    db.execute("PRAGMA temp_store=MEMORY;");
    sqlite3_command cmd(db, "select n from t");
    cmd.execute();
    cmd.execute(); // the statement was reset and runs again
    sqlite3_connection closed;
    EXPECT_EQ(MessageOf([&] { closed.execute("PRAGMA temp_store=MEMORY;"); }), "database is not open");
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(closed, "select 1"); }), "database is not open");
}

TEST(Sqlite3xOpen, MissingFileIsCreatedMissingFolderFails)
{
    TempFolder temp;
    const std::string file = temp.File("new.sqlite");
    {
        sqlite3_connection db;
        db.open(file.c_str());
        db.execute("PRAGMA page_size=4096;");
        db.execute("PRAGMA temp_store=MEMORY;");
        EXPECT_EQ(MessageOf([&] { sqlite3_command c(db, "select id from vdx_log"); }), "no such table: vdx_log");
    }
    EXPECT_TRUE(std::filesystem::exists(file));

    sqlite3_connection db;
    const std::string nowhere = temp.File("no-such-folder/Vandrix.sqlite");
    EXPECT_EQ(MessageOf([&] { db.open(nowhere.c_str()); }), "unable to open database");
    EXPECT_FALSE(std::filesystem::exists(temp.File("no-such-folder")));
    // The engine leaves a handle behind even so; the connection keeps it, unusable, and its
    // destructor closes it (the leak checker of the sanitizer build sees one left open).
    ASSERT_NE(db.handle, nullptr);
    EXPECT_STREQ(sqlite3_errmsg(db.handle), "unable to open database file");
}

TEST(Sqlite3xOpen, FileThatIsNotADatabase)
{
    TempFolder temp;
    const std::string file = temp.File("junk.sqlite");
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("This is plainly not an SQLite database file; it is only text, long enough for a header.\n", f);
        std::fclose(f);
    }
    sqlite3_connection db;
    db.open(file.c_str());
    // Setting these pragmas reads nothing; the first query is what finds out.
    db.execute("PRAGMA page_size=4096;");
    db.execute("PRAGMA temp_store=MEMORY;");
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(db, "select * from v_vdx_dup_file"); }), "file is not a database");
}

TEST(Sqlite3xLocking, LockedDatabaseFailsAtOnce)
{
    TempFolder temp;
    const std::string file = temp.File("locked.sqlite");
    vdxtest::ExecSql(file, "CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (1), (2);");

    sqlite3_connection early; // schema read before the lock: the step is what fails
    early.open(file.c_str());
    sqlite3_command prepared(early, "select n from t");

    RawDb other(file);
    other.Exec("BEGIN EXCLUSIVE;");

    const auto start = std::chrono::steady_clock::now();
    sqlite3_connection late;
    late.open(file.c_str());
    EXPECT_EQ(MessageOf([&] { sqlite3_command c(late, "select n from t"); }), "database is locked");
    {
        sqlite3_reader r = prepared.open_reader();
        EXPECT_EQ(MessageOf([&] { r.next_row(); }), "database is locked");
    }
    // No busy handler: nothing waited for the lock.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    other.Exec("COMMIT;");
    sqlite3_reader r = prepared.open_reader();
    ASSERT_TRUE(r.next_row());
    EXPECT_EQ(r.column_int(0), 1);
}

// Another connection (the client) changes the schema after ours last read it.
TEST(Sqlite3xSchema, ChangedSchemaIsReadAgainAndAMissingViewIsNamed)
{
    TempFolder temp;
    const std::string file = temp.File("schema.sqlite");
    vdxtest::ExecSql(file, "CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (1);"
                           "CREATE VIEW v AS SELECT n FROM t;");
    sqlite3_connection db;
    db.open(file.c_str());
    auto count = [&] {
        sqlite3_command c(db, "select n from v");
        sqlite3_reader r = c.open_reader();
        int rows = 0;
        while (r.next_row())
            ++rows;
        return rows;
    };
    EXPECT_EQ(count(), 1);

    // An unrelated change of the schema: the query still works on the first try.
    vdxtest::ExecSql(file, "CREATE TABLE other (x); INSERT INTO t VALUES (2);");
    EXPECT_EQ(count(), 2);

    // The view dropped: the message names it, not "database schema has changed".
    vdxtest::ExecSql(file, "DROP VIEW v;");
    EXPECT_EQ(MessageOf([&] { count(); }), "no such table: v");

    // Back again: the next try works.
    vdxtest::ExecSql(file, "CREATE VIEW v AS SELECT n FROM t;");
    EXPECT_EQ(count(), 2);
}

} // namespace
