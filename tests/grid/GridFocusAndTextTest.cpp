// Where the focus goes when rows become hidden or are posted, full-precision sums, and the
// grid as clipboard text.
#include "GridFixtures.h"

#include "platform/FormatSettings.h"

#include <gtest/gtest.h>

using gridtest::PlainGrid;
using gridtest::RatioGrid;

namespace {

std::vector<RatioGrid::Row> TwoHubs()
{
    return {{1, 10, 1, "1.1.1.1", "bob", "H1"},
            {2, 20, 2, "2.2.2.2", "amy", "H1"},
            {3, 40, 4, "3.3.3.3", "cid", "H2"}};
}

} // namespace

TEST(GridFocus, ARowHiddenByGroupingHandsTheFocusToItsGroup)
{
    RatioGrid r;
    TGridEngine& g = r.grid;
    g.UngroupColumn(r.cHub);
    r.Load(TwoHubs());
    TGridNode* bob = nullptr;
    for (int i = 0; i < g.LineCount(); ++i)
        if (g.DisplayText(g.Line(i).Node, r.cNick) == "bob") bob = g.Line(i).Node;
    ASSERT_TRUE(bob);
    g.SetFocusedNode(bob);

    g.GroupByColumn(r.cHub, 0);   // the groups come up collapsed
    ASSERT_TRUE(g.FocusedNode());
    EXPECT_TRUE(TGridEngine::IsGroup(g.FocusedNode()));
    EXPECT_EQ(g.GroupRowText(g.FocusedNode()), A("Хаб : H1 "));
    EXPECT_TRUE(g.FocusShown());
    EXPECT_FALSE(g.CanDeleteFocused());

    // Expanded, the user focuses a row; collapsing every group brings the focus up again,
    // and so does a reload.
    g.ExpandAll();
    g.SetFocusedNode(TGridEngine::Child(g.Top(0), 0));
    EXPECT_TRUE(g.CanDeleteFocused());
    g.CollapseAll();
    EXPECT_EQ(g.FocusedNode(), g.Top(0));
    g.SetExpanded(g.Top(1), true);
    g.SetFocusedNode(TGridEngine::Child(g.Top(1), 0));
    g.SetExpanded(g.Top(1), false);
    EXPECT_EQ(g.FocusedNode(), g.Top(1));

    // Nested groups: the outermost collapsed one takes it.
    g.GroupByColumn(r.cNick, 1);
    g.ExpandAll();
    TGridNode* inner = TGridEngine::Child(g.Top(0), 0);
    g.SetFocusedNode(TGridEngine::Child(inner, 0));
    g.SetExpanded(g.Top(0), false);
    EXPECT_EQ(g.FocusedNode(), g.Top(0));
}

TEST(GridFocus, ARowPostedIntoACollapsedGroupOpensItsGroups)
{
    RatioGrid r;
    TGridEngine& g = r.grid;
    g.GroupByColumn(r.cNick, 1);
    r.Load(TwoHubs());
    g.SetFocusedNode(g.Top(1));   // H2, collapsed
    g.BeginInsertBeforeFocused();
    ASSERT_TRUE(g.Inserting());
    g.SetNewRowText(r.cId, "9");
    g.SetNewRowText(r.cNick, "bob");
    g.SetNewRowText(r.cHub, "H1");
    g.LeaveNewRow();
    ASSERT_TRUE(g.FocusedNode());
    EXPECT_FALSE(TGridEngine::IsGroup(g.FocusedNode()));
    EXPECT_EQ(r.table.GetInteger(g.Record(g.FocusedNode()), r.id), 9);
    EXPECT_TRUE(g.FocusShown()) << "the posted row's groups are open";
    EXPECT_FALSE(TGridEngine::Expanded(g.Top(1))) << "other groups stay as they were";
}

TEST(GridFocus, InsertDoesNothingBeforeAHiddenRow)
{
    // Only reachable while the engine is driven directly: the focus is set on a hidden row.
    RatioGrid r;
    TGridEngine& g = r.grid;
    r.Load(TwoHubs());
    g.ExpandAll();
    TGridNode* row = TGridEngine::Child(g.Top(0), 0);
    g.SetFocusedNode(row);
    g.SetExpanded(g.Top(0), false);
    g.SetFocusedNode(row);   // hidden again, bypassing the rule
    EXPECT_FALSE(g.FocusShown());
    EXPECT_FALSE(g.CanDeleteFocused());
    g.BeginInsertBeforeFocused();
    EXPECT_FALSE(g.Inserting());
}

TEST(GridSummaries, LargeSumsKeepEveryDigit)
{
    RatioGrid r;
    r.Load({{1, 9007199256509756.0, 123456789012345678.0, "", "a", "H"}});
    TGridEngine& g = r.grid;
    EXPECT_EQ(g.SummaryFooterText(r.cUp), A("Сумма: 9007199256509756.00"));
    EXPECT_EQ(g.SummaryFooterText(r.cDown), A("Сумма: 123456789012345680.00"));
    g.ExpandAll();
    const TGridNode* row = TGridEngine::Child(g.Top(0), 0);
    EXPECT_EQ(g.GetFooterCellText(row, 0, r.cUp), "(SUM=9007199256509756.00)");
}

TEST(GridText, CopyAllHoldsTheExportsCellsInTreeOrder)
{
    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    RatioGrid r;
    r.Load({{1, 1.5, 9007199256509756.0, "1.1.1.1", "bob\tjr", "H1"},
            {2, std::nullopt, 2, "2.2.2.2", "a\"b", "H1"},
            {3, 40, 4, "3.3.3.3", "cid", "H2"}});
    TGridEngine& g = r.grid;
    // Collapsed groups are copied whole; the hidden hub column gives the group column.
    const std::string expected =
        "\tНик\tIP адрес\tОтдано\tПринято\n"
        "Хаб : H1 \t\t\t\t\n"
        "\t\"a\"\"b\"\t2.2.2.2\t0\t2\n"
        "\t\"bob\tjr\"\t1.1.1.1\t1,5\t9007199256509756\n"
        "\t\t\t(SUM=1,50)\t(SUM=9007199256509758,00)\n"
        "Хаб : H2 \t\t\t\t\n"
        "\tcid\t3.3.3.3\t40\t4\n"
        "\t\t\t(SUM=40,00)\t(SUM=4,00)\n"
        "\t\t\tСумма: 41,50\tСумма: 9007199256509762,00\n";
    EXPECT_EQ(Cp1251ToUtf8(g.CopyAllText()), expected);
    EXPECT_EQ(g.RowsInTreeOrder().size(), 5u);

    g.SetFocusedNode(g.Top(0));
    EXPECT_EQ(g.FocusedCellText(), A("Хаб : H1 "));
    g.ExpandAll();
    g.SetFocusedNode(TGridEngine::Child(g.Top(0), 1));
    g.SetFocusedColumn(r.cNick);
    EXPECT_EQ(g.FocusedCellText(), "bob\tjr") << "one cell is copied as it stands";
    FormatSettings() = saved;
}
