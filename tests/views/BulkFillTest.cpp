// FillRecords builds records in place while the table is frozen; unfrozen it appends row by
// row. Both must leave the very same table behind.
#include "views/Loads.h"

#include "support/DbFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace sqlite3x;
using vdxtest::TempFolder;

namespace {

std::unique_ptr<TRecordTable> MakeTable()
{
    auto t = std::make_unique<TRecordTable>();
    t->AddField("n", ftInteger);
    t->AddField("a", ftString, 8);
    t->AddField("f", ftFloat);
    t->AddField("unused", ftString, 5);
    t->AddField("b", ftString, 4000);
    t->AddField("raw", ftString, 12);
    t->AddField("m", ftInteger);
    return t;
}

// Everything a reader of the table can see.
std::vector<std::string> Snapshot(TRecordTable& t)
{
    std::vector<std::string> out;
    out.push_back("count " + std::to_string(t.GetRecordCount()) + " recno " + std::to_string(t.GetRecNo()) +
                  " state " + std::to_string(static_cast<int>(t.State())) + " bof " + std::to_string(t.AtStart()) +
                  " eof " + std::to_string(t.AtEnd()) + " modified " + std::to_string(t.Modified()));
    auto fields = [&](const TRecord* r) {
        std::string s = r ? "id " + std::to_string(TRecordTable::Identity(r)) : "buffer";
        for (int f = 0; f < t.FieldCount(); ++f) {
            const TRecordField& field = t.Field(f);
            const bool null = r ? t.IsNull(r, field) : t.IsNull(field);
            s += " | " + std::string(null ? "null:" : "") + (r ? t.GetDisplayText(r, field) : t.GetDisplayText(field));
            if (r) s += " bytes " + std::to_string(t.RecordBytes(r));
        }
        return s;
    };
    for (int i = 0; i < t.GetRecordCount(); ++i) out.push_back(fields(t.RecordAt(i)));
    if (t.State() == TTableState::Inserting) out.push_back(fields(nullptr));
    if (t.GetRecordCount() > 0) {
        const TBookmark b = t.TakeBookmark();
        out.push_back("bookmark " + (b ? std::to_string(*b) : std::string("none")));
    }
    return out;
}

class BulkFill : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string sql = "CREATE TABLE t (n INTEGER, a TEXT, f INTEGER, b TEXT, raw TEXT, m INTEGER);\n"
                          "INSERT INTO t VALUES\n"
                          " (1, 'abc', 10, 'Сообщение', '2024-1', 7),\n"
                          " (NULL, NULL, NULL, NULL, NULL, NULL),\n"
                          " (-5, '', 9007199254740993, '', '', 0),\n"
                          " (2, 'ЖжЖжЖжЖжЖж', 1, 'x', 'raw-text-too-long', 1),\n"        // cut after conversion
                          " (3, CAST(X'61006263' AS TEXT), 2, CAST(X'D0960044' AS TEXT), CAST(X'7800' AS TEXT), 2),\n"
                          " (4, CAST(X'C0AF41' AS TEXT), 3, CAST(X'EDA080' AS TEXT), CAST(X'FF' AS TEXT), 3),\n"
                          " (5, 'a😀b', 4, 'F0' || CAST(X'F09F9880' AS TEXT), 'e', 4),\n"
                          " (6, 'z', 5, CAST(X'41424344454647484900' AS TEXT) || 'tail after the zero byte',"
                          "  CAST(X'4142430044454647484A4B4C' AS TEXT), 5);\n"
                          "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 300)\n"
                          "INSERT INTO t SELECT 100 + i, 'r' || i, i, substr(replace(hex(zeroblob(2000)), '0', 'Ё'), 1, "
                          "  1000 + i * 10), 'd', i FROM k;\n";
        vdxtest::ExecSql(file, sql);
        db.open(file.c_str());
    }

    // Loads the rows once per row (unfrozen) and once in bulk (frozen) into fresh tables.
    void Compare(const std::string& select, const std::vector<std::pair<TColumnRead, const char*>>& mapping,
                 bool expectError = false)
    {
        std::vector<std::string> seen[2];
        for (int frozen = 0; frozen < 2; ++frozen) {
            auto t = MakeTable();
            t->OpenTable();
            t->BeginAppend(); // a pending record before the load is posted by it
            t->SetInteger(t->Field(0), 42);
            std::vector<TColumnMapping> columns;
            for (const auto& m : mapping) columns.push_back({m.first, t->LookupField(m.second)});
            sqlite3_command command(db, select);
            if (frozen) t->FreezeControls();
            bool failed = false;
            try {
                FillRecords(command, *t, columns);
            } catch (const std::exception&) {
                failed = true;
            }
            EXPECT_EQ(failed, expectError);
            if (frozen) t->ReleaseControls();
            seen[frozen] = Snapshot(*t);
            // The table goes on as usual after the load: one more record.
            t->BeginAppend();
            t->SetString(t->Field(1), "end");
            t->PostRecord();
            seen[frozen].push_back(t->GetDisplayText(t->Field(1)) + " " + std::to_string(t->GetRecordCount()));
        }
        EXPECT_EQ(seen[1], seen[0]);
    }

    TempFolder temp;
    std::string file = temp.File("bulk.sqlite");
    sqlite3_connection db;
};

using R = TColumnRead;

TEST_F(BulkFill, SameTableAsRowByRow)
{
    Compare("SELECT n, a, f, b, raw, m FROM t",
            {{R::Integer, "n"}, {R::Text, "a"}, {R::Int64, "f"}, {R::Text, "b"}, {R::Text, "raw"}, {R::Integer, "m"}});
}

TEST_F(BulkFill, MappingsTheBulkPathDoesNotTake)
{
    // Strings out of field order, a number read into a string, a field given twice.
    Compare("SELECT b, a, n FROM t", {{R::Text, "b"}, {R::Text, "a"}, {R::Integer, "n"}});
    Compare("SELECT n, a FROM t", {{R::Integer, "a"}, {R::Text, "b"}});
    Compare("SELECT a, b FROM t", {{R::Text, "a"}, {R::Text, "a"}});
}

TEST_F(BulkFill, NoRowsLeaveThePendingRecord)
{
    Compare("SELECT n, a, f, b, raw, m FROM t WHERE 0", {{R::Integer, "n"}, {R::Text, "a"}});
}

TEST_F(BulkFill, ErrorWithinARowLeavesItBeingInserted)
{
    // The third column does not exist: the first row stops there with two values set.
    Compare("SELECT n, a FROM t", {{R::Integer, "n"}, {R::Text, "a"}, {R::Text, "b"}}, true);
    Compare("SELECT n FROM t", {{R::Integer, "m"}, {R::Int64, "f"}}, true);
}

} // namespace
