#include "GridFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

using gridtest::PlainGrid;
using gridtest::RatioGrid;

namespace {

std::vector<int32_t> SortedKeys(PlainGrid& p, int column, TColumnSort dir)
{
    for (int c = 0; c < p.grid.ColumnCount(); ++c) p.grid.Column(c).Sorted = csNone;
    p.grid.Column(column).Sorted = dir;
    p.grid.LayoutChanged();
    return p.Keys();
}

// A fixed pseudo-random sequence, the same on every run.
struct Lcg {
    uint32_t seed;
    uint32_t operator()()
    {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    }
};

// Texts that share long starts, end near the sixteen bytes a sort key keeps, or run on
// past them; with numbers after them some repeat, and "" is blank.
const char* const kStems[] = {"", "a", "Alex_", "Дед_Мороз_", "Дед_Мороз_1828851", "abcdefghijklmnop",
                              "abcdefghijklmno", "abcdefghijklmnopq", "abcdefghijklmnopqrstuvwxyz_", "я"};
constexpr uint32_t kStemCount = sizeof kStems / sizeof kStems[0];

} // namespace

TEST(GridSorting, OrderAcrossKindsAndDirections)
{
    PlainGrid p;
    // key, integer, float, text
    p.Add(1, 5, 2.5, std::string("b"));
    p.Add(2, std::nullopt, std::nullopt, std::nullopt);
    p.Add(3, -7, -0.5, std::string("B"));
    p.Add(4, 5, 10.0, std::string("ab"));
    p.Add(5, 40, 2.5, std::string("a"));
    p.Add(6, 3, 1e20, std::string("Яблоко"));
    p.Add(7, std::nullopt, 0.0, std::string(""));   // empty text reads as null
    p.Add(8, 5, -1e20, std::string("z"));

    struct Case {
        const char* what;
        int column;
        TColumnSort dir;
        std::vector<int32_t> keys;
    } cases[] = {
        {"integers up: nulls first, equal values by identity", p.cNum, csUp, {2, 7, 3, 6, 1, 4, 8, 5}},
        {"integers down: nulls last, equal values still by identity", p.cNum, csDown, {5, 1, 4, 8, 6, 3, 2, 7}},
        {"floats up", p.cReal, csUp, {2, 8, 3, 7, 1, 5, 4, 6}},
        {"floats down", p.cReal, csDown, {6, 4, 1, 5, 7, 3, 8, 2}},
        {"text up: bytes, upper before lower, Cyrillic last, prefix first", p.cText, csUp, {2, 7, 3, 5, 4, 1, 8, 6}},
        {"text down", p.cText, csDown, {6, 8, 1, 4, 5, 3, 2, 7}},
    };
    for (const Case& c : cases) EXPECT_EQ(SortedKeys(p, c.column, c.dir), c.keys) << c.what;

    for (int col = 0; col < p.grid.ColumnCount(); ++col) p.grid.Column(col).Sorted = csNone;
    p.grid.LayoutChanged();
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8})) << "unsorted: table order";
}

TEST(GridSorting, TiesUseTheKeyFieldNotTheTableOrder)
{
    PlainGrid p;
    p.Add(30, 1, 0.0, std::string("same"));
    p.Add(10, 1, 0.0, std::string("same"));
    p.Add(20, 1, 0.0, std::string("same"));
    EXPECT_EQ(SortedKeys(p, p.cText, csUp), (std::vector<int32_t>{10, 20, 30}));
    EXPECT_EQ(SortedKeys(p, p.cText, csDown), (std::vector<int32_t>{10, 20, 30}));
}

TEST(GridSorting, LongTextsWithACommonPrefix)
{
    PlainGrid p;
    p.Add(1, 0, 0.0, std::string("abcdefghij"));
    p.Add(2, 0, 0.0, std::string("abcdefgh"));
    p.Add(3, 0, 0.0, std::string("abcdefghiя"));   // 0xFF in 1251
    p.Add(4, 0, 0.0, std::string("abcdefghia"));
    EXPECT_EQ(SortedKeys(p, p.cText, csUp), (std::vector<int32_t>{2, 4, 1, 3}));
}

TEST(GridSorting, ClickAndCtrlClick)
{
    RatioGrid r;
    r.Load({{1, 1, 1, "", "b", "h"}, {2, 2, 2, "", "a", "h"}});
    TGridEngine& g = r.grid;
    g.ClickColumn(r.cUp, false);
    EXPECT_EQ(g.Column(r.cUp).Sorted, csUp);
    EXPECT_EQ(g.Column(r.cNick).Sorted, csNone) << "one sorted column besides the groups";
    EXPECT_EQ(g.Column(r.cHub).Sorted, csUp) << "group columns keep their order";
    g.ClickColumn(r.cUp, false);
    EXPECT_EQ(g.Column(r.cUp).Sorted, csDown);
    g.ClickColumn(r.cUp, false);
    EXPECT_EQ(g.Column(r.cUp).Sorted, csUp);
    g.ClickColumn(r.cUp, true);
    EXPECT_EQ(g.Column(r.cUp).Sorted, csNone);
    g.ClickColumn(r.cNick, false);
    TGridNode* hub = g.Top(0);
    EXPECT_EQ(g.DisplayText(TGridEngine::Child(hub, 0), r.cNick), "a");
    g.ClickColumn(r.cNick, false);
    hub = g.Top(0);
    EXPECT_EQ(g.DisplayText(TGridEngine::Child(hub, 0), r.cNick), "b");
}

TEST(GridGrouping, StatisticsGroupRowsAndFooters)
{
    RatioGrid r;
    r.Load({
        {1, 100, 1, "1.1.1.1", "zed", "Hub B"},
        {2, 1536, 0.5, "1.1.1.2", "amy", "Hub A"},
        {3, 0.25, 2, "1.1.1.3", "bob", "Hub A"},
        {4, std::nullopt, 3, "", "", "Hub B"},
    });
    TGridEngine& g = r.grid;
    EXPECT_EQ(g.GroupColumnCount(), 1);
    EXPECT_EQ(g.GroupColumn(0), r.cHub);
    EXPECT_EQ(g.HeaderColumns(), (std::vector<int>{r.cNick, r.cIp, r.cUp, r.cDown}));
    ASSERT_EQ(g.TopCount(), 2);
    TGridNode* a = g.Top(0);
    TGridNode* b = g.Top(1);
    EXPECT_TRUE(TGridEngine::IsGroup(a));
    EXPECT_FALSE(TGridEngine::Expanded(a)) << "created collapsed";
    EXPECT_EQ(g.GroupRowText(a), A("Хаб : Hub A "));
    EXPECT_EQ(g.GroupRowText(b), A("Хаб : Hub B "));
    EXPECT_EQ(g.LineCount(), 2);

    ASSERT_EQ(TGridEngine::ChildCount(a), 2);
    TGridNode* amy = TGridEngine::Child(a, 0);
    TGridNode* bob = TGridEngine::Child(a, 1);
    EXPECT_EQ(g.DisplayText(amy, r.cNick), "amy");
    EXPECT_EQ(TGridEngine::Level(amy), 1);
    EXPECT_EQ(TGridEngine::Parent(amy), a);
    EXPECT_FALSE(TGridEngine::IsLast(amy));
    EXPECT_TRUE(TGridEngine::IsLast(bob));
    EXPECT_EQ(g.GetRowFooterCount(amy), 0);
    ASSERT_EQ(g.GetRowFooterCount(bob), 1);
    EXPECT_EQ(g.GetNodeFooterLevel(bob, 0), 0);
    EXPECT_TRUE(g.IsExistRowFooterCell(bob, 0, r.cUp));
    EXPECT_TRUE(g.IsExistRowFooterCell(bob, 0, r.cDown));
    EXPECT_FALSE(g.IsExistRowFooterCell(bob, 0, r.cNick));
    EXPECT_EQ(g.GetFooterCellText(bob, 0, r.cUp), "(SUM=1536.25)");
    EXPECT_EQ(g.GetFooterCellText(bob, 0, r.cDown), "(SUM=2.50)");
    EXPECT_EQ(g.GetFooterCellText(TGridEngine::Child(b, 1), 0, r.cUp), "(SUM=100.00)") << "a null counts nothing";
    EXPECT_EQ(g.SummaryFooterText(r.cUp), A("Сумма: 1636.25"));
    EXPECT_EQ(g.SummaryFooterText(r.cDown), A("Сумма: 6.50"));
    EXPECT_FALSE(g.HasSummaryFooter(r.cNick));

    // Lines: group row, its rows, its footer line.
    g.SetExpanded(a, true);
    ASSERT_EQ(g.LineCount(), 5);
    const TGridLine lines[] = {{a, -1}, {amy, -1}, {bob, -1}, {bob, 0}, {b, -1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(g.Line(i).Node, lines[i].Node) << i;
        EXPECT_EQ(g.Line(i).Footer, lines[i].Footer) << i;
    }
    EXPECT_EQ(g.LineOf(b), 4);
    EXPECT_EQ(g.LineOf(bob), 2);
    EXPECT_EQ(g.LineOf(TGridEngine::Child(b, 0)), -1) << "inside a collapsed group";
    g.ShowRowFooter = false;
    g.SetExpanded(a, false);
    g.SetExpanded(a, true);
    EXPECT_EQ(g.LineCount(), 4);
    EXPECT_EQ(g.GetRowFooterCount(bob), 0);
}

TEST(GridGrouping, FootersFollowTheLevelsSummaryGroup)
{
    RatioGrid r;
    r.Load({{1, 10, 1, "ip", "amy", "H1"}, {2, 20, 2, "ip", "amy", "H2"}, {3, 30, 3, "ip", "bob", "H1"}});
    TGridEngine& g = r.grid;

    struct Case {
        const char* what;
        int groupColumn;
        bool footers;
    } cases[] = {
        {"by nick: the default group's sums", r.cNick, true},
        {"by upload: names a group the grid lacks", r.cUp, false},
        {"by download: the same", r.cDown, false},
        {"by IP address: the default group", r.cIp, true},
    };
    for (const Case& c : cases) {
        g.UngroupColumn(r.cHub);
        for (int col = 0; col < g.ColumnCount(); ++col) g.UngroupColumn(col);
        g.GroupByColumn(c.groupColumn, 0);
        g.ExpandAll();
        int footers = 0;
        for (int i = 0; i < g.LineCount(); ++i) footers += g.Line(i).Footer >= 0;
        EXPECT_EQ(footers > 0, c.footers) << c.what;
        EXPECT_EQ(g.GroupRowText(g.Top(0)).find(A(" : ")) != std::string::npos, true) << c.what;
    }

    // Grouped by nick: the footer of amy's group sums 10 + 20.
    for (int col = 0; col < g.ColumnCount(); ++col) g.UngroupColumn(col);
    g.GroupByColumn(r.cNick, 0);
    TGridNode* amy = g.Top(0);
    EXPECT_EQ(g.GroupRowText(amy), A("Ник : amy "));
    TGridNode* last = TGridEngine::Child(amy, TGridEngine::ChildCount(amy) - 1);
    EXPECT_EQ(g.GetFooterCellText(last, 0, r.cUp), "(SUM=30.00)");
}

TEST(GridGrouping, NestedLevelsAndGroupOrder)
{
    RatioGrid r;
    r.Load({
        {1, 1, 1, "x", "n1", "H1"},
        {2, 2, 2, "y", "n2", "H1"},
        {3, 4, 4, "x", "n3", "H2"},
        {4, 8, 8, "x", "n4", "H1"},
    });
    TGridEngine& g = r.grid;
    g.GroupByColumn(r.cIp, 1);
    EXPECT_EQ(g.Column(r.cIp).Sorted, csUp) << "a column without sort gets ascending";
    EXPECT_EQ(g.GroupColumnCount(), 2);
    ASSERT_EQ(g.TopCount(), 2);
    TGridNode* h1 = g.Top(0);
    ASSERT_EQ(TGridEngine::ChildCount(h1), 2);
    TGridNode* h1y = TGridEngine::Child(h1, 1);
    EXPECT_EQ(g.GroupRowText(h1y), A("IP адрес : y "));
    // The last row of H1/y closes both groups: innermost first.
    TGridNode* row = TGridEngine::Child(h1y, 0);
    ASSERT_EQ(g.GetRowFooterCount(row), 2);
    EXPECT_EQ(g.GetNodeFooterLevel(row, 0), 1);
    EXPECT_EQ(g.GetNodeFooterLevel(row, 1), 0);
    EXPECT_EQ(g.GetFooterCellText(row, 0, r.cUp), "(SUM=2.00)");
    EXPECT_EQ(g.GetFooterCellText(row, 1, r.cUp), "(SUM=11.00)");
    EXPECT_EQ(g.GetRowFooterCount(TGridEngine::Child(TGridEngine::Child(h1, 0), 1)), 1);

    g.ExpandAll();
    // H1, x, n1, n4, x-footer, y, n2, y-footer, H1-footer, H2, x, n3, x-footer, H2-footer
    EXPECT_EQ(g.LineCount(), 14);
    for (int i = 0; i < g.LineCount(); ++i) {
        const TGridLine l = g.Line(i);
        if (l.Footer < 0) {
            EXPECT_EQ(g.LineOf(l.Node), i) << i;
        }
    }

    // Descending group column: groups in reverse order.
    g.ClickColumn(r.cHub, false);
    EXPECT_EQ(g.Column(r.cHub).Sorted, csDown);
    EXPECT_EQ(g.GroupRowText(g.Top(0)), A("Хаб : H2 "));
    EXPECT_TRUE(TGridEngine::Expanded(g.Top(0))) << "a resort keeps what was expanded";

    g.UngroupColumn(r.cIp);
    EXPECT_EQ(g.GroupColumnCount(), 1);
    EXPECT_EQ(g.HeaderColumns(), (std::vector<int>{r.cNick, r.cIp, r.cUp, r.cDown}));
}

TEST(GridGrouping, OwnColumnSummaryAndTextsInsideTheGroupRow)
{
    RatioGrid r;
    TSummaryGroup& sg = r.grid.SummaryGroups()[0];
    sg.BeginSummaryText = "[";
    sg.EndSummaryText = "]";
    sg.SummaryItems.push_back({"", "upload", cstSum, "0.0"});
    sg.SummaryItems.push_back({"", "", cstCount, "0"});
    r.grid.LayoutChanged();
    r.Load({{1, 1.5, 1, "", "a", "H"}, {2, 2, 1, "", "b", "H"}});
    EXPECT_EQ(r.grid.GroupRowText(r.grid.Top(0)), A("Хаб : H [3.5, 2]"));
    r.grid.Column(r.cHub).SummaryGroupName = "M_VDX_RATIO_DBGRIDSUMMARYGROUP2";   // any case
    r.grid.Column(r.cHub).SummaryType = cstMax;
    r.grid.Column(r.cHub).SummaryField = "upload";
    r.grid.Column(r.cHub).SummaryFormat = "max 0";
    r.grid.LayoutChanged();
    EXPECT_EQ(r.grid.GroupRowText(r.grid.Top(0)), A("Хаб : H max 2 [3.5, 2]"));
}

TEST(GridSummaries, EmptyAndClosedGrids)
{
    RatioGrid r;
    EXPECT_EQ(r.grid.SummaryFooterText(r.cUp), A("Сумма: 0.00")) << "closed";
    r.Load({});
    EXPECT_EQ(r.grid.TopCount(), 0);
    EXPECT_EQ(r.grid.LineCount(), 0);
    EXPECT_EQ(r.grid.SummaryFooterText(r.cUp), A("Сумма: 0.00"));
    EXPECT_EQ(r.grid.SummaryFooterText(r.cDown), A("Сумма: 0.00"));
}

TEST(GridReading, RebuildsOncePerLoadAndNeverWhileFrozen)
{
    RatioGrid r;
    int changes = 0;
    r.grid.OnChanged = [&] { ++changes; };
    r.table.CloseTable();
    r.table.OpenTable();
    changes = 0;
    r.table.FreezeControls();
    for (int i = 0; i < 50; ++i) {
        r.table.BeginAppend();
        r.table.SetInteger(r.id, i);
        r.table.SetString(r.hub, "h");
        r.table.PostRecord();
    }
    r.grid.LayoutChanged();   // asks for a rebuild: none while frozen
    EXPECT_EQ(r.grid.DataRowCount(), 0);
    r.table.ReleaseControls();
    EXPECT_EQ(r.grid.DataRowCount(), 50);
    EXPECT_EQ(r.grid.TopCount(), 1);
    EXPECT_EQ(changes, 1);
    r.table.CloseTable();
    EXPECT_EQ(r.grid.DataRowCount(), 0);
    EXPECT_EQ(r.grid.TopCount(), 0);
}

TEST(GridColumns, CaptionsAlignmentAndAutomaticWidths)
{
    RatioGrid r;
    TGridEngine& g = r.grid;
    EXPECT_EQ(g.ColumnCaption(r.cId), "id") << "the field's display label";
    EXPECT_EQ(g.ColumnCaption(r.cNick), A("Ник"));
    EXPECT_EQ(g.ColumnAlignment(r.cUp), taRightJustify);
    EXPECT_EQ(g.ColumnAlignment(r.cNick), taLeftJustify);
    g.Column(r.cNick).Alignment = taCenter;
    EXPECT_EQ(g.ColumnAlignment(r.cNick), taCenter);
    TDataGridColumn& orphan = g.AddColumn();
    orphan.FieldName = "nosuch";
    EXPECT_EQ(g.ColumnCaption(orphan.Index()), "nosuch");
    EXPECT_EQ(g.ColumnField(orphan.Index()), nullptr);
    orphan.Visible = false;

    for (int width : {766, 700, 1, 3000}) {
        g.SetViewWidth(width);
        int sum = 0;
        for (int c : g.HeaderColumns()) sum += g.DisplayWidth(c);
        EXPECT_EQ(sum, width);
    }
    g.SetViewWidth(736);   // the header widths sum to 736: shares equal the widths
    EXPECT_EQ(g.DisplayWidth(r.cNick), 141);
    EXPECT_EQ(g.DisplayWidth(r.cDown), 220);
    g.ResizeColumn(r.cNick, 300);
    EXPECT_EQ(g.DisplayWidth(r.cNick), 300);
    int sum = 0;
    for (int c : g.HeaderColumns()) sum += g.DisplayWidth(c);
    EXPECT_EQ(sum, 736);
    EXPECT_NEAR(g.DisplayWidth(r.cUp), 221.0 * 436 / 595, 1);

    g.MoveColumn(r.cDown, 0);
    EXPECT_EQ(g.HeaderColumns(), (std::vector<int>{r.cDown, r.cNick, r.cIp, r.cUp}));
    g.MoveColumn(r.cDown, 99);
    EXPECT_EQ(g.HeaderColumns(), (std::vector<int>{r.cNick, r.cIp, r.cUp, r.cDown}));
}

// Thousands of rows take the sort's byte-at-a-time path: every order must still be the
// plain comparison's. The reference sorts the table's own values: nulls first going up and
// last going down, numbers by value, texts by their 1251 bytes, equal values by identity
// and then by place, groups of num first when grouped.
TEST(GridSorting, ManyRowsInTheOrderOfThePlainComparison)
{
    struct Case {
        const char* what;
        bool text;              // sort the text column, else the float column
        TColumnSort dir;
        bool shuffledIdentities;
        bool groupedByNum;
    } cases[] = {
        {"texts up", true, csUp, false, false},
        {"texts down", true, csDown, false, false},
        {"texts up, identities out of table order", true, csUp, true, false},
        {"texts down, identities out of table order", true, csDown, true, false},
        {"texts up inside groups", true, csUp, true, true},
        {"floats up", false, csUp, false, false},
        {"floats down, identities out of table order", false, csDown, true, false},
    };
    Lcg next{12345};
    for (const Case& c : cases) {
        gridtest::PlainGrid p;
        const int rows = 6000;
        std::vector<int32_t> ids(rows);
        for (int i = 0; i < rows; ++i) ids[i] = i + 1;
        if (c.shuffledIdentities)
            for (int i = rows - 1; i > 0; --i) std::swap(ids[i], ids[next() % (i + 1)]);
        p.table.FreezeControls();   // one rebuild for the whole load
        for (int i = 0; i < rows; ++i) {
            std::string text = kStems[next() % kStemCount];
            if (next() % 3) text += std::to_string(next() % 500);
            const uint32_t r = next() % 40;
            const std::optional<double> real =
                r == 0 ? std::nullopt : std::optional<double>((static_cast<int>(next() % 2001) - 1000) * 0.25);
            p.Add(ids[i], static_cast<int32_t>(next() % 4), real, r == 1 ? std::nullopt : std::optional<std::string>(text));
        }
        p.table.ReleaseControls();

        std::vector<int> order(rows);
        for (int i = 0; i < rows; ++i) order[i] = i;
        const TRecordField& f = c.text ? p.text : p.real;
        const auto cmpValue = [&](const TRecord* a, const TRecord* b) {
            const bool an = p.table.IsNull(a, f), bn = p.table.IsNull(b, f);
            if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
            if (!c.text) {
                const double x = p.table.GetFloat(a, f), y = p.table.GetFloat(b, f);
                return x < y ? -1 : (x > y ? 1 : 0);
            }
            const std::string_view x = p.table.GetString(a, f), y = p.table.GetString(b, f);
            const int v = x.compare(y);
            return v < 0 ? -1 : (v > 0 ? 1 : 0);
        };
        std::stable_sort(order.begin(), order.end(), [&](int i, int j) {
            const TRecord* a = p.table.RecordAt(i);
            const TRecord* b = p.table.RecordAt(j);
            if (c.groupedByNum) {
                const int32_t x = p.table.GetInteger(a, p.num), y = p.table.GetInteger(b, p.num);
                if (x != y) return x < y;
            }
            const int v = cmpValue(a, b);
            if (v != 0) return c.dir == csUp ? v < 0 : v > 0;
            return p.table.GetInteger(a, p.key) < p.table.GetInteger(b, p.key);
        });
        std::vector<int32_t> expected;
        for (int i : order) expected.push_back(p.table.GetInteger(p.table.RecordAt(i), p.key));

        if (c.groupedByNum) p.grid.GroupByColumn(p.cNum, 0);
        for (int col = 0; col < p.grid.ColumnCount(); ++col)
            if (p.grid.Column(col).GroupIndex < 0) p.grid.Column(col).Sorted = csNone;
        p.grid.Column(c.text ? p.cText : p.cReal).Sorted = c.dir;
        p.grid.LayoutChanged();
        p.grid.ExpandAll();
        EXPECT_EQ(p.Keys(), expected) << c.what;
    }
}

// Thousands of rows grouped at one and two levels, up and down: the tree (groups in the
// order of their values, each row under the group of its values, rows of a group in table
// order) as an outline, against the outline of the table's rows sorted by their values.
// Numbers group by value (0 and -0 are one group), texts by their bytes, blanks together.
TEST(GridGrouping, ManyRowsGroupByTheirValues)
{
    struct Level {
        int which;   // 0 num, 1 real, 2 text
        TColumnSort dir;
    };
    struct Case {
        const char* what;
        std::vector<Level> levels;
        bool manyGroups;   // tens of thousands of texts: the grouping sorts rather than hashes
    } cases[] = {
        {"numbers up, then texts up", {{0, csUp}, {2, csUp}}, false},
        {"texts down", {{2, csDown}}, false},
        {"floats up, -0 with 0", {{1, csUp}}, false},
        {"texts up, then numbers down", {{2, csUp}, {0, csDown}}, false},
        {"many texts down", {{2, csDown}}, true},
        {"numbers up, then many texts up", {{0, csUp}, {2, csUp}}, true},
        {"many texts up, then numbers down", {{2, csUp}, {0, csDown}}, true},
    };
    Lcg next{777};
    for (const Case& c : cases) {
        gridtest::PlainGrid p;
        const int rows = c.manyGroups ? 24000 : 5000;
        p.table.FreezeControls();
        for (int i = 0; i < rows; ++i) {
            std::string text = kStems[next() % kStemCount];
            if (c.manyGroups) text += std::to_string(next() % 1000000);
            else if (next() % 2) text += std::to_string(next() % 300);
            const uint32_t r = next() % 50;
            const std::optional<double> real = r == 0   ? std::nullopt
                                               : r == 1 ? std::optional<double>(-0.0)
                                                        : std::optional<double>(static_cast<int>(next() % 61) - 30);
            const std::optional<int32_t> num =
                next() % 30 == 0 ? std::nullopt : std::optional<int32_t>(static_cast<int32_t>(next() % 25) - 5);
            p.Add(i + 1, num, real, next() % 25 == 0 ? std::nullopt : std::optional<std::string>(text));
        }
        p.table.ReleaseControls();

        const TRecordField* fields[] = {&p.num, &p.real, &p.text};
        const int columns[] = {p.cNum, p.cReal, p.cText};
        // -1, 0, 1 as the values compare: blanks first, numbers by value, texts by bytes.
        const auto compare = [&](int i, int j, const TRecordField& f) {
            const TRecord* a = p.table.RecordAt(i);
            const TRecord* b = p.table.RecordAt(j);
            const bool an = p.table.IsNull(a, f), bn = p.table.IsNull(b, f);
            if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
            if (f.Kind == ftString) {
                const int v = p.table.GetString(a, f).compare(p.table.GetString(b, f));
                return v < 0 ? -1 : (v > 0 ? 1 : 0);
            }
            const double x = f.Kind == ftInteger ? p.table.GetInteger(a, f) : p.table.GetFloat(a, f);
            const double y = f.Kind == ftInteger ? p.table.GetInteger(b, f) : p.table.GetFloat(b, f);
            return x < y ? -1 : (x > y ? 1 : 0);
        };
        std::vector<int> order(rows);
        for (int i = 0; i < rows; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](int i, int j) {
            for (const Level& l : c.levels) {
                const int v = compare(i, j, *fields[l.which]);
                if (v != 0) return l.dir == csUp ? v < 0 : v > 0;
            }
            return false;
        });
        std::vector<std::string> expected;
        for (size_t k = 0; k < order.size(); ++k) {
            size_t from = c.levels.size();   // the first level whose value changes here
            for (size_t l = 0; l < c.levels.size() && k > 0; ++l)
                if (compare(order[k - 1], order[k], *fields[c.levels[l].which]) != 0) {
                    from = l;
                    break;
                }
            if (k == 0) from = 0;
            for (size_t l = from; l < c.levels.size(); ++l) expected.push_back("g" + std::to_string(l));
            expected.push_back("r" + std::to_string(p.table.GetInteger(p.table.RecordAt(order[k]), p.key)));
        }

        for (size_t l = 0; l < c.levels.size(); ++l) p.grid.GroupByColumn(columns[c.levels[l].which], static_cast<int>(l));
        for (const Level& l : c.levels) p.grid.Column(columns[l.which]).Sorted = l.dir;
        p.grid.LayoutChanged();
        std::vector<std::string> outline;
        const std::function<void(TGridNode*)> walk = [&](TGridNode* node) {
            if (TGridEngine::IsGroup(node)) {
                outline.push_back("g" + std::to_string(TGridEngine::Level(node)));
                for (int k = 0; k < TGridEngine::ChildCount(node); ++k) walk(TGridEngine::Child(node, k));
            } else {
                outline.push_back("r" + std::to_string(p.table.GetInteger(p.grid.Record(node), p.key)));
            }
        };
        for (int k = 0; k < p.grid.TopCount(); ++k) walk(p.grid.Top(k));
        EXPECT_EQ(outline, expected) << c.what;
    }
}
