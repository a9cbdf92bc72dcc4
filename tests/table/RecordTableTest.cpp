#include "platform/Cp1251.h"
#include "platform/FormatSettings.h"
#include "table/RecordTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct EventLog : TDataLink {
    std::vector<TDataEvent> events;
    void DataEvent(TDataEvent event, const TRecordField*) override { events.push_back(event); }
    int Count(TDataEvent e) const
    {
        int n = 0;
        for (auto x : events) n += x == e;
        return n;
    }
};

// The log table of the main window: its block layout is 1359 bytes.
struct LogTable {
    TRecordTable t;
    TRecordField& id = t.AddField("ID", ftInteger);
    TRecordField& file = t.AddField("file", ftString, 256);
    TRecordField& sdate = t.AddField("sdate", ftString, 40);
    TRecordField& body = t.AddField("body", ftString, 1000);
    TRecordField& nick = t.AddField("nick", ftString, 50);
};

struct SmallTable {
    TRecordTable t;
    TRecordField& n = t.AddField("n", ftInteger);
    TRecordField& f = t.AddField("f", ftFloat);
    TRecordField& s = t.AddField("s", ftString, 5);

    void Add(int32_t v)
    {
        t.BeginAppend();
        t.SetInteger(n, v);
        t.PostRecord();
    }
    std::vector<int32_t> Values()
    {
        std::vector<int32_t> out;
        for (int i = 0; i < t.GetRecordCount(); ++i) out.push_back(t.GetInteger(t.RecordAt(i), n));
        return out;
    }
};

struct DecimalSeparator {
    char saved;
    explicit DecimalSeparator(char c) : saved(FormatSettings().DecimalSeparator) { FormatSettings().DecimalSeparator = c; }
    ~DecimalSeparator() { FormatSettings().DecimalSeparator = saved; }
};

AnsiString MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "(no error)";
}

} // namespace

TEST(RecordTable, FieldDefaults)
{
    TRecordTable t;
    auto& s = t.AddField("S", ftString);
    auto& i = t.AddField("I", ftInteger);
    auto& f = t.AddField("F", ftFloat);
    EXPECT_EQ(s.Size, 20);
    EXPECT_EQ(s.DisplayWidth, 20);
    EXPECT_EQ(s.Alignment, taLeftJustify);
    EXPECT_EQ(i.Alignment, taRightJustify);
    EXPECT_EQ(f.Alignment, taRightJustify);
    EXPECT_EQ(t.LookupField("s"), &s);
    EXPECT_EQ(t.LookupField("f"), &f);
    EXPECT_EQ(t.LookupField("x"), nullptr);
    s.DisplayLabel = "label";
    EXPECT_EQ(s.DisplayName(), "label");
    EXPECT_EQ(i.DisplayName(), "I");
}

TEST(RecordTable, EditBufferKeepsTheBlockLayout)
{
    LogTable log;
    EXPECT_EQ(log.t.EditBufferSize(), 1359);
    log.t.OpenTable();
    EXPECT_EQ(log.t.EditBufferSize(), 1359);
}

TEST(RecordTable, StoredRecordsHoldOnlyTheirBytes)
{
    LogTable log;
    log.t.OpenTable();
    log.t.BeginAppend();
    log.t.SetInteger(log.id, 1);
    log.t.SetString(log.body, "hello");
    log.t.SetString(log.nick, "me");
    log.t.PostRecord();
    const size_t values = 4 + 5 + 2;
    EXPECT_LE(log.t.RecordBytes(log.t.RecordAt(0)), values * 3 / 2 + 32);
    EXPECT_EQ(log.t.GetString(log.t.RecordAt(0), log.body), "hello");
    EXPECT_EQ(log.t.GetString(log.t.RecordAt(0), log.nick), "me");
    EXPECT_TRUE(log.t.IsNull(log.t.RecordAt(0), log.file));
}

// Tens of megabytes built in place: rows cross the steps in which memory is faulted in ahead
// and move to new chunks, with records appended one by one in between; all read back whole.
TEST(RecordTable, BulkRowsAcrossChunksReadBackWhole)
{
    LogTable log;
    log.t.OpenTable();
    log.t.FreezeControls();
    const auto bodyOf = [](int i) { return std::string(static_cast<size_t>(200 + i % 800), static_cast<char>('a' + i % 26)); };
    constexpr int kRows = 40000;
    log.t.BulkBegin();
    for (int i = 0; i < kRows; ++i) {
        if (i % 5000 == 4999) {
            log.t.BeginAppend();
            log.t.SetInteger(log.id, -i);
            log.t.SetString(log.nick, "one by one");
            log.t.PostRecord();
            log.t.BulkBegin();
        }
        log.t.BulkRowStart();
        log.t.BulkInteger(log.id, i);
        const std::string body = bodyOf(i);
        char* d = log.t.BulkStringSpace(body.size());
        std::memcpy(d, body.data(), body.size());
        log.t.BulkString(log.body, body.size());
        log.t.BulkRowEnd();
    }
    log.t.ReleaseControls();
    ASSERT_EQ(log.t.GetRecordCount(), kRows + kRows / 5000);
    int bulk = 0;
    for (int r = 0; r < log.t.GetRecordCount(); ++r) {
        const TRecord* rec = log.t.RecordAt(r);
        if (log.t.GetInteger(rec, log.id) < 0) {
            ASSERT_EQ(log.t.GetString(rec, log.nick), "one by one") << r;
            continue;
        }
        ASSERT_EQ(log.t.GetInteger(rec, log.id), bulk) << r;
        ASSERT_EQ(log.t.GetString(rec, log.body), bodyOf(bulk)) << r;
        ASSERT_TRUE(log.t.IsNull(rec, log.nick)) << r;
        ++bulk;
    }
}

TEST(RecordTable, RecordWithoutValuesIsNull)
{
    SmallTable s;
    s.t.OpenTable();
    s.t.BeginAppend();
    s.t.PostRecord();   // not modified: a post still stores
    ASSERT_EQ(s.t.GetRecordCount(), 1);
    for (const TRecordField* f : {&s.n, &s.f, &s.s}) {
        EXPECT_TRUE(s.t.IsNull(*f));
        EXPECT_TRUE(s.t.IsNull(s.t.RecordAt(0), *f));
        EXPECT_EQ(s.t.GetDisplayText(*f), "");
    }
    EXPECT_EQ(s.t.GetInteger(s.n), 0);
}

TEST(RecordTable, StringsAreCutToTheFieldSize)
{
    struct Case {
        std::string in, stored;
        bool null;
    } cases[] = {
        {"abcde", "abcde", false},
        {"abcdef", "abcde", false},
        {std::string("ab\0cd", 5), "ab", false},
        {"", "", true},
        {std::string("\0x", 2), "", true},
    };
    for (const auto& c : cases) {
        SmallTable s;
        s.t.OpenTable();
        s.t.BeginAppend();
        s.t.SetString(s.s, c.in);
        EXPECT_EQ(s.t.GetString(s.s), c.stored) << c.in;   // the edit buffer
        EXPECT_EQ(s.t.IsNull(s.s), c.null) << c.in;
        s.t.PostRecord();
        EXPECT_EQ(s.t.GetString(s.s), c.stored) << c.in;   // the stored record
        EXPECT_EQ(s.t.IsNull(s.s), c.null) << c.in;
        EXPECT_EQ(s.t.GetString(s.t.RecordAt(0), s.s), c.stored) << c.in;
    }
}

TEST(RecordTable, ManyStringFieldsKeepTheirOwnTexts)
{
    TRecordTable t;
    std::vector<TRecordField*> fs;
    for (int i = 0; i < 10; ++i) fs.push_back(&t.AddField("s" + std::to_string(i), ftString, 8192));
    t.OpenTable();
    t.BeginAppend();
    for (int i = 0; i < 10; i += 2) t.SetString(*fs[i], std::string(static_cast<size_t>(8000 + i), char('a' + i)));
    t.PostRecord();
    for (int i = 0; i < 10; ++i) {
        const auto v = t.GetString(t.RecordAt(0), *fs[i]);
        if (i % 2) {
            EXPECT_TRUE(v.empty());
        } else {
            EXPECT_EQ(v, std::string(static_cast<size_t>(8000 + i), char('a' + i)));
        }
    }
}

TEST(RecordTable, IdentitiesRestartAfterCloseAndAfterDeletingTheLast)
{
    SmallTable s;
    s.t.OpenTable();
    s.Add(1);
    s.Add(2);
    EXPECT_EQ(TRecordTable::Identity(s.t.RecordAt(0)), INT32_MIN + 1);
    EXPECT_EQ(TRecordTable::Identity(s.t.RecordAt(1)), INT32_MIN + 2);
    s.t.CloseTable();
    EXPECT_EQ(s.t.GetRecordCount(), 0);
    s.t.OpenTable();
    EXPECT_EQ(s.t.GetRecordCount(), 0);
    s.Add(3);
    EXPECT_EQ(TRecordTable::Identity(s.t.RecordAt(0)), INT32_MIN + 1);
    s.Add(4);
    s.t.MoveFirst();
    s.t.DeleteRecord();
    s.Add(5);   // not the last: the counter goes on
    EXPECT_EQ(TRecordTable::Identity(s.t.RecordAt(1)), INT32_MIN + 3);
    s.t.DeleteRecord();
    s.t.DeleteRecord();
    EXPECT_EQ(s.t.GetRecordCount(), 0);
    s.Add(6);
    EXPECT_EQ(TRecordTable::Identity(s.t.RecordAt(0)), INT32_MIN + 1);
}

TEST(RecordTable, DeleteMovesToTheNextOrElseThePrevious)
{
    SmallTable s;
    s.t.OpenTable();
    for (int i = 1; i <= 3; ++i) s.Add(i);
    s.t.SetRecNo(2);
    s.t.DeleteRecord();
    EXPECT_EQ(s.t.GetInteger(s.n), 3);
    s.t.DeleteRecord();
    EXPECT_EQ(s.t.GetInteger(s.n), 1);
    s.t.DeleteRecord();
    EXPECT_EQ(MessageOf([&] { s.t.DeleteRecord(); }), "Cannot perform this operation on an empty dataset");
}

TEST(RecordTable, BookmarksAreCopiesOfIdentities)
{
    SmallTable s;
    TBookmark none = s.t.TakeBookmark();
    EXPECT_FALSE(none);   // closed
    s.t.OpenTable();
    none = s.t.TakeBookmark();
    EXPECT_FALSE(none);   // empty
    EXPECT_FALSE(s.t.BookmarkValid(none));
    s.t.ReleaseBookmark(none);
    s.t.MoveToBookmark(none);   // ignored

    for (int i = 1; i <= 3; ++i) s.Add(i);
    s.t.SetRecNo(2);
    TBookmark b2 = s.t.TakeBookmark();
    ASSERT_TRUE(b2);
    s.t.BeginAppend();
    EXPECT_FALSE(s.t.TakeBookmark());   // a new, unposted record
    s.t.CancelRecord();

    s.t.MoveFirst();
    s.t.MoveToBookmark(b2);
    EXPECT_EQ(s.t.GetInteger(s.n), 2);
    s.t.DeleteRecord();
    EXPECT_TRUE(s.t.BookmarkValid(b2));   // deleted but not searched for
    s.t.MoveFirst();
    s.t.MoveToBookmark(b2);
    EXPECT_EQ(s.t.GetRecNo(), 1);          // position unchanged
    EXPECT_FALSE(s.t.BookmarkValid(TBookmark(INT32_MIN)));
    EXPECT_FALSE(s.t.BookmarkValid(TBookmark(INT32_MIN + 10)));

    EXPECT_EQ(TRecordTable::CompareBookmarks(none, none), 0);
    EXPECT_LT(TRecordTable::CompareBookmarks(none, b2), 0);
    EXPECT_GT(TRecordTable::CompareBookmarks(b2, none), 0);
    EXPECT_LT(TRecordTable::CompareBookmarks(TBookmark(-5), TBookmark(3)), 0);
    s.t.ReleaseBookmark(b2);
    EXPECT_FALSE(b2);
    s.t.CloseTable();
    EXPECT_FALSE(s.t.BookmarkValid(TBookmark(INT32_MIN + 1)));
}

TEST(RecordTable, MoveToBookmarkInAnEmptyTableFails)
{
    SmallTable s;
    s.t.OpenTable();
    s.Add(1);
    TBookmark b = s.t.TakeBookmark();
    s.t.DeleteRecord();
    EXPECT_EQ(MessageOf([&] { s.t.MoveToBookmark(b); }), A("Данных не найдено"));
    EXPECT_EQ(s.t.GetRecNo(), 0);
}

TEST(RecordTable, BeginInsertPositions)
{
    SmallTable s;
    s.t.OpenTable();
    s.t.BeginInsert();
    s.t.SetInteger(s.n, 10);
    s.t.PostRecord();
    s.Add(30);
    s.t.SetRecNo(2);
    s.t.BeginInsert();
    s.t.SetInteger(s.n, 20);
    s.t.PostRecord();
    EXPECT_EQ(s.Values(), (std::vector<int32_t>{10, 20, 30}));
    EXPECT_EQ(s.t.GetRecNo(), 2);   // the new record is current
    s.t.MoveFirst();
    s.t.BeginInsert();
    s.t.SetInteger(s.n, 5);
    s.t.PostRecord();
    EXPECT_EQ(s.Values(), (std::vector<int32_t>{5, 10, 20, 30}));
}

TEST(RecordTable, StartingANewRecordStoresOrDropsThePendingOne)
{
    SmallTable s;
    s.t.OpenTable();
    s.t.BeginAppend();
    s.t.SetInteger(s.n, 1);
    s.t.BeginAppend();   // modified: stored
    s.t.BeginAppend();   // untouched: dropped
    s.t.SetInteger(s.n, 2);
    s.t.PostRecord();
    EXPECT_EQ(s.Values(), (std::vector<int32_t>{1, 2}));
    s.t.BeginInsert();
    s.t.SetInteger(s.n, 9);
    s.t.DeleteRecord();   // while inserting: drops the new record
    EXPECT_EQ(s.Values(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(s.t.State(), TTableState::Browsing);
}

TEST(RecordTable, StateErrors)
{
    SmallTable s;
    EXPECT_EQ(MessageOf([&] { s.t.BeginAppend(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(MessageOf([&] { s.t.BeginInsert(); }), "Cannot perform this operation on a closed dataset");
    s.t.OpenTable();
    EXPECT_EQ(MessageOf([&] { s.t.SetInteger(s.n, 1); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(MessageOf([&] { s.t.SetText(s.s, "x"); }), "Dataset not in edit or insert mode");
    s.t.PostRecord();   // browsing: nothing
    EXPECT_EQ(s.t.GetRecordCount(), 0);

    TRecordTable bad;
    auto& u = bad.AddField("u", ftUnknown);
    u.DisplayLabel = "Unk";
    EXPECT_EQ(MessageOf([&] { bad.OpenTable(); }), "Field 'Unk' is of an unknown type");
    EXPECT_FALSE(bad.Active());
}

TEST(RecordTable, SetTextConvertsOrRefuses)
{
    DecimalSeparator comma(',');
    struct Case {
        const char* field;
        const char* text;
        const char* display;   // after the call; the error when it is refused
        const char* error;
    } cases[] = {
        {"n", "42", "42", nullptr},
        {"n", "-2147483648", "-2147483648", nullptr},
        {"n", "2147483648", "7", "'2147483648' is not a valid integer value for field 'Number'"},
        {"n", "4.5", "7", "'4.5' is not a valid integer value for field 'Number'"},
        {"n", "abc", "7", "'abc' is not a valid integer value for field 'Number'"},
        {"n", "", "", nullptr},
        {"f", "1,5", "1,5", nullptr},
        {"f", " -2,25E2 ", "-225", nullptr},
        {"f", "1.5", "0,5", "'1.5' is not a valid floating point value for field 'f'"},
        {"f", "x", "0,5", "'x' is not a valid floating point value for field 'f'"},
        {"f", "", "", nullptr},
        {"s", "abcdefg", "abcde", nullptr},
        {"s", "", "", nullptr},
    };
    for (const auto& c : cases) {
        SmallTable s;
        s.n.DisplayLabel = "Number";
        s.t.OpenTable();
        s.t.BeginAppend();
        s.t.SetInteger(s.n, 7);
        s.t.SetFloat(s.f, 0.5);
        s.t.SetString(s.s, "q");
        const TRecordField& f = *s.t.LookupField(c.field);
        const AnsiString msg = MessageOf([&] { s.t.SetText(f, c.text); });
        EXPECT_EQ(msg, c.error ? c.error : "(no error)") << c.text;
        EXPECT_EQ(s.t.GetDisplayText(f), c.display) << c.text;
        EXPECT_EQ(s.t.IsNull(f), std::string(c.display).empty()) << c.text;
        EXPECT_EQ(s.t.State(), TTableState::Inserting);
    }
}

TEST(RecordTable, FloatDisplayText)
{
    struct Case {
        double v;
        const char* dot;
    } cases[] = {
        {0, "0"},
        {1, "1"},
        {-1.5, "-1.5"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {123456789012345.0, "123456789012345"},
        {999999999999999.0, "999999999999999"},
        {1234567890123456.0, "1.23456789012346E15"},
        {1e20, "1E20"},
        {0.00001, "0.00001"},
        {0.000012345, "0.000012345"},
        {0.0000099, "9.9E-6"},
        {-1.5e-7, "-1.5E-7"},
        {1048576.25, "1048576.25"},
        {100, "100"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToDisplayText(c.v), c.dot) << c.v;
    DecimalSeparator comma(',');
    EXPECT_EQ(FloatToDisplayText(-1.5), "-1,5");
    EXPECT_EQ(FloatToDisplayText(1.5e-7), "1,5E-7");
}

TEST(RecordTable, NavigationVisitsEveryRecordEvenWhenFiltered)
{
    SmallTable s;
    s.t.OpenTable();
    s.t.MoveFirst();
    EXPECT_TRUE(s.t.AtStart());
    EXPECT_TRUE(s.t.AtEnd());
    EXPECT_EQ(s.t.GetRecNo(), 0);
    for (int i = 1; i <= 4; ++i) s.Add(i);
    s.t.SetRecNo(3);
    s.t.SetFilterExpression("n = 1");
    s.t.SetFiltered(true);
    EXPECT_TRUE(s.t.Filtered());
    EXPECT_EQ(s.t.GetRecNo(), 1);   // moved to the first record
    std::vector<int32_t> seen;
    for (s.t.MoveFirst(); !s.t.AtEnd(); s.t.MoveNext()) seen.push_back(s.t.GetInteger(s.n));
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(s.t.GetInteger(s.n), 4);   // MoveNext from the last leaves it current
    s.t.MovePrior();
    EXPECT_EQ(s.t.GetInteger(s.n), 3);
    s.t.MoveFirst();
    s.t.MovePrior();
    EXPECT_TRUE(s.t.AtStart());
    EXPECT_EQ(s.t.GetInteger(s.n), 1);
    s.t.SetRecNo(9);   // ignored
    s.t.SetRecNo(0);
    EXPECT_EQ(s.t.GetRecNo(), 1);
    s.t.MoveLast();
    EXPECT_EQ(s.t.GetRecNo(), 4);
    EXPECT_EQ(s.t.FilterExpression(), "n = 1");
}

TEST(RecordTable, NestedFreezesNotifyOnceOnTheLastRelease)
{
    EventLog log;   // outlives the table, which tells its views when it goes
    SmallTable s;
    s.t.Attach(&log);
    s.t.ReleaseControls();   // without a freeze: nothing
    EXPECT_EQ(s.t.FreezeCount(), 0);
    s.t.OpenTable();
    EXPECT_EQ(log.Count(TDataEvent::Opened), 1);
    log.events.clear();
    s.t.FreezeControls();
    s.t.FreezeControls();
    for (int i = 0; i < 5; ++i) s.Add(i);
    s.t.MoveFirst();
    s.t.SetFiltered(true);
    s.t.ReleaseControls();
    EXPECT_TRUE(log.events.empty());
    s.t.ReleaseControls();
    EXPECT_EQ(log.events, (std::vector<TDataEvent>{TDataEvent::DataSetChange}));
    EXPECT_EQ(s.t.FreezeCount(), 0);

    // A freeze that spans an open reports the state change, then the content.
    EventLog log2;
    SmallTable c;
    c.t.Attach(&log2);
    c.t.FreezeControls();
    c.t.OpenTable();
    c.Add(1);
    c.t.ReleaseControls();
    EXPECT_EQ(log2.events, (std::vector<TDataEvent>{TDataEvent::StateChange}));   // remembered state was Closed

    c.t.FreezeControls();
    c.t.CloseTable();
    c.t.ReleaseControls();
    c.t.Detach(&log2);
}

TEST(RecordTable, NotificationsWhileLive)
{
    EventLog log;
    SmallTable s;
    s.t.Attach(&log);
    s.t.OpenTable();
    s.t.BeginAppend();
    s.t.SetInteger(s.n, 1);
    s.t.PostRecord();
    EXPECT_EQ(log.Count(TDataEvent::FieldChange), 1);
    EXPECT_GE(log.Count(TDataEvent::DataSetChange), 1);
    log.events.clear();
    s.t.DeleteRecord();
    EXPECT_EQ(log.Count(TDataEvent::DataSetChange), 1);
    log.events.clear();
    s.t.CloseTable();
    EXPECT_EQ(log.Count(TDataEvent::Closed), 1);
    s.t.Detach(&log);
}
