#include "views/Guards.h"
#include "views/Loads.h"
#include "views/Tables.h"

#include "db/TextConv.h"
#include "platform/Cp1251.h"
#include "support/DbFixture.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace sqlite3x;
using vdxtest::TempFolder;

namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        q += c;
        if (c == '\'')
            q += '\'';
    }
    return q + "'";
}

std::string Repeat(const std::string& s, int n)
{
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

// Records every cursor the loads set, starting from a non-default cursor.
class CursorSpy {
public:
    CursorSpy()
    {
        SetScreenCursorHooks({[this] { return shown; }, [this](TCursor c) {
                                  sets.push_back(c);
                                  shown = c;
                              }});
    }
    ~CursorSpy() { SetScreenCursorHooks({}); }
    TCursor shown = crArrow;
    std::vector<TCursor> sets;
};

// Counts what the table tells an attached view.
class LinkSpy : public TDataLink {
public:
    explicit LinkSpy(TRecordTable& t) : table(t) { table.Attach(this); }
    ~LinkSpy() override { table.Detach(this); }
    void DataEvent(TDataEvent event, const TRecordField*) override
    {
        events.push_back(event);
        if (event == TDataEvent::DataSetChange)
            frozenAtChange.push_back(table.FreezeCount());
    }
    int Count(TDataEvent e) const
    {
        int n = 0;
        for (auto x : events)
            n += x == e;
        return n;
    }
    TRecordTable& table;
    std::vector<TDataEvent> events;
    std::vector<int> frozenAtChange;
};

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "(no Exception)";
}

class Views : public ::testing::Test {
protected:
    void Open(const std::string& sql)
    {
        vdxtest::ExecSql(file, sql);
        db.open(file.c_str());
    }
    std::vector<std::string> Column(TRecordTable& t, const char* name)
    {
        std::vector<std::string> out;
        const TRecordField& f = FieldByName(t, name);
        for (int i = 0; i < t.GetRecordCount(); ++i)
            out.emplace_back(t.GetString(t.RecordAt(i), f));
        return out;
    }

    TempFolder temp;
    std::string file = temp.File("main.sqlite");
    sqlite3_connection db;
};

const char* const kDupSchema = R"(
CREATE TABLE dup (tth_id INTEGER, cnt_dup INTEGER, path_1 TEXT, path_2 TEXT, name_max TEXT, name_min TEXT);
CREATE VIEW v_vdx_dup_file AS SELECT * FROM dup;
)";

TEST(Statements, ExactTexts)
{
    EXPECT_STREQ(kDuplicatesStatement,
                 "SELECT tth_id,cnt_dup,path_1,path_2,name_max,name_min from v_vdx_dup_file where name_max not "
                 "like 'V%_%.VOB'\nand name_max not like 'V%_%.IFO' and name_max not like 'V%_%.BUP'");
    EXPECT_EQ(RatioStatement(false),
              "select id,upload,download,userip,nick,hub from v_vdx_ratio where download > 0 or upload > 0");
    EXPECT_EQ(RatioStatement(true), "select id,upload,download,userip,nick,hub from v_vdx_ratio");
    for (const char* limit : {"100", "1000", "10000"})
        EXPECT_EQ(LogStatement(limit), std::string("select id,file,sdate,body,nick from vdx_log  limit ") + limit);
    EXPECT_EQ(LogStatement(A("Все")), "select id,file,sdate,body,nick from vdx_log ");
    // Only the 1251 bytes of "Все" mean all rows.
    EXPECT_EQ(LogStatement("Все"), "select id,file,sdate,body,nick from vdx_log  limit Все");
}

TEST(Tables, DesignedFields)
{
    auto dup = MakeDupTable();
    auto ratio = MakeRatioTable();
    auto log = MakeLogTable();
    const struct {
        TRecordTable* table;
        const char* name;
        TFieldType kind;
        int size;
    } fields[] = {
        {dup.get(), "tth_id", ftInteger, 0},    {dup.get(), "cnt_dup", ftInteger, 0},
        {dup.get(), "path_1", ftString, 4000},  {dup.get(), "path_2", ftString, 4000},
        {dup.get(), "name_max", ftString, 256}, {dup.get(), "name_min", ftString, 256},
        {ratio.get(), "ID", ftInteger, 0},      {ratio.get(), "upload", ftFloat, 0},
        {ratio.get(), "download", ftFloat, 0},  {ratio.get(), "userip", ftString, 45},
        {ratio.get(), "nick", ftString, 100},   {ratio.get(), "hub", ftString, 100},
        {log.get(), "ID", ftInteger, 0},        {log.get(), "file", ftString, 256},
        {log.get(), "sdate", ftString, 40},     {log.get(), "body", ftString, 1000},
        {log.get(), "nick", ftString, 50},
    };
    int index[3] = {0, 0, 0};
    for (const auto& f : fields) {
        const int t = f.table == dup.get() ? 0 : f.table == ratio.get() ? 1 : 2;
        const TRecordField& field = f.table->Field(index[t]++);
        EXPECT_EQ(field.FieldName, f.name);
        EXPECT_EQ(field.Kind, f.kind) << f.name;
        if (f.kind == ftString) {
            EXPECT_EQ(field.Size, f.size) << f.name;
        }
    }
    EXPECT_EQ(dup->FieldCount(), 6);
    EXPECT_EQ(ratio->FieldCount(), 6);
    EXPECT_EQ(log->FieldCount(), 5);
    EXPECT_EQ(ratio->Field(0).DisplayName(), "id");
    EXPECT_EQ(log->Field(0).DisplayName(), "ID");
    EXPECT_EQ(FieldByName(*log, "body").DisplayWidth, 10000);
    EXPECT_EQ(FieldByName(*log, "nick").DisplayWidth, 100);
    EXPECT_EQ(FieldByName(*log, "file").DisplayWidth, 256);
    EXPECT_EQ(log->EditBufferSize(), 1359);
    EXPECT_FALSE(dup->Active());
    EXPECT_EQ(MessageOf([&] { FieldByName(*log, "sdate2"); }), "Field 'sdate2' not found");
}

TEST_F(Views, DuplicatesLeaveOutVideoDvdFilesByLikeRules)
{
    std::string sql = kDupSchema;
    const struct {
        const char* name;
        bool shown;
    } names[] = {
        {"VTS_01_1.VOB", false}, {"VIDEO_TS.IFO", false}, {"vts_02_0.bup", false},
        {"v1.ifo", false},       {"VX.Bup", false},       {"V_%.VOB", false},
        {"V.VOB", true},         {"Movie.VOB", true},     {"VTS_01_1.VOB.txt", true},
        {"AUDIO_TS.IFO", true},  {"VTS_01_1.MKV", true},  {"ВИДЕО.VOB", true},
    };
    int id = 1;
    for (const auto& n : names)
        sql += "INSERT INTO dup VALUES (" + std::to_string(id++) + ", 2, 'C:\\a\\', 'D:\\b\\', " + Quote(n.name) +
               ", 'x');\n";
    sql += "INSERT INTO dup VALUES (100, 2, 'p', 'q', NULL, 'only min');\n";
    sql += "INSERT INTO dup VALUES (101, 3, 'p', 'q', 'only max.avi', NULL);\n";
    Open(sql);

    auto table = MakeDupTable();
    CursorSpy cursor;
    LoadDuplicates(db, *table);

    std::vector<std::string> expected;
    for (const auto& n : names)
        if (n.shown)
            expected.push_back(A(n.name));
    expected.push_back("only max.avi");
    EXPECT_EQ(Column(*table, "name_max"), expected);

    const TRecordField& nameMin = FieldByName(*table, "name_min");
    EXPECT_TRUE(table->IsNull(table->RecordAt(table->GetRecordCount() - 1), nameMin));
    EXPECT_EQ(table->GetInteger(FieldByName(*table, "cnt_dup")), 3); // the last record is current
    EXPECT_EQ(table->CurrentPosition(), table->GetRecordCount() - 1);
    EXPECT_EQ(cursor.sets, (std::vector<TCursor>{crHourGlass, crArrow}));
    EXPECT_EQ(table->FreezeCount(), 0);
}

TEST_F(Views, NullsPerKindAndTotalsBeyond2To53)
{
    Open(R"(
CREATE TABLE r (id INTEGER, upload INTEGER, download INTEGER, userip TEXT, nick TEXT, hub TEXT);
CREATE VIEW v_vdx_ratio AS SELECT * FROM r;
INSERT INTO r VALUES (NULL, NULL, 7, NULL, NULL, NULL);
INSERT INTO r VALUES (2, 9007199254740993, 9223372036854775807, '', 'n', 'h');
INSERT INTO r VALUES (3, -5, 0, '1.2.3.4', 'n', 'h');
)");
    auto t = MakeRatioTable();
    LoadRatio(db, *t, true);
    ASSERT_EQ(t->GetRecordCount(), 3);
    const TRecordField& id = FieldByName(*t, "ID");
    const TRecordField& up = FieldByName(*t, "upload");
    const TRecordField& down = FieldByName(*t, "download");
    const TRecordField& ip = FieldByName(*t, "userip");

    const TRecord* r0 = t->RecordAt(0);
    EXPECT_FALSE(t->IsNull(r0, id)); // NULL numbers are stored as 0
    EXPECT_EQ(t->GetInteger(r0, id), 0);
    EXPECT_FALSE(t->IsNull(r0, up));
    EXPECT_EQ(t->GetFloat(r0, up), 0.0);
    EXPECT_TRUE(t->IsNull(r0, ip)); // NULL text: empty, which reads as null
    EXPECT_TRUE(t->IsNull(r0, FieldByName(*t, "nick")));

    const TRecord* r1 = t->RecordAt(1);
    EXPECT_EQ(t->GetFloat(r1, up), 9007199254740992.0);
    EXPECT_EQ(t->GetFloat(r1, down), 9223372036854775808.0);
    EXPECT_TRUE(t->IsNull(r1, ip));
    EXPECT_EQ(t->GetFloat(t->RecordAt(2), up), -5.0);
}

TEST_F(Views, RatioConditionUnlessShowAll)
{
    Open(R"(
CREATE TABLE r (id INTEGER, upload INTEGER, download INTEGER, userip TEXT, nick TEXT, hub TEXT);
CREATE VIEW v_vdx_ratio AS SELECT * FROM r;
INSERT INTO r VALUES (1, 0, 0, 'a', 'none', 'h');
INSERT INTO r VALUES (2, 0, 500, 'a', 'down', 'h');
INSERT INTO r VALUES (3, 7, NULL, 'a', 'up', 'h');
INSERT INTO r VALUES (4, NULL, NULL, 'a', 'nulls', 'h');
)");
    auto t = MakeRatioTable();
    CursorSpy cursor;
    LoadRatio(db, *t, false);
    EXPECT_EQ(Column(*t, "nick"), (std::vector<std::string>{"down", "up"}));
    LoadRatio(db, *t, true); // a reload replaces the records
    EXPECT_EQ(Column(*t, "nick"), (std::vector<std::string>{"none", "down", "up", "nulls"}));
    EXPECT_EQ(cursor.sets, (std::vector<TCursor>{crHourGlass, crArrow, crHourGlass, crArrow}));
}

TEST_F(Views, TextIsCutToTheFieldAfterConversion)
{
    const std::string cyr3000 = Repeat("Ж", 3000);   // 6000 bytes of UTF-8, 3000 in 1251
    const std::string cyr4001 = Repeat("ё", 4001);
    const std::string ipv6 = "0000:0000:0000:0000:0000:ffff:255.255.255.255";
    Open(std::string(kDupSchema) +
         "INSERT INTO dup VALUES (1, 2, " + Quote(cyr3000) + ", " + Quote(cyr4001) + ", " +
         Quote(Repeat("я", 257)) + ", CAST(X'61626300646566' AS TEXT));\n"
         "CREATE TABLE r (id INTEGER, upload INTEGER, download INTEGER, userip TEXT, nick TEXT, hub TEXT);\n"
         "CREATE VIEW v_vdx_ratio AS SELECT * FROM r;\n"
         "INSERT INTO r VALUES (1, 1, 1, " + Quote(ipv6) + ", " + Quote(Repeat("н", 101)) + ", " +
         Quote(Repeat("h", 100)) + ");\n"
         "INSERT INTO r VALUES (2, 1, 1, " + Quote(ipv6 + "0") + ", 'x', 'y');\n");

    auto dup = MakeDupTable();
    LoadDuplicates(db, *dup);
    ASSERT_EQ(dup->GetRecordCount(), 1);
    EXPECT_EQ(dup->GetString(FieldByName(*dup, "path_1")), A(cyr3000)); // fits once converted
    EXPECT_EQ(dup->GetString(FieldByName(*dup, "path_2")), A(Repeat("ё", 4000)));
    EXPECT_EQ(dup->GetString(FieldByName(*dup, "name_max")), A(Repeat("я", 256)));
    EXPECT_EQ(dup->GetString(FieldByName(*dup, "name_min")), "abc"); // cut at the zero byte

    auto ratio = MakeRatioTable();
    LoadRatio(db, *ratio, false);
    ASSERT_EQ(ratio->GetRecordCount(), 2);
    EXPECT_EQ(Column(*ratio, "userip"), (std::vector<std::string>{ipv6, ipv6})); // whole, then cut to 45
    EXPECT_EQ(ratio->GetString(ratio->RecordAt(0), FieldByName(*ratio, "nick")), A(Repeat("н", 100)));
    EXPECT_EQ(ratio->GetString(ratio->RecordAt(0), FieldByName(*ratio, "hub")), Repeat("h", 100));
}

class LogView : public Views {
protected:
    void SetUp() override
    {
        std::string sql = "CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT);\n"
                          "BEGIN;\n";
        for (int i = 1; i <= 150; ++i)
            sql += "INSERT INTO vdx_log VALUES (" + std::to_string(i) + ", 'Файл " + std::to_string(i) +
                   "', '2024-01-01 00:00:" + std::to_string(i % 60) + "', 'Сообщение', 'Ник');\n";
        sql += "COMMIT;\n";
        Open(sql);
    }
};

TEST_F(LogView, LimitAndAll)
{
    auto t = MakeLogTable();
    CursorSpy cursor;
    const TRecordField& id = FieldByName(*t, "ID");
    const struct {
        AnsiString limit;
        int rows;
    } cases[] = {{"100", 100}, {A("Все"), 150}, {"1000", 150}, {"10000", 150}, {"100", 100}};
    for (const auto& c : cases) {
        LoadLog(db, *t, c.limit);
        ASSERT_EQ(t->GetRecordCount(), c.rows) << c.limit;
        for (int i = 0; i < c.rows; ++i)
            ASSERT_EQ(t->GetInteger(t->RecordAt(i), id), i + 1);
    }
    EXPECT_EQ(t->GetString(t->RecordAt(0), FieldByName(*t, "file")), A("Файл 1"));
    EXPECT_TRUE(cursor.sets.empty()); // no hourglass for the log
}

// The date is converted and cut like every other text: a client may write a weekday or
// month name into it.
TEST_F(Views, LogDateIsConvertedLikeTheOtherTexts)
{
    const std::string date = "2026-12-02 11:00 Пн";
    Open("CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT);\n"
         "INSERT INTO vdx_log VALUES (1, " + Quote(Repeat("ф", 257)) + ", " + Quote(date) + ", " +
         Quote(Repeat("б", 1001)) + ", " + Quote(Repeat("н", 51)) + ");\n"
         "INSERT INTO vdx_log VALUES (2, NULL, " + Quote(Repeat("ж", 41)) + ", NULL, NULL);\n"
         "INSERT INTO vdx_log VALUES (3, NULL, '2026-12-02 11:00:59', NULL, NULL);\n"
         "INSERT INTO vdx_log VALUES (4, NULL, " + Quote(Repeat("z", 38) + "é😀ж") + ", NULL, NULL);\n");
    auto t = MakeLogTable();
    for (bool frozen : {false, true}) {
        if (frozen) t->FreezeControls();
        LoadLog(db, *t, A("Все"));
        if (frozen) t->ReleaseControls();
        ASSERT_EQ(t->GetRecordCount(), 4);
        const TRecordField& sdate = FieldByName(*t, "sdate");
        const TRecord* r = t->RecordAt(0);
        EXPECT_EQ(t->GetString(r, sdate), A(date));
        EXPECT_EQ(t->GetString(r, FieldByName(*t, "file")), A(Repeat("ф", 256)));
        EXPECT_EQ(t->GetString(r, FieldByName(*t, "body")), A(Repeat("б", 1000)));
        EXPECT_EQ(t->GetString(r, FieldByName(*t, "nick")), A(Repeat("н", 50)));
        // Cut by characters after the conversion, never inside one.
        EXPECT_EQ(t->GetString(t->RecordAt(1), sdate), A(Repeat("ж", 40)));
        EXPECT_TRUE(t->IsNull(t->RecordAt(1), FieldByName(*t, "body")));
        EXPECT_EQ(t->GetString(t->RecordAt(2), sdate), "2026-12-02 11:00:59"); // ASCII byte for byte
        EXPECT_EQ(t->GetString(t->RecordAt(3), sdate), Repeat("z", 38) + "e?");
    }
}

// A text far longer than its field costs only what the field keeps, and is kept exactly as
// the whole text's conversion would be cut: characters of every length straddle the place
// where the conversion stops looking, with a zero byte and bad bytes past it.
TEST_F(Views, HugeTextsCostTheirStoredSize)
{
    const std::string pieces[] = {"a", "ж", "€", "😀", "\xC3", "\xE2\x82", "\xF0\x9F\x98"};
    std::vector<std::string> bodies, expected;
    for (size_t i = 0; i < 40; ++i) {
        // Mostly four-byte characters up to the field's last one, which is any of the pieces.
        std::string body(i % 4, 'x');
        for (int k = 0; k < 996; ++k) body += "😀";
        for (size_t k = 0; body.size() < 2000000; ++k) body += pieces[(i + k * 3) % 7];
        body[4200 + i * 10] = '\0';
        bodies.push_back(body);
        std::string whole = utf8_to_ansi(body);
        expected.push_back(whole.substr(0, std::min(whole.find('\0'), size_t(1000))));
    }
    auto t = MakeLogTable();
    const std::string file = temp.File("huge.sqlite");
    {
        vdxtest::RawDb w(file);
        w.Exec("CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT); BEGIN;");
        sqlite3_stmt* insert = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(w.Handle(), "INSERT INTO vdx_log VALUES (NULL, 'f', 'd', ?, 'n')", -1, &insert,
                                     nullptr),
                  SQLITE_OK);
        for (const std::string& body : bodies) {
            sqlite3_bind_text(insert, 1, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
            ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        w.Exec("COMMIT;");
    }
    sqlite3_connection c;
    c.open(file.c_str());
    for (bool frozen : {false, true}) {
        if (frozen) t->FreezeControls();
        LoadLog(c, *t, A("Все"));
        if (frozen) t->ReleaseControls();
        ASSERT_EQ(t->GetRecordCount(), 40);
        const TRecordField& body = FieldByName(*t, "body");
        size_t stored = 0;
        for (int i = 0; i < 40; ++i) {
            ASSERT_EQ(t->GetString(t->RecordAt(i), body), expected[static_cast<size_t>(i)])
                << i << (frozen ? " bulk" : " row by row");
            stored += t->RecordBytes(t->RecordAt(i));
        }
        EXPECT_LT(t->StorageBytes(), stored + 128 * 1024) << (frozen ? "bulk" : "row by row");
    }
}

TEST_F(Views, EmptyResultsLeaveTheTableOpenAndEmpty)
{
    Open(std::string(kDupSchema) +
         "CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT);\n"
         "CREATE TABLE r (id INTEGER, upload INTEGER, download INTEGER, userip TEXT, nick TEXT, hub TEXT);\n"
         "CREATE VIEW v_vdx_ratio AS SELECT * FROM r;\n");
    auto dup = MakeDupTable();
    auto ratio = MakeRatioTable();
    auto log = MakeLogTable();
    CursorSpy cursor;
    LoadDuplicates(db, *dup);
    LoadRatio(db, *ratio, false);
    LoadLog(db, *log, "100");
    for (TRecordTable* t : {dup.get(), ratio.get(), log.get()}) {
        EXPECT_TRUE(t->Active());
        EXPECT_EQ(t->GetRecordCount(), 0);
        EXPECT_EQ(t->FreezeCount(), 0);
    }
    EXPECT_EQ(cursor.shown, crArrow);
}

// What a view attached to the table hears during each load, with the cursor and the
// freeze count at that moment: the order of the guards and the table calls, and a second,
// longer load ending on its own last record (a position guard made before CloseTable would
// go back to the first load's last one).
class OrderSpy : public TDataLink {
public:
    OrderSpy(TRecordTable& t, const CursorSpy& c) : table(t), cursor(c) { table.Attach(this); }
    ~OrderSpy() override { table.Detach(this); }
    void DataEvent(TDataEvent event, const TRecordField*) override
    {
        static const char* const names[] = {"Opened", "Closed", "StateChange", "DataSetChange", "RecordChange",
                                            "FieldChange"};
        heard.push_back(std::string(names[static_cast<int>(event)]) +
                        (cursor.shown == crHourGlass ? " hourglass" : "") +
                        (table.FreezeCount() ? " frozen" : ""));
    }
    TRecordTable& table;
    const CursorSpy& cursor;
    std::vector<std::string> heard;
};

TEST_F(Views, EachLoadCallsGuardsAndTableInItsOrder)
{
    std::string sql = std::string(kDupSchema) +
                      "INSERT INTO dup VALUES (1, 2, 'a', 'b', 'n1', 'm');\n"
                      "INSERT INTO dup VALUES (2, 2, 'a', 'b', 'n2', 'm');\n"
                      "CREATE TABLE r (id INTEGER, upload INTEGER, download INTEGER, userip TEXT, nick TEXT, hub TEXT);\n"
                      "CREATE VIEW v_vdx_ratio AS SELECT * FROM r;\n"
                      "CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT);\n";
    for (int i = 1; i <= 5; ++i) {
        sql += "INSERT INTO r VALUES (" + std::to_string(i) + ", " + std::to_string(i > 2) + ", 0, 'ip', 'n', 'h');\n";
        sql += "INSERT INTO vdx_log VALUES (" + std::to_string(i) + ", 'f', 'd', 'b', 'n');\n";
    }
    Open(sql);
    CursorSpy cursor;
    {
        auto dup = MakeDupTable();
        OrderSpy spy(*dup, cursor);
        LoadDuplicates(db, *dup);
        // Opened before the hourglass shows, released while it still does.
        EXPECT_EQ(spy.heard, (std::vector<std::string>{"Opened", "DataSetChange hourglass"}));
        EXPECT_EQ(dup->CurrentPosition(), 1);
    }
    auto ratio = MakeRatioTable();
    auto log = MakeLogTable();
    LoadRatio(db, *ratio, false);
    LoadLog(db, *log, "3");
    OrderSpy ratioSpy(*ratio, cursor), logSpy(*log, cursor);
    cursor.sets.clear();
    LoadRatio(db, *ratio, true);
    EXPECT_EQ(ratioSpy.heard, (std::vector<std::string>{"Closed hourglass", "Opened hourglass", "DataSetChange hourglass"}));
    EXPECT_EQ(ratio->GetRecordCount(), 5);
    EXPECT_EQ(ratio->CurrentPosition(), 4);
    LoadLog(db, *log, A("Все"));
    EXPECT_EQ(logSpy.heard, (std::vector<std::string>{"Closed", "Opened", "DataSetChange"}));
    EXPECT_EQ(log->GetRecordCount(), 5);
    EXPECT_EQ(log->CurrentPosition(), 4);
    EXPECT_EQ(cursor.sets, (std::vector<TCursor>{crHourGlass, crArrow})); // the statistics load's only
}

TEST(FailedLoads, LeaveRecordsSoFarOpenTableCursorAndNoFreeze)
{
    // "abs" of the smallest integer overflows: the third row of such a view fails to step.
    const char* dupOverflow = R"(
CREATE TABLE d (t INTEGER, name TEXT);
INSERT INTO d VALUES (1, 'a.mp3'), (2, 'b.mp3'), (-9223372036854775808, 'c.mp3'), (4, 'd.mp3');
CREATE VIEW v_vdx_dup_file AS SELECT abs(t) AS tth_id, 2 AS cnt_dup, 'p' AS path_1, 'q' AS path_2,
  name AS name_max, name AS name_min FROM d;)";
    const char* ratioOverflow = R"(
CREATE TABLE r (id INTEGER, upload INTEGER);
INSERT INTO r VALUES (1, 5), (2, 6), (3, -9223372036854775808), (4, 8);
CREATE VIEW v_vdx_ratio AS SELECT id, abs(upload) AS upload, 1 AS download, 'ip' AS userip, 'n' AS nick,
  'h' AS hub FROM r;)";
    const char* logOverflow = R"(
CREATE TABLE l (id INTEGER);
INSERT INTO l VALUES (1), (2), (-9223372036854775808), (4);
CREATE VIEW vdx_log AS SELECT abs(id) AS id, 'f' AS file, 'd' AS sdate, 'b' AS body, 'n' AS nick FROM l;)";

    enum Load { Dup, Ratio, Log };
    const struct {
        const char* what;
        Load load;
        const char* sql;
        const char* message;
        int records;
    } cases[] = {
        {"duplicates: no view", Dup, "CREATE TABLE x (a);", "no such table: v_vdx_dup_file", 0},
        {"duplicates: no column", Dup, "CREATE VIEW v_vdx_dup_file AS SELECT 1 AS tth_id, 2 AS cnt_dup, 'a' AS path_1,"
                                       " 'b' AS path_2, 'c' AS name_max;", "no such column: name_min", 0},
        {"duplicates: step fails", Dup, dupOverflow, "integer overflow", 2},
        {"statistics: no view", Ratio, "CREATE TABLE x (a);", "no such table: v_vdx_ratio", 0},
        {"statistics: no column", Ratio, "CREATE VIEW v_vdx_ratio AS SELECT 1 AS id, 1 AS upload, 1 AS download,"
                                         " 'a' AS userip, 'n' AS nick;", "no such column: hub", 0},
        {"statistics: step fails", Ratio, ratioOverflow, "integer overflow", 2},
        {"log: no table", Log, "CREATE TABLE x (a);", "no such table: vdx_log", 0},
        {"log: no column", Log, "CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file, sdate, body);",
         "no such column: nick", 0},
        {"log: step fails", Log, logOverflow, "integer overflow", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        const std::string file = temp.File("db.sqlite");
        vdxtest::ExecSql(file, c.sql);
        sqlite3_connection db;
        db.open(file.c_str());

        auto table = c.load == Dup ? MakeDupTable() : c.load == Ratio ? MakeRatioTable() : MakeLogTable();
        if (c.load != Dup) { // a previous load's records must go even when this one fails
            table->OpenTable();
            table->BeginAppend();
            table->SetInteger(table->Field(0), 99);
            table->PostRecord();
        }
        LinkSpy view(*table);
        CursorSpy cursor;
        EXPECT_EQ(MessageOf([&] {
                      if (c.load == Dup)
                          LoadDuplicates(db, *table);
                      else if (c.load == Ratio)
                          LoadRatio(db, *table, true);
                      else
                          LoadLog(db, *table, A("Все"));
                  }),
                  c.message);
        EXPECT_TRUE(table->Active());
        EXPECT_EQ(table->State(), TTableState::Browsing);
        ASSERT_EQ(table->GetRecordCount(), c.records);
        for (int i = 0; i < c.records; ++i)
            EXPECT_EQ(table->GetInteger(table->RecordAt(i), table->Field(0)), i + 1);
        EXPECT_EQ(table->FreezeCount(), 0);
        EXPECT_EQ(view.frozenAtChange, std::vector<int>{0}); // one refresh, once released
        EXPECT_EQ(cursor.shown, crArrow);
        const std::vector<TCursor> expected =
            c.load == Log ? std::vector<TCursor>{} : std::vector<TCursor>{crHourGlass, crArrow};
        EXPECT_EQ(cursor.sets, expected);
    }
}

TEST(Guards, WaitRestoresWhatWasThere)
{
    CursorSpy cursor;
    cursor.shown = crDefault + 5; // some cursor other than the default
    {
        TWait outer;
        EXPECT_EQ(cursor.shown, crHourGlass);
        {
            TWait inner;
        }
        EXPECT_EQ(cursor.shown, crHourGlass);
    }
    EXPECT_EQ(cursor.shown, crDefault + 5);
    try {
        TWait wait;
        throw Exception("boom");
    } catch (const Exception&) {
    }
    EXPECT_EQ(cursor.shown, crDefault + 5);
}

TEST(Guards, PositionGuardGoesBackAndReleases)
{
    auto t = MakeLogTable();
    t->OpenTable();
    for (int i = 1; i <= 3; ++i) {
        t->BeginAppend();
        t->SetInteger(t->Field(0), i);
        t->PostRecord();
    }
    const TRecordField& id = t->Field(0);
    LinkSpy view(*t);

    t->SetRecNo(2);
    {
        TRavoBookmark guard(*t, false, true);
        EXPECT_EQ(t->FreezeCount(), 1);
        t->MoveLast();
    }
    EXPECT_EQ(t->GetInteger(id), 2);
    EXPECT_EQ(t->FreezeCount(), 0);
    EXPECT_EQ(view.frozenAtChange, std::vector<int>{0});

    {
        TRavoBookmark guard(*t, false, false); // no going back
        t->MoveLast();
    }
    EXPECT_EQ(t->GetInteger(id), 3);

    {
        TRavoBookmark guard(*t, true, true); // controls stay live
        EXPECT_EQ(t->FreezeCount(), 0);
        t->MoveFirst();
    }
    EXPECT_EQ(t->GetInteger(id), 3);

    t->SetRecNo(1);
    {
        TRavoBookmark guard(*t, false, true);
        t->DeleteRecord(); // the saved record is gone: the position stays where it is
    }
    EXPECT_EQ(t->GetInteger(id), 2);
    EXPECT_EQ(t->FreezeCount(), 0);

    {
        TRavoBookmark outer(*t, false, true);
        {
            TRavoBookmark inner(*t, false, true);
        }
        EXPECT_EQ(t->FreezeCount(), 1);
    }
    EXPECT_EQ(t->FreezeCount(), 0);
}

} // namespace
