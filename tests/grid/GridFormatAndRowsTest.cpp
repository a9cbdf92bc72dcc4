#include "GridFixtures.h"

#include "platform/FormatSettings.h"

#include <gtest/gtest.h>

using gridtest::PlainGrid;
using gridtest::RatioGrid;

TEST(NumberPatterns, Table)
{
    struct Case {
        const char* pattern;
        double value;
        const char* text;
    } cases[] = {
        {"0.00", 1536, "1536.00"},
        {"Сумма: 0.00", 0, "Сумма: 0.00"},
        {"Сумма: 0.00", 1234567890123.0, "Сумма: 1234567890123.00"},
        {"(SUM=0.00)", 2.5, "(SUM=2.50)"},
        // Rounded from the double's exact value: 2.675 is stored as 2.67499999...
        {"0.00", 2.675, "2.67"},
        {"0.00", 1.005, "1.00"},
        {"0.00", 0.125, "0.13"},
        {"0.00", -0.125, "-0.13"},
        {"0", 0.5, "1"},
        {"#", 0.5, "1"},
        {"#", 1.5, "2"},
        // Every digit of a large sum: 2^53 + 2, 10^17 + 8 (stored as 10^17), and the like.
        {"0.00", 9007199254740994.0, "9007199254740994.00"},
        {"0.00", 9007199256509756.0, "9007199256509756.00"},
        {"#", 9007199254740994.0, "9007199254740994"},
        {"0.00", -9007199254740994.0, "-9007199254740994.00"},
        {"Сумма: 0.00", 1e17 + 8, "Сумма: 100000000000000000.00"},
        {"(SUM=0.00)", 123456789012345678.0, "(SUM=123456789012345680.00)"},
        {"#", -123456789012345678.0, "-123456789012345680"},
        {"0.00", 0.005, "0.01"},
        {"0.00", -0.005, "-0.01"},
        {"0.00", 123456789.125, "123456789.13"},
        {"0", 2.5, "3"},
        {"0", -2.5, "-3"},
        {"0", 0.4, "0"},
        {"0", -0.4, "0"},
        {"0.00", 1e15, "1000000000000000.00"},
        {"0.00", 9.995, "9.99"},
        {"0.00", 9.9951, "10.00"},
        {"#", 0, ""},
        {"#.##", 0.5, ".5"},
        {"#.##", 5, "5"},
        {"0.##", 1.25, "1.25"},
        {"0.0#", 1.5, "1.5"},
        {"000", 7, "007"},
        {"00-00", 1234, "12-34"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"#,##0", 999, "999"},
        {"#,##0", 1000, "1,000"},
        {"0,0", 1000000, "1,000,000"},
        {"0.00;(0.00)", -3.5, "(3.50)"},
        {"0.00;(0.00);zero", 0, "zero"},
        {"0.00;;zero", 0, "zero"},
        {"0.00;(0.00);zero", 0.001, "zero"},
        {"0.00;(0.00)", 3.5, "3.50"},
        {"'#'0", 5, "#5"},
        {"\"a;b\"0", 5, "a;b5"},
        {"Сумма: 0.00", -5, "Сумма: -5.00"},
        {"", 1.5, "1.5"},
    };
    for (const Case& c : cases) EXPECT_EQ(Cp1251ToUtf8(FormatFloatPattern(A(c.pattern), c.value)), c.text) << c.pattern << " " << c.value;

    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ThousandSeparator = ' ';
    EXPECT_EQ(Cp1251ToUtf8(FormatFloatPattern(A("Сумма: 0.00"), 1536)), "Сумма: 1536,00");
    EXPECT_EQ(FormatFloatPattern("#,##0.00", 1234.5), "1 234,50");
    FormatSettings() = saved;
}

TEST(GridValues, CompareAcrossKinds)
{
    const auto s = [](const char* t) {
        TGridValue v;
        v.kind = TGridValue::String;
        v.s = t;
        return v;
    };
    TGridValue null, i3, f25, empty = s("");
    i3.kind = TGridValue::Integer;
    i3.i = 3;
    f25.kind = TGridValue::Float;
    f25.f = 2.5;
    struct Case {
        TGridValue a, b;
        int sign;
    } cases[] = {
        {null, empty, 0}, {null, i3, -1},   {empty, s("a"), -1}, {f25, i3, -1}, {i3, s("0"), -1},
        {s("B"), s("a"), -1}, {s("a"), s("ab"), -1}, {s("z"), s("\xC0"), -1}, {i3, i3, 0},
    };
    for (const Case& c : cases) {
        const int r = CompareGridValues(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
        const int back = CompareGridValues(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
}

TEST(GridRows, DeleteTheFocusedRowsRecord)
{
    RatioGrid r;
    r.Load({{1, 1, 1, "", "a", "H"}, {2, 2, 2, "", "b", "H"}, {3, 4, 4, "", "c", "H"}});
    TGridEngine& g = r.grid;
    TGridNode* hub = g.Top(0);
    g.SetFocusedNode(hub);
    EXPECT_FALSE(g.CanDeleteFocused()) << "a group row";
    g.SetExpanded(hub, true);
    g.SetFocusedNode(TGridEngine::Child(hub, 1));
    ASSERT_TRUE(g.CanDeleteFocused());
    g.DeleteFocused();
    EXPECT_EQ(r.table.GetRecordCount(), 2);
    EXPECT_EQ(g.DataRowCount(), 2);
    EXPECT_EQ(g.SummaryFooterText(r.cUp), A("Сумма: 5.00"));
    EXPECT_TRUE(TGridEngine::Expanded(g.Top(0))) << "the rebuild keeps the group open";
    ASSERT_NE(g.FocusedNode(), nullptr);
    EXPECT_EQ(g.LineOf(g.FocusedNode()), 2) << "the row now on the deleted one's line";
    EXPECT_EQ(g.DisplayText(g.FocusedNode(), r.cNick), "c");
}

TEST(GridRows, InsertBeforeTheFocusedRow)
{
    PlainGrid p;
    p.Add(1, 1, 0.0, std::string("a"));
    p.Add(2, 2, 0.0, std::string("b"));
    p.Add(3, 3, 0.0, std::string("c"));
    TGridEngine& g = p.grid;
    TGridNode* second = g.Line(1).Node;
    g.SetFocusedNode(second);
    g.BeginInsertBeforeFocused();
    ASSERT_TRUE(g.Inserting());
    EXPECT_EQ(g.NewRowBefore(), second);
    EXPECT_FALSE(g.NewRowModified());
    try {
        g.SetNewRowText(p.cNum, "abc");
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "'abc' is not a valid integer value for field 'num'");
    }
    EXPECT_TRUE(g.Inserting()) << "the row stays in editing";
    g.SetNewRowText(p.cKey, "9");
    g.SetNewRowText(p.cText, "new");
    EXPECT_EQ(g.NewRowText(p.cText), "new");
    EXPECT_TRUE(g.NewRowModified());
    g.LeaveNewRow();
    EXPECT_FALSE(g.Inserting());
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1, 9, 2, 3}));
    ASSERT_NE(g.FocusedNode(), nullptr);
    EXPECT_EQ(g.DisplayText(g.FocusedNode(), p.cText), "new");

    // Untouched: cancelled; Esc: cancelled.
    g.BeginInsertBeforeFocused();
    g.LeaveNewRow();
    EXPECT_EQ(p.table.GetRecordCount(), 4);
    g.BeginInsertBeforeFocused();
    g.SetNewRowText(p.cKey, "5");
    g.CancelNewRow();
    EXPECT_EQ(p.table.GetRecordCount(), 4);
    EXPECT_EQ(p.table.State(), TTableState::Browsing);
}

TEST(GridRows, InsertIntoEmptyAndClosedTables)
{
    PlainGrid p;
    p.grid.BeginInsertBeforeFocused();
    EXPECT_EQ(p.grid.NewRowBefore(), nullptr);
    p.grid.SetNewRowText(p.cKey, "1");
    p.grid.LeaveNewRow();
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1}));
    p.table.CloseTable();
    EXPECT_THROW(p.grid.BeginInsertBeforeFocused(), Exception);
    EXPECT_FALSE(p.grid.CanDeleteFocused());
}

TEST(GridRows, TheGridLetsGoOfADestroyedTable)
{
    TGridEngine g;
    {
        TRecordTable t;
        t.AddField("a", ftInteger);
        TDataSource src(&t);
        TDataGridColumn& c = g.AddColumn();
        c.FieldName = "a";
        g.SetDataSource(&src);
        t.OpenTable();
        t.BeginAppend();
        t.SetInteger(*t.LookupField("a"), 1);
        t.PostRecord();
        EXPECT_EQ(g.DataRowCount(), 1);
    }
    EXPECT_EQ(g.DataRowCount(), 0);
    EXPECT_EQ(g.LineCount(), 0);
}
