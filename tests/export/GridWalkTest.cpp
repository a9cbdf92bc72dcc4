// The export walk: which rows, in what order, and the order of the steps.
#include "ExportFixture.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

using namespace exporttest;

namespace {

// Logs every step with the row counter at that moment.
class TRecordingExport : public TGridExport {
public:
    using TGridExport::TGridExport;
    std::vector<std::string> Log;
    std::string ThrowIn;   // step name (or row name) that raises

protected:
    void DoBeginWriting() override { Step("begin"); }
    void DoEndWriting() override { Step("end"); }
    void DoWriteHeader() override { Step("header"); }
    void DoWriteFooter() override { Step("footer"); }
    void DoWriteRecord(const TGridNode* node) override { Step(Name(node)); }

private:
    std::string Name(const TGridNode* node) const
    {
        return Cp1251ToUtf8(TGridEngine::IsGroup(node) ? Grid.GroupRowText(node)
                                                       : Grid.DisplayText(node, Grid.ColumnByName("col_nick")->Index()));
    }
    void Step(const std::string& name)
    {
        Log.push_back(name + "@" + std::to_string(RowCounter));
        if (name == ThrowIn)
            throw Exception("boom");
    }
};

// Two hubs: "hubA" with nicks b and a, "hubB" with c. Groups start collapsed.
struct TWalkFixture : ::testing::Test {
    TGridFixture f;
    void SetUp() override
    {
        ConfigureRatioLike(f);
        f.AddRows({{1, 10.0, 20.0, "10.0.0.1", "b", "hubA"},
                   {2, 30.0, 40.0, "10.0.0.2", "a", "hubA"},
                   {3, 50.0, 60.0, "10.0.0.3", "c", "hubB"}});
        ASSERT_EQ(f.Grid.TopCount(), 2);
    }
    std::vector<std::string> Walk(bool saveAll, const std::string& throwIn = "")
    {
        TRecordingExport e(f.Grid, "", saveAll);
        e.ThrowIn = throwIn;
        TMemoryStream out;
        e.SaveToStream(out);
        return e.Log;
    }
};

} // namespace

TEST_F(TWalkFixture, SaveAllWritesEveryRowDepthFirstWithCollapsedGroups)
{
    EXPECT_FALSE(TGridEngine::Expanded(f.Grid.Top(0)));
    const std::vector<std::string> expected = {"begin@0", "header@0", "Хаб : hubA @0", "a@1", "b@2",
                                               "Хаб : hubB @3", "c@4", "footer@5", "end@5"};
    EXPECT_EQ(Walk(true), expected);
}

TEST_F(TWalkFixture, SelectedRowsAreTheFocusedRowWithAncestorsAndDescendants)
{
    struct Case {
        const char* name;
        std::function<TGridNode*()> focus;
        std::vector<std::string> rows;
    };
    TGridEngine& g = f.Grid;
    const std::vector<Case> cases = {
        {"data row", [&] { return TGridEngine::Child(g.Top(0), 1); }, {"Хаб : hubA @0", "b@1"}},
        {"group row", [&] { return g.Top(1); }, {"Хаб : hubB @0", "c@1"}},
        {"nothing focused", [] { return nullptr; },
         {"Хаб : hubA @0", "a@1", "b@2", "Хаб : hubB @3", "c@4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g.SetFocusedNode(c.focus());
        std::vector<std::string> log = Walk(false);
        ASSERT_GE(log.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(log.begin() + 2, log.end() - 2), c.rows);
        // Save-all ignores the focus.
        EXPECT_EQ(Walk(true).size(), 9u);
    }
}

TEST_F(TWalkFixture, EndStepRunsAfterAnErrorAndTheErrorReachesTheCaller)
{
    for (const std::string step : {"header", "b", "footer"}) {
        SCOPED_TRACE(step);
        TRecordingExport e(f.Grid, "", true);
        e.ThrowIn = step;
        TMemoryStream out;
        try {
            e.SaveToStream(out);
            ADD_FAILURE() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message, "boom");
        }
        ASSERT_FALSE(e.Log.empty());
        EXPECT_EQ(e.Log.back().substr(0, 4), "end@");
        EXPECT_EQ(e.Log[e.Log.size() - 2].substr(0, step.size() + 1), step + "@");
    }
}

TEST_F(TWalkFixture, FilteredRowsAreNotWalked)
{
    TColumnFilter filter;
    TFilterCondition above;
    above.Op = TFilterOp::Greater;
    above.Value.kind = TGridValue::Float;
    above.Value.f = 25;
    filter.Conditions.push_back(above);
    f.Grid.SetColumnFilter(f.Grid.ColumnByName("m_vdx_ratio_DBGridupload")->Index(), filter);
    const std::vector<std::string> expected = {"begin@0", "header@0", "Хаб : hubA @0", "a@1",
                                               "Хаб : hubB @2", "c@3", "footer@4", "end@4"};
    EXPECT_EQ(Walk(true), expected);
}

TEST(GridWalk, GridWithoutDataSourceWritesNothing)
{
    TGridEngine grid;
    grid.AddColumn().FieldName = "x";
    EXPECT_EQ(ExportBytes(grid), "");
}
