// The grid on the real widgets: rows hidden in collapsed groups, the filter dialog's round
// trip, the painting hook on the new row, the clipboard, the header and rows menus, the
// drop-down's width and tool tips for clipped texts.
#include "GridTestKit.h"
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>

using namespace gridtest;

namespace {

class GridAidsTest : public GridFixture {
protected:
    QListWidget* OpenDropDown(int column) { return OpenFilterDropDown(grid, column); }

    static void Choose(QListWidget* list, int row) { ChooseEntry(list, row); }

    // Opens the context menu at `pos` and hands it to `use` while it is up.
    QStringList Menu(const QPoint& pos, std::function<void(QMenu*)> use)
    {
        QStringList texts;
        QTimer::singleShot(20, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) {
                ADD_FAILURE() << "no menu";
                return;
            }
            for (QAction* a : menu->actions())
                texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            use(menu);
            if (menu->isVisible())
                menu->close();
        });
        QContextMenuEvent ev(QContextMenuEvent::Mouse, pos, grid->mapToGlobal(pos));
        QApplication::sendEvent(grid, &ev);
        QApplication::processEvents();
        return texts;
    }

    static void Trigger(QMenu* menu, const char* text)
    {
        for (QAction* a : menu->actions())
            if (a->text() == Q(text)) {
                menu->close();
                a->trigger();
                return;
            }
        ADD_FAILURE() << "no entry " << text;
    }

    // Whether a modal box came up while `act` ran (it is closed at once).
    bool AsksSomething(const std::function<void()>& act)
    {
        bool asked = false;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                asked = true;
                w->close();
            }
        });
        timer.start();
        act();
        QTest::qWait(50);
        return asked;
    }
};

// ---------------------------------------------------------------------------------------
// Rows the user cannot see

TEST_F(GridAidsTest, GroupingHandsTheFocusToTheGroupAndCtrlDeleteDeletesNothing)
{
    TGridNode* carl = NodeWhere(kName, "carl");   // the third row
    Click(grid, grid->CellRect(carl, kName).center());
    ASSERT_EQ(E().FocusedNode(), carl);
    Drag(grid, QPoint(grid->HeaderCellRect(kCity).left() + 12, grid->HeaderCellRect(kCity).center().y()),
         grid->findChild<QWidget*>("GroupPanel")->geometry().center());
    ASSERT_EQ(E().GroupColumnCount(), 1);
    ASSERT_TRUE(E().FocusedNode());
    EXPECT_TRUE(TGridEngine::IsGroup(E().FocusedNode()));
    EXPECT_EQ(Cp1251ToUtf8(E().GroupRowText(E().FocusedNode())), "Город : Москва ");
    EXPECT_FALSE(TGridEngine::Expanded(E().FocusedNode())) << "the groups stay collapsed";
    EXPECT_GE(E().LineOf(E().FocusedNode()), 0);

    EXPECT_FALSE(AsksSomething([&] { QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier); }));
    EXPECT_EQ(table.GetRecordCount(), 5);
}

TEST_F(GridAidsTest, ARowPostedIntoACollapsedGroupStaysInViewWithTheFocus)
{
    GroupBy(kCity);
    TGridNode* moscow = GroupRow(2);
    Click(grid, grid->CellRect(moscow, -1).center());
    QTest::keyClick(grid, Qt::Key_Insert);
    ASSERT_TRUE(E().Inserting());
    auto* editor = grid->findChild<QLineEdit*>("CellEditor");
    ASSERT_TRUE(editor && editor->hasFocus());
    // The city is the group column, out of the header: the row lands in a new group of
    // blank cities, which comes up collapsed like every group.
    TypeText(editor, "9");
    QTest::keyClick(editor, Qt::Key_Tab);
    TypeText(editor, "zed");
    QTest::keyClick(editor, Qt::Key_Down);
    ASSERT_FALSE(E().Inserting());
    EXPECT_EQ(table.GetRecordCount(), 6);
    ASSERT_TRUE(E().FocusedNode());
    EXPECT_EQ(E().DisplayText(E().FocusedNode(), kName), "zed");
    EXPECT_GE(E().LineOf(E().FocusedNode()), 0) << "its group opened";
    EXPECT_EQ(Cp1251ToUtf8(E().GroupRowText(GroupRow(0))), "Город :  ");
    EXPECT_TRUE(TGridEngine::Expanded(GroupRow(0)));
    for (int g = 1; g <= 3; ++g)
        EXPECT_FALSE(TGridEngine::Expanded(GroupRow(g))) << "the others stay collapsed";
    EXPECT_FALSE(grid->CellRect(E().FocusedNode(), kName).isEmpty()) << "and it is in view";
}

// ---------------------------------------------------------------------------------------
// Filter

TEST_F(GridAidsTest, TheCustomDialogUnchangedKeepsTheChosenFloat)
{
    Fill({{6, "big", "Тула", 9007199256509756.0}, {7, "bigger", "Тула", 9007199256509758.0}});
    QListWidget* list = OpenDropDown(kAmount);
    ASSERT_TRUE(list);
    int row = -1;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == AnsiToQString(FloatToDisplayText(9007199256509756.0)) && row < 0)
            row = i;
    ASSERT_GE(row, 0);
    Choose(list, row);
    ASSERT_EQ(Column(kName), (std::vector<std::string>{"big"}));

    list = OpenDropDown(kAmount);
    WhenModal([](QWidget* w) { w->findChild<QPushButton*>("OkButton")->click(); }, "CustomFilterDialog");
    Choose(list, 1);   // "(Выбор...)"
    EXPECT_EQ(Column(kName), (std::vector<std::string>{"big"}));
}

TEST_F(GridAidsTest, SubstringOperatorsFromTheDialog)
{
    QListWidget* list = OpenDropDown(kCity);
    WhenModal(
        [](QWidget* w) {
            auto* op = w->findChild<QComboBox*>("Operator1");
            op->setCurrentIndex(op->findText(Q("содержит")));
            w->findChild<QLineEdit*>("Value1")->setText(Q("ос"));
            w->findChild<QPushButton*>("OkButton")->click();
        },
        "CustomFilterDialog");
    Choose(list, 1);
    EXPECT_EQ(Column(kName), (std::vector<std::string>{"bob", "carl"}));
    EXPECT_EQ(grid->findChild<QLabel*>("FilterStatusText")->text(), Q("(Город LIKE %ос%)"));
}

TEST_F(GridAidsTest, TheDropDownNeverGrowsWiderThanTheScreen)
{
    const std::string longName(60, 'W');   // as long as the field takes
    Fill({{6, longName.c_str(), "Тула", 1}});
    E().Font.Size = 30;   // the list uses the grid's font
    grid->SettingsChanged();
    QListWidget* list = OpenDropDown(kName);
    ASSERT_TRUE(list);
    const QRect avail = grid->screen()->availableGeometry();
    ASSERT_GT(QFontMetrics(list->font()).horizontalAdvance(Q(longName.c_str())), avail.width());
    EXPECT_LE(list->width(), avail.width());
    EXPECT_TRUE(avail.contains(list->geometry())) << "scroll bar and all";
    QTest::keyClick(list, Qt::Key_Escape);
}

// ---------------------------------------------------------------------------------------
// Painting hook

TEST_F(GridAidsTest, TheHookPaintsTheNewRowsCellsToo)
{
    std::vector<std::pair<int, TGridValue>> newRowCalls;
    grid->OnCustomDrawCell = [&](TDataGrid* sender, QPainter*, const QRect&, TGridNode* node,
                                 TDataGridColumn* column, bool, bool, bool, AnsiString&, TColor& color, QFont&,
                                 TAlignment&, bool&) {
        if (!node || node != sender->Engine().NewRowNode())
            return;
        const TGridValue v = sender->Engine().Value(node, column->Index());
        newRowCalls.emplace_back(column->Index(), v);
        if (column->Index() == kAmount && v.kind == TGridValue::Float && v.f <= 1)
            color = clBtnFace;   // as the statistics page greys its small totals
    };
    Click(grid, grid->CellRect(NodeWhere(kName, "bob"), kAmount).center());
    QTest::keyClick(grid, Qt::Key_Insert);
    ASSERT_TRUE(E().Inserting());
    auto* editor = grid->findChild<QLineEdit*>("CellEditor");
    TypeText(editor, "1");
    QTest::keyClick(editor, Qt::Key_Backtab);   // stores the amount, the editor moves to the city
    newRowCalls.clear();
    const QImage shot = grid->grab().toImage();
    ASSERT_EQ(newRowCalls.size(), 4u) << "every cell of the new row";
    bool amountSeen = false;
    for (const auto& [column, value] : newRowCalls)
        if (column == kAmount)
            amountSeen = value.kind == TGridValue::Float && value.f == 1;
    EXPECT_TRUE(amountSeen);
    const QRect cell = grid->NewRowCellRect(kAmount);
    EXPECT_EQ(shot.pixelColor(cell.left() + 3, cell.center().y()), ToQColor(clBtnFace));
    QTest::keyClick(editor, Qt::Key_Escape);
}

// ---------------------------------------------------------------------------------------
// Clipboard and menus

TEST_F(GridAidsTest, CtrlCCopiesTheCellAndCtrlShiftCTheWholeGrid)
{
    Fill({{6, "tab\tинside", "Тула", 2.5}});
    Click(grid, grid->CellRect(NodeWhere(kName, "bob"), kCity).center());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Q("Москва"));
    Click(grid, grid->CellRect(NodeWhere(kName, "tab\tинside"), kName).center());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Q("tab\tинside"));

    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    ASSERT_EQ(lines.size(), 9);   // captions, six rows, the summary footer, the end
    EXPECT_EQ(lines[0], Q("Ид\tИмя\tГород\tСумма"));
    EXPECT_EQ(lines[1].section('\t', 0, 2), Q("1\tbob\tМосква"));
    EXPECT_EQ(lines[6], Q("6\t\"tab\tинside\"\tТула\t") + AnsiToQString(FloatToDisplayText(2.5)));
    EXPECT_EQ(lines[7], Q("\t\t\t") + AnsiToQString(E().SummaryFooterText(kAmount)));
    EXPECT_EQ(lines[8], QString());

    // The rows' context menu offers both.
    QGuiApplication::clipboard()->clear();
    const QPoint carl = grid->CellRect(NodeWhere(kName, "carl"), kName).center();
    const QStringList texts = Menu(carl, [](QMenu* m) { Trigger(m, "Копировать"); });
    EXPECT_EQ(texts, (QStringList{Q("Копировать"), Q("Копировать всё")}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Q("carl")) << "the row under the mouse";
    Menu(carl, [](QMenu* m) { Trigger(m, "Копировать всё"); });
    EXPECT_EQ(QGuiApplication::clipboard()->text(), AnsiToQString(E().CopyAllText()));
}

TEST_F(GridAidsTest, AHiddenGroupColumnComesBackFromTheHeaderMenu)
{
    // As the statistics page's hub: hidden and grouped.
    E().Column(kCity).Visible = false;
    GroupBy(kCity);
    const QRect rows = grid->CellRect(E().Line(0).Node, -1);
    Drag(grid, grid->GroupButtonRect(0).center(), rows.center());
    ASSERT_EQ(E().GroupColumnCount(), 0);
    ASSERT_EQ(E().HeaderColumns(), (std::vector<int>{kId, kName, kAmount}));

    const QPoint header = grid->HeaderCellRect(kName).center();
    bool cityChecked = true;
    const QStringList texts = Menu(header, [&](QMenu* m) {
        for (QAction* a : m->actions())
            if (a->text() == Q("Город"))
                cityChecked = a->isChecked();
        Trigger(m, "Город");
    });
    EXPECT_EQ(texts, (QStringList{Q("Ид"), Q("Имя"), Q("Город"), Q("Сумма"), "-", Q("Развернуть все"),
                                  Q("Свернуть все")}));
    EXPECT_FALSE(cityChecked);
    ASSERT_EQ(E().HeaderColumns(), (std::vector<int>{kId, kName, kCity, kAmount}));

    Drag(grid, QPoint(grid->HeaderCellRect(kCity).left() + 12, grid->HeaderCellRect(kCity).center().y()),
         grid->findChild<QWidget*>("GroupPanel")->geometry().center());
    ASSERT_EQ(E().GroupColumnCount(), 1);
    EXPECT_EQ(E().GroupColumn(0), kCity);

    Menu(header, [](QMenu* m) { Trigger(m, "Развернуть все"); });
    EXPECT_EQ(E().LineCount(), 8);
    Click(grid, grid->CellRect(NodeWhere(kName, "dave"), kName).center());
    Menu(header, [](QMenu* m) { Trigger(m, "Свернуть все"); });
    EXPECT_EQ(E().LineCount(), 3);
    EXPECT_EQ(E().FocusedNode(), GroupRow(1)) << "the focus stays on a line that is shown";
}

// ---------------------------------------------------------------------------------------
// Tool tips

TEST_F(GridAidsTest, AClippedCellShowsItsWholeTextAsAToolTip)
{
    const std::string path = "/home/user/share/a long folder name/another/file.txt";   // fits the field
    Fill({{6, path.c_str(), "Тула", 1}});
    const auto help = [&](const QPoint& pos) {
        QHelpEvent ev(QEvent::ToolTip, pos, grid->mapToGlobal(pos));
        QApplication::sendEvent(grid, &ev);
        return ev.isAccepted();
    };
    EXPECT_FALSE(help(grid->CellRect(NodeWhere(kName, "bob"), kName).center())) << "a text that fits";
    EXPECT_TRUE(help(grid->CellRect(NodeWhere(kName, path.c_str()), kName).center()));
    EXPECT_EQ(QToolTip::text(), Q(path.c_str()));
    QToolTip::hideText();
}

} // namespace
