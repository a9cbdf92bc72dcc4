// The grid control driven with real mouse and key events on the offscreen platform.
#include "GridTestKit.h"
#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>

using namespace gridtest;

namespace {

class DataGridTest : public GridFixture {};

QPoint CaptionPoint(TDataGrid* grid, int column)
{
    const QRect r = grid->HeaderCellRect(column);
    return QPoint(r.left() + 12, r.center().y());
}

// ---------------------------------------------------------------------------------------
// Header

TEST_F(DataGridTest, HeaderClickSortsAndCtrlClickRemovesTheSort)
{
    E().Column(kCity).Sorted = csUp;
    E().LayoutChanged();
    struct Step {
        Qt::KeyboardModifiers mods;
        TColumnSort nameSort;
        std::vector<std::string> names;
    };
    const Step steps[] = {
        {Qt::NoModifier, csUp, {"", "Alice", "bob", "carl", "dave"}},
        {Qt::NoModifier, csDown, {"dave", "carl", "bob", "Alice", ""}},
        {Qt::ControlModifier, csNone, {"bob", "Alice", "carl", "", "dave"}},
        {Qt::NoModifier, csUp, {"", "Alice", "bob", "carl", "dave"}},
    };
    for (const Step& s : steps) {
        Click(grid, CaptionPoint(grid, kName), s.mods);
        EXPECT_EQ(E().Column(kName).Sorted, s.nameSort);
        EXPECT_EQ(E().Column(kCity).Sorted, csNone) << "only one column is sorted";
        if (s.nameSort != csNone)
            EXPECT_EQ(Column(kName), s.names);
        else
            EXPECT_EQ(Column(kId), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    }
}

TEST_F(DataGridTest, ColumnsFillTheWidthAndFollowResizeAndMove)
{
    const auto total = [&] {
        int sum = 0;
        for (int c : E().HeaderColumns())
            sum += E().DisplayWidth(c);
        return sum;
    };
    EXPECT_EQ(E().ViewWidth(), grid->width() - 12);
    EXPECT_EQ(total(), E().ViewWidth());
    for (QScrollBar* bar : grid->findChildren<QScrollBar*>())
        EXPECT_FALSE(bar->isVisible() && bar->orientation() == Qt::Horizontal) << "no horizontal scroll bar";

    // Dragging the right edge of the first header widens it; the others make room.
    const QRect idCell = grid->HeaderCellRect(kId);
    const int before = E().DisplayWidth(kId);
    Drag(grid, QPoint(idCell.right(), idCell.center().y()), QPoint(idCell.right() + 40, idCell.center().y()));
    EXPECT_NEAR(E().DisplayWidth(kId), before + 40, 2);
    EXPECT_EQ(total(), E().ViewWidth());

    // The window grows: the columns grow with it.
    window->resize(820, 420);
    QApplication::processEvents();
    EXPECT_EQ(E().ViewWidth(), grid->width() - 12);
    EXPECT_EQ(total(), E().ViewWidth());

    // Dragging the amount header onto the left half of the id header puts it first.
    const QRect amountCell = grid->HeaderCellRect(kAmount);
    Drag(grid, CaptionPoint(grid, kAmount), QPoint(grid->HeaderCellRect(kId).left() + 4, amountCell.center().y()));
    EXPECT_EQ(E().HeaderColumns(), (std::vector<int>{kAmount, kId, kName, kCity}));
    EXPECT_EQ(E().Column(kAmount).Sorted, csNone) << "a drag is not a click";
    // And back between name and city.
    const QRect cityCell = grid->HeaderCellRect(kCity);
    Drag(grid, CaptionPoint(grid, kAmount), QPoint(cityCell.left() + 3, cityCell.center().y()));
    EXPECT_EQ(E().HeaderColumns(), (std::vector<int>{kId, kName, kAmount, kCity}));
}

// ---------------------------------------------------------------------------------------
// Group panel

TEST_F(DataGridTest, DraggingHeadersToTheGroupPanelGroupsAtTheDroppedPlace)
{
    QWidget* panel = grid->findChild<QWidget*>("GroupPanel");
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_TRUE(grid->GroupButtonRect(0).isEmpty());

    const QPoint inPanel = panel->geometry().center();
    Drag(grid, CaptionPoint(grid, kCity), inPanel);
    ASSERT_EQ(E().GroupColumnCount(), 1);
    EXPECT_EQ(E().GroupColumn(0), kCity);
    EXPECT_EQ(E().HeaderColumns(), (std::vector<int>{kId, kName, kAmount}));
    EXPECT_EQ(E().Column(kCity).Sorted, csUp);
    // Group rows come collapsed: one line per city.
    EXPECT_EQ(E().LineCount(), 3);
    EXPECT_EQ(Column(kId), (std::vector<std::string>{"Город : Киев ", "Город : Минск ", "Город : Москва "}));

    // The amount header dropped left of the city button becomes the outer level.
    const QRect cityButton = grid->GroupButtonRect(0);
    ASSERT_FALSE(cityButton.isEmpty());
    Drag(grid, CaptionPoint(grid, kAmount), QPoint(cityButton.left() + 2, cityButton.center().y()));
    ASSERT_EQ(E().GroupColumnCount(), 2);
    EXPECT_EQ(E().GroupColumn(0), kAmount);
    EXPECT_EQ(E().GroupColumn(1), kCity);

    // Dragging the city button out of the panel ends that grouping.
    const QRect rows = grid->CellRect(E().Line(0).Node, -1);
    Drag(grid, grid->GroupButtonRect(1).center(), rows.center());
    ASSERT_EQ(E().GroupColumnCount(), 1);
    EXPECT_EQ(E().GroupColumn(0), kAmount);
    EXPECT_EQ(E().HeaderColumns().size(), 3u);

    // The amount button dropped on the header's left end comes back there.
    const QRect idCell = grid->HeaderCellRect(kId);
    Drag(grid, grid->GroupButtonRect(0).center(), QPoint(idCell.left() + 3, idCell.center().y()));
    EXPECT_EQ(E().GroupColumnCount(), 0);
    EXPECT_EQ(E().HeaderColumns(), (std::vector<int>{kAmount, kId, kName, kCity}));
    EXPECT_EQ(E().LineCount(), 5);
}

TEST_F(DataGridTest, GroupPanelShowsTheHintOnlyWhileUngrouped)
{
    QWidget* panel = grid->findChild<QWidget*>("GroupPanel");
    ASSERT_TRUE(panel);
    const QImage ungrouped = grid->grab().toImage();
    const QColor background = ungrouped.pixelColor(panel->geometry().right() - 2, panel->geometry().top() + 2);
    // The hint sits left in the panel; its letters differ from the panel's colour.
    const QRect hintArea(panel->geometry().left() + 4, panel->geometry().top() + 4, 300, panel->height() - 8);
    EXPECT_GT(CountOtherThan(ungrouped, hintArea, background), 100);

    GroupBy(kCity);
    const QImage grouped = grid->grab().toImage();
    const QRect button = grid->GroupButtonRect(0);
    ASSERT_FALSE(button.isEmpty());
    const QRect afterButton(button.right() + 4, hintArea.top(), 200, hintArea.height());
    EXPECT_EQ(CountOtherThan(grouped, afterButton, background), 0) << "no hint once grouped";
    EXPECT_NE(grouped.pixelColor(button.center() + QPoint(0, button.height() / 2 - 3)), background);
}

// ---------------------------------------------------------------------------------------
// Rows

TEST_F(DataGridTest, GroupRowsExpandAndCollapseByKeysDoubleClickAndButton)
{
    GroupBy(kCity);
    TGridNode* kiev = GroupRow(0);
    ASSERT_TRUE(kiev);
    EXPECT_FALSE(TGridEngine::Expanded(kiev));

    Click(grid, grid->CellRect(kiev, -1).center());
    EXPECT_EQ(E().FocusedNode(), kiev);
    QTest::keyClick(grid, Qt::Key_Right);
    EXPECT_TRUE(TGridEngine::Expanded(kiev));
    EXPECT_EQ(E().LineCount(), 5);
    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_FALSE(TGridEngine::Expanded(kiev));
    EXPECT_EQ(E().LineCount(), 3);

    DoubleClick(grid, grid->CellRect(kiev, -1).center());
    EXPECT_TRUE(TGridEngine::Expanded(kiev));
    DoubleClick(grid, grid->CellRect(kiev, -1).center());
    EXPECT_FALSE(TGridEngine::Expanded(kiev));

    TGridNode* minsk = GroupRow(1);
    Click(grid, grid->ExpandButtonRect(minsk).center());
    EXPECT_TRUE(TGridEngine::Expanded(minsk));
    EXPECT_EQ(Column(kName), (std::vector<std::string>{"Город : Киев ", "Город : Минск ", "dave", "Город : Москва "}));
    Click(grid, grid->ExpandButtonRect(minsk).center());
    EXPECT_FALSE(TGridEngine::Expanded(minsk));

    // Left on a data row's group leads back to it, Left again collapses.
    E().SetExpanded(minsk, true);
    Click(grid, grid->CellRect(NodeWhere(kName, "dave"), kName).center());
    EXPECT_EQ(E().FocusedColumn(), kName);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(E().FocusedNode(), minsk);
    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_FALSE(TGridEngine::Expanded(minsk));
}

class DataGridManyRowsTest : public GridFixture {
protected:
    void SetUp() override
    {
        GridFixture::SetUp();
        std::vector<TRow> rows;
        static std::vector<std::string> names;
        names.clear();
        for (int i = 0; i < 200; ++i)
            names.push_back("n" + std::to_string(1000 + i));
        for (int i = 0; i < 200; ++i)
            rows.push_back({100 + i, names[i].c_str(), "Тула", double(i)});
        Fill(rows);
        QApplication::processEvents();
    }
};

TEST_F(DataGridManyRowsTest, KeysMoveTheFocusAndTheViewFollows)
{
    ASSERT_EQ(E().LineCount(), 205);
    const int page = grid->LinesPerPage();
    ASSERT_GT(page, 5);
    QScrollBar* bar = grid->findChild<QScrollBar*>("VerticalScrollBar");
    ASSERT_TRUE(bar && bar->isVisible());

    QTest::keyClick(grid, Qt::Key_Home);
    EXPECT_EQ(E().LineOf(E().FocusedNode()), 0);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(E().LineOf(E().FocusedNode()), 2);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(E().LineOf(E().FocusedNode()), 1);
    EXPECT_EQ(grid->TopLine(), 0);

    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(E().LineOf(E().FocusedNode()), 1 + page);
    EXPECT_EQ(grid->TopLine(), page);
    QTest::keyClick(grid, Qt::Key_PageUp);
    EXPECT_EQ(E().LineOf(E().FocusedNode()), 1);
    EXPECT_EQ(grid->TopLine(), 0);

    QTest::keyClick(grid, Qt::Key_End);
    EXPECT_EQ(E().LineOf(E().FocusedNode()), 204);
    EXPECT_EQ(grid->TopLine(), 205 - page);
    EXPECT_FALSE(grid->CellRect(E().FocusedNode(), kName).isEmpty()) << "the focused row is in view";

    // A click focuses row and column.
    TGridNode* top = E().Line(grid->TopLine() + 1).Node;
    Click(grid, grid->CellRect(top, kCity).center());
    EXPECT_EQ(E().FocusedNode(), top);
    EXPECT_EQ(E().FocusedColumn(), kCity);
}

TEST_F(DataGridTest, IndicatorMarksTheFocusedRow)
{
    TGridNode* carl = NodeWhere(kName, "carl");
    TGridNode* bob = NodeWhere(kName, "bob");
    Click(grid, grid->CellRect(carl, kName).center());
    const QImage img = grid->grab().toImage();
    const auto indicator = [&](TGridNode* n) {
        const QRect cell = grid->CellRect(n, kId);
        return QRect(2, cell.top() + 2, 8, cell.height() - 4);
    };
    const QColor face = ToQColor(E().HeaderColor);
    EXPECT_GT(CountOtherThan(img, indicator(carl), face), 6);
    EXPECT_EQ(CountOtherThan(img, indicator(bob), face), 0);
}

// Group footers and the summary footer hold the engine's texts where they belong.
class DataGridFootersTest : public GridFixture {
protected:
    void Configure(TGridEngine& e) override
    {
        GridFixture::Configure(e);
        TSummaryGroup& g = e.AddSummaryGroup();
        g.Name = "sums";
        g.DefaultGroup = true;
        g.SummaryItems.push_back({"m_amount", "amount", cstSum, A("(SUM=0.00)")});
        e.Column(kCity).GroupIndex = 0;
        e.LayoutChanged();
    }
};

TEST_F(DataGridFootersTest, FooterLinesFollowTheirGroupsAndTheSummaryFooterIsPainted)
{
    E().ExpandAll();
    QApplication::processEvents();
    int footers = 0;
    for (int i = 0; i < E().LineCount(); ++i)
        if (E().Line(i).Footer >= 0) {
            ++footers;
            EXPECT_TRUE(E().IsExistRowFooterCell(E().Line(i).Node, E().Line(i).Footer, kAmount));
        }
    EXPECT_EQ(footers, 3);
    const QImage img = grid->grab().toImage();
    const QRect sum = grid->SummaryFooterCellRect(kAmount);
    ASSERT_FALSE(sum.isEmpty());
    EXPECT_GT(CountOtherThan(img, sum.adjusted(2, 2, -2, -2), ToQColor(E().HeaderColor)), 40);
    EXPECT_TRUE(grid->SummaryFooterCellRect(kName).isValid());
    EXPECT_EQ(Cp1251ToUtf8(E().SummaryFooterText(kAmount)), "Итого: 26.50");
}

// ---------------------------------------------------------------------------------------
// The painting hook

struct THookCall {
    TGridNode* node;
    int column;
    bool selected, focused, newItem;
    std::string text;
    TColor color;
    TAlignment alignment;
    QRect rect;
};

TEST_F(DataGridTest, HookGetsTheCellsArguments)
{
    GroupBy(kCity);
    E().ExpandAll();
    TGridNode* alice = NodeWhere(kName, "Alice");
    Click(grid, grid->CellRect(alice, kAmount).center());
    std::vector<THookCall> calls;
    grid->OnCustomDrawCell = [&](TDataGrid* Sender, QPainter* ACanvas, const QRect& ARect, TGridNode* ANode,
                                 TDataGridColumn* AColumn, bool ASelected, bool AFocused, bool ANewItemRow,
                                 AnsiString& AText, TColor& AColor, QFont& AFont, TAlignment& AAlignment, bool& ADone) {
        EXPECT_EQ(Sender, grid);
        EXPECT_TRUE(ACanvas && ACanvas->isActive());
        EXPECT_FALSE(ADone);
        EXPECT_EQ(AFont, ToQFont(E().Font));
        calls.push_back({ANode, AColumn->Index(), ASelected, AFocused, ANewItemRow, AText, AColor, AAlignment, ARect});
    };
    grid->grab();
    ASSERT_FALSE(calls.empty());
    int groupCalls = 0, dataCalls = 0;
    for (const THookCall& c : calls) {
        EXPECT_FALSE(c.newItem);
        if (TGridEngine::IsGroup(c.node)) {
            ++groupCalls;
            EXPECT_EQ(c.column, kCity);
            EXPECT_EQ(c.text, E().GroupRowText(c.node));
            EXPECT_EQ(c.color, E().GroupNodeColor);
            EXPECT_EQ(c.rect, grid->CellRect(c.node, -1).adjusted(0, 0, 0, -1));
        } else {
            ++dataCalls;
            EXPECT_EQ(c.text, E().DisplayText(c.node, c.column));
            EXPECT_EQ(c.alignment, E().ColumnAlignment(c.column));
            EXPECT_EQ(c.selected, c.node == alice);
            EXPECT_EQ(c.focused, c.node == alice && c.column == kAmount);
            EXPECT_EQ(c.color, c.focused ? clHighlight : E().Color);
            EXPECT_EQ(c.rect, grid->CellRect(c.node, c.column).adjusted(0, 0, -1, -1));
        }
    }
    EXPECT_EQ(groupCalls, 3);
    EXPECT_EQ(dataCalls, 5 * 3) << "each data cell of the header columns once";
    EXPECT_EQ(E().ColumnAlignment(kAmount), taRightJustify);
}

TEST_F(DataGridTest, HookColourTextAndDone)
{
    TGridNode* bob = NodeWhere(kName, "bob");
    TGridNode* carl = NodeWhere(kName, "carl");
    TGridNode* dave = NodeWhere(kName, "dave");
    Click(grid, grid->CellRect(dave, kId).center());
    grid->OnCustomDrawCell = [&](TDataGrid*, QPainter* ACanvas, const QRect& ARect, TGridNode* ANode,
                                 TDataGridColumn* AColumn, bool, bool, bool, AnsiString& AText, TColor& AColor, QFont&,
                                 TAlignment& AAlignment, bool& ADone) {
        if (AColumn->Index() != kName)
            return;
        if (ANode == bob) {
            AColor = 0x0000FF;   // red
            AText.clear();
        } else if (ANode == carl) {
            ACanvas->fillRect(ARect, QColor(0, 255, 0));
            AColor = 0x0000FF;
            ADone = true;
        } else if (ANode == dave) {
            AColor = 0xFF0000;   // blue, but the grid paints nothing
            ADone = true;
        } else {
            AAlignment = taRightJustify;
        }
    };
    const QImage img = grid->grab().toImage();
    const QRect bobCell = grid->CellRect(bob, kName).adjusted(0, 0, -1, -1);
    EXPECT_EQ(CountOtherThan(img, bobCell, QColor(255, 0, 0)), 0) << "filled with AColor, no text";
    const QRect carlCell = grid->CellRect(carl, kName).adjusted(0, 0, -1, -1);
    EXPECT_EQ(CountOtherThan(img, carlCell, QColor(0, 255, 0)), 0) << "ADone: the hook's own painting stays";
    const QRect daveCell = grid->CellRect(dave, kName).adjusted(0, 0, -1, -1);
    EXPECT_EQ(CountOtherThan(img, daveCell, QColor(0, 0, 255)), daveCell.width() * daveCell.height())
        << "ADone: no fill with AColor";
    // Alice's name moved to the right.
    const QRect aliceCell = grid->CellRect(NodeWhere(kName, "Alice"), kName).adjusted(0, 0, -1, -1);
    const QColor white = ToQColor(E().Color);
    EXPECT_EQ(CountOtherThan(img, QRect(aliceCell.topLeft(), QSize(aliceCell.width() / 2, aliceCell.height())), white), 0);
    EXPECT_GT(CountOtherThan(img, QRect(aliceCell.center().x(), aliceCell.top(), aliceCell.width() / 2, aliceCell.height()),
                             white), 10);
}

// ---------------------------------------------------------------------------------------
// Deleting

TEST_F(DataGridTest, CtrlDeleteAsksAndDeletesOnlyOnOk)
{
    struct Case {
        QMessageBox::StandardButton answer;
        int recordsAfter;
    };
    for (const Case c : {Case{QMessageBox::Cancel, 5}, Case{QMessageBox::Ok, 4}}) {
        TGridNode* carl = NodeWhere(kName, "carl");
        ASSERT_TRUE(carl);
        Click(grid, grid->CellRect(carl, kName).center());
        bool asked = false;
        WhenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_TRUE(box);
            asked = true;
            EXPECT_EQ(box->objectName(), "DeleteConfirm");
            EXPECT_EQ(box->windowTitle(), Q("Вопрос"));
            EXPECT_EQ(box->text(), Q("Удалить запись ?"));
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
            box->button(c.answer)->click();
        });
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_TRUE(asked);
        EXPECT_EQ(table.GetRecordCount(), c.recordsAfter);
        EXPECT_EQ(NodeWhere(kName, "carl") != nullptr, c.answer == QMessageBox::Cancel);
    }
    // Delete without Ctrl does nothing; Ctrl+Delete on a group row asks nothing.
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(table.GetRecordCount(), 4);
    GroupBy(kCity);
    Click(grid, grid->CellRect(GroupRow(0), -1).center());
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(table.GetRecordCount(), 4);
}

// ---------------------------------------------------------------------------------------
// Inserting

TEST_F(DataGridTest, InsertTypeAndMoveAwayPostsTheRecord)
{
    TGridNode* carl = NodeWhere(kName, "carl");
    Click(grid, grid->CellRect(carl, kName).center());
    QTest::keyClick(grid, Qt::Key_Insert);
    ASSERT_TRUE(E().Inserting());
    EXPECT_EQ(E().NewRowBefore(), carl);
    auto* editor = grid->findChild<QLineEdit*>("CellEditor");
    ASSERT_TRUE(editor && editor->isVisible());
    EXPECT_TRUE(editor->hasFocus());
    EXPECT_EQ(editor->geometry(), grid->NewRowCellRect(kName).adjusted(0, 0, -1, -1));
    EXPECT_EQ(editor->text(), QString());
    // The new row stands right above carl's.
    EXPECT_EQ(grid->NewRowCellRect(kName).bottom() + 1, grid->CellRect(carl, kName).top());

    TypeText(editor, Q("Жора"));
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(Cp1251ToUtf8(E().NewRowText(kName)), "Жора");
    editor = grid->findChild<QLineEdit*>("CellEditor");
    EXPECT_EQ(editor->geometry(), grid->NewRowCellRect(kCity).adjusted(0, 0, -1, -1));
    TypeText(editor, Q("Тверь"));
    QTest::keyClick(editor, Qt::Key_Down);

    EXPECT_FALSE(E().Inserting());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(table.GetRecordCount(), 6);
    TGridNode* added = NodeWhere(kName, "Жора");
    ASSERT_TRUE(added);
    EXPECT_EQ(Cp1251ToUtf8(E().DisplayText(added, kCity)), "Тверь");
    // The record went in before carl's in the table.
    table.MoveFirst();
    std::vector<std::string> names;
    for (; !table.AtEnd(); table.MoveNext())
        names.push_back(Cp1251ToUtf8(table.GetString(*name)));
    EXPECT_EQ(names, (std::vector<std::string>{"bob", "Alice", "Жора", "carl", "", "dave"}));
}

TEST_F(DataGridTest, NewRowIsCancelledByEscByLeavingUntouchedAndByLosingFocus)
{
    const auto startInsert = [&] {
        Click(grid, grid->CellRect(NodeWhere(kName, "bob"), kName).center());
        QTest::keyClick(grid, Qt::Key_Insert);
        ASSERT_TRUE(E().Inserting());
    };
    auto* editor = grid->findChild<QLineEdit*>("CellEditor");

    startInsert();
    QTest::keyClicks(editor, "zed");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_FALSE(E().Inserting());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(table.GetRecordCount(), 5);

    // Nothing typed: Up cancels and goes on to the row above.
    Click(grid, grid->CellRect(NodeWhere(kName, "carl"), kName).center());
    QTest::keyClick(grid, Qt::Key_Insert);
    ASSERT_TRUE(E().Inserting());
    QTest::keyClick(editor, Qt::Key_Up);
    EXPECT_FALSE(E().Inserting());
    EXPECT_EQ(table.GetRecordCount(), 5);
    EXPECT_EQ(E().FocusedNode(), NodeWhere(kName, "Alice"));

    // Clicking another row with nothing typed cancels too.
    startInsert();
    Click(grid, grid->CellRect(NodeWhere(kName, "dave"), kName).center());
    EXPECT_FALSE(E().Inserting());
    EXPECT_EQ(E().FocusedNode(), NodeWhere(kName, "dave"));
    EXPECT_EQ(table.GetRecordCount(), 5);

    // Focus to outside the grid: an untouched row goes, a touched one stays.
    startInsert();
    outside->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(E().Inserting());
    EXPECT_FALSE(editor->isVisible());

    startInsert();
    QTest::keyClicks(editor, "kept");
    outside->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(E().Inserting());
    EXPECT_TRUE(editor->isVisible());
    // Back in and away by a click on another row: posted.
    editor->setFocus();
    Click(grid, grid->CellRect(NodeWhere(kName, "dave"), kName).center());
    EXPECT_FALSE(E().Inserting());
    EXPECT_EQ(table.GetRecordCount(), 6);
    EXPECT_TRUE(NodeWhere(kName, "kept"));
}

TEST_F(DataGridTest, TextTheFieldRefusesShowsTheMessageAndKeepsTheRowInEditing)
{
    Click(grid, grid->CellRect(NodeWhere(kName, "bob"), kId).center());
    QTest::keyClick(grid, Qt::Key_Insert);
    auto* editor = grid->findChild<QLineEdit*>("CellEditor");
    ASSERT_TRUE(editor && editor->isVisible());
    EXPECT_EQ(editor->geometry(), grid->NewRowCellRect(kId).adjusted(0, 0, -1, -1));
    QTest::keyClicks(editor, "12x");
    QString shown;
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        shown = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->button(QMessageBox::Ok)->click();
    }, "ErrorBox");
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(shown, Q("'12x' is not a valid integer value for field 'id'"));
    EXPECT_TRUE(E().Inserting());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->text(), Q("12x"));
    EXPECT_EQ(table.GetRecordCount(), 5);

    editor->setText("77");
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_FALSE(E().Inserting());
    EXPECT_EQ(table.GetRecordCount(), 6);
    EXPECT_TRUE(NodeWhere(kId, "77"));
}

TEST_F(DataGridTest, ExistingRowsCannotBeEdited)
{
    TGridNode* bob = NodeWhere(kName, "bob");
    Click(grid, grid->CellRect(bob, kName).center());
    QTest::keyClick(grid, Qt::Key_Return);
    QTest::keyClicks(grid, "xyz");
    DoubleClick(grid, grid->CellRect(bob, kName).center());
    EXPECT_FALSE(grid->findChild<QLineEdit*>("CellEditor")->isVisible());
    EXPECT_EQ(Cp1251ToUtf8(E().DisplayText(NodeWhere(kId, "1"), kName)), "bob");
    EXPECT_EQ(table.State(), TTableState::Browsing);
}

} // namespace
