// The main window as designed, page switching, and the statistics and log pages.
#include "support_qt/AppFixture.h"
#include "app/VandrixDiscover.h"
#include "platform/Cp1251.h"
#include "platform/Screen.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>
#include <vector>

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder.MakeClientDatabases();
        folder.ExecMain(
            "insert into ratio values(1, 0, 0, '10.0.0.1', 'idle', 'hubA');"
            "insert into ratio values(2, 0, 500, '10.0.0.2', 'getter', 'hubA');"
            "insert into ratio values(3, 7, NULL, '2001:0db8:85a3:0000:0000:8a2e:0370:7334', 'giver', 'hubB');"
            "insert into ratio values(4, 1, 2, '10.0.0.4', 'edge', 'hubB');");
        std::string log = "begin;";
        for (int i = 1; i <= 150; ++i)
            log += "insert into vdx_log values(" + std::to_string(i) + ", 'f', '2026-01-01', 'body " +
                   std::to_string(i) + "', 'n');";
        folder.ExecLog(log + "commit;");
        window = std::make_unique<TVandrixDiscover>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void SelectPageByUser(int index)
    {
        // The tab bar's own click: a user's selection.
        QTabBar* bar = window->m_MainPageControl->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    ClientFolder folder;
    std::unique_ptr<TVandrixDiscover> window;
};

TEST_F(MainWindow, PagesToolTipStripsAndLimitBoxAreAsDesigned)
{
    QTabWidget* pages = window->m_MainPageControl;
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), QString::fromUtf8("Дубли в шаре"));
    EXPECT_EQ(pages->tabText(1), QString::fromUtf8("Статистика upload/download"));
    EXPECT_EQ(pages->tabText(2), QString::fromUtf8("Логи"));
    EXPECT_EQ(window->m_ExportToolButton->toolTip(), QString::fromUtf8("Экспорт в MS Excel"));
    EXPECT_EQ(window->findChild<QToolButton*>("m_ExportToolButton"), window->m_ExportToolButton);

    EXPECT_EQ(window->m_ShowAllIP->parentWidget(), window->m_FilterPanel);
    EXPECT_EQ(window->m_ShowAllIP->text(), QString::fromUtf8("Показать все подключения"));
    EXPECT_FALSE(window->m_ShowAllIP->isChecked());
    EXPECT_EQ(window->m_SearchButton->text(), QString::fromUtf8("Открыть"));
    EXPECT_EQ(window->Label1->text(), QString::fromUtf8("Кол-во записей"));
    EXPECT_EQ(window->m_SearchButton->parentWidget(), window->m_LogFilterPanel);

    QComboBox* limit = window->m_LimitBox;
    EXPECT_FALSE(limit->isEditable());
    ASSERT_EQ(limit->count(), 4);
    const std::vector<QString> items{"100", "1000", "10000", QString::fromUtf8("Все")};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(limit->itemText(i), items[i]);
    SelectPageByUser(2);
    QTest::keyClicks(limit, "55");
    EXPECT_EQ(limit->currentText(), "100");

    // Tab order on the log page: the button, then the limit box, then the grid.
    window->m_SearchButton->setFocus();
    QTest::keyClick(window->m_SearchButton, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->m_LimitBox);
    QTest::keyClick(window->m_LimitBox, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->m_LogsDBGrid);
    // On the statistics page the grid comes first, then the strip's check box.
    SelectPageByUser(1);
    window->m_vdx_ratio_DBGrid->setFocus();
    QTest::keyClick(window->m_vdx_ratio_DBGrid, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->m_ShowAllIP);
    QTest::keyClick(window->m_ShowAllIP, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), window->m_vdx_ratio_DBGrid);

    // Strips stand above their grids.
    SelectPageByUser(1);
    EXPECT_LT(window->m_FilterPanel->geometry().bottom(), window->m_vdx_ratio_DBGrid->geometry().top());
    EXPECT_EQ(window->m_FilterPanel->height(), 25);
    SelectPageByUser(2);
    EXPECT_LT(window->m_LogFilterPanel->geometry().bottom(), window->m_LogsDBGrid->geometry().top());
    EXPECT_EQ(window->m_LogFilterPanel->height(), 39);
}

TEST_F(MainWindow, FrameStandsAtTheDesignedPlaceAroundTheDesignedClientArea)
{
    EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(108, 209));
    EXPECT_EQ(window->pos(), QPoint(108, 209));
    EXPECT_EQ(window->size(), QSize(774, 530));
    // The frame's size is the platform's: the client area sits inside it.
    const QMargins frame(window->geometry().left() - window->frameGeometry().left(),
                         window->geometry().top() - window->frameGeometry().top(),
                         window->frameGeometry().right() - window->geometry().right(),
                         window->frameGeometry().bottom() - window->geometry().bottom());
    EXPECT_EQ(window->geometry().topLeft(), QPoint(108 + frame.left(), 209 + frame.top()));
    EXPECT_EQ(window->m_ToolBar->height(), 29);
    EXPECT_EQ(window->m_MainPageControl->height(), 501);
}

TEST_F(MainWindow, StatisticsReloadsOnEverySelectionAndShowsNewRows)
{
    EXPECT_FALSE(window->m_RatioMemoryData->Active());
    SelectPageByUser(1);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 3);   // idle has no traffic
    folder.ExecMain("insert into ratio values(5, 10, 10, '10.0.0.5', 'late', 'hubC');");
    SelectPageByUser(0);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 3);
    SelectPageByUser(1);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 4);
    // Keyboard selection counts as the user's too.
    SelectPageByUser(0);
    folder.ExecMain("insert into ratio values(6, 10, 10, '10.0.0.6', 'later', 'hubC');");
    window->m_MainPageControl->tabBar()->setFocus();
    QTest::keyClick(window->m_MainPageControl->tabBar(), Qt::Key_Right);
    EXPECT_EQ(window->m_MainPageControl->currentWidget(), window->m_v_ratioTabSheet);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 5);
}

TEST_F(MainWindow, ProgramSelectionRaisesNothingAndDuplicatesPageNeverQueries)
{
    window->SelectPage(1);
    EXPECT_FALSE(window->m_RatioMemoryData->Active());
    const int dupRows = window->m_DupMemoryData->GetRecordCount();
    folder.ExecMain("drop view v_vdx_dup_file;");
    SelectPageByUser(0);
    EXPECT_EQ(window->m_DupMemoryData->GetRecordCount(), dupRows);
}

TEST_F(MainWindow, CheckBoxSwitchesTheTrafficConditionEitherWay)
{
    SelectPageByUser(1);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 3);
    QTest::mouseClick(window->m_ShowAllIP, Qt::LeftButton);
    EXPECT_TRUE(window->m_ShowAllIP->isChecked());
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 4);
    QTest::mouseClick(window->m_ShowAllIP, Qt::LeftButton);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 3);
}

TEST_F(MainWindow, MissingStatisticsViewShowsTheEngineMessageAndLeavesAnEmptyGrid)
{
    SelectPageByUser(1);
    folder.ExecMain("drop view v_vdx_ratio;");
    SelectPageByUser(0);
    const BoxSeen box = WithModalBox([&] { SelectPageByUser(1); });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), "no such table: v_vdx_ratio.");
    EXPECT_EQ(window->m_MainPageControl->currentWidget(), window->m_v_ratioTabSheet);
    EXPECT_TRUE(window->m_RatioMemoryData->Active());
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 0);
    EXPECT_EQ(window->m_vdx_ratio_DBGrid->Engine().DataRowCount(), 0);
    EXPECT_EQ(GetScreenCursor(), crDefault);
    EXPECT_EQ(window->m_RatioMemoryData->FreezeCount(), 0);
    // Once the cause is gone the next try works.
    folder.ExecMain("create view v_vdx_ratio as select id, upload, download, userip, nick, hub from ratio;");
    QTest::mouseClick(window->m_ShowAllIP, Qt::LeftButton);
    EXPECT_EQ(window->m_RatioMemoryData->GetRecordCount(), 4);
}

TEST_F(MainWindow, HookGreysTotalsOfAtMostOneAndNothingElse)
{
    struct Case {
        TGridValue::Kind kind;
        double value;
        bool grey;
    };
    const Case cases[] = {{TGridValue::Float, 0, true},    {TGridValue::Float, 1, true},
                          {TGridValue::Null, 0, true},     {TGridValue::Float, -5, true},
                          {TGridValue::Float, 1.5, false}, {TGridValue::Float, 2, false}};
    TRecordTable& table = *window->m_RatioMemoryData;
    table.OpenTable();
    for (const Case& c : cases) {
        table.BeginAppend();
        table.SetInteger(*table.LookupField("ID"), static_cast<int>(&c - cases));
        if (c.kind != TGridValue::Null) {
            table.SetFloat(*table.LookupField("upload"), c.value);
            table.SetFloat(*table.LookupField("download"), c.value);
        }
        table.SetString(*table.LookupField("nick"), "n");
        table.SetString(*table.LookupField("hub"), "h");
        table.PostRecord();
    }
    TGridEngine& grid = window->m_vdx_ratio_DBGrid->Engine();
    grid.ExpandAll();
    int checked = 0;
    for (int line = 0; line < grid.LineCount(); ++line) {
        TGridLine l = grid.Line(line);
        if (l.Footer >= 0 || TGridEngine::IsGroup(l.Node))
            continue;
        const int id = grid.Value(l.Node, grid.ColumnByName("m_vdx_ratio_DBGridid")->Index()).i;
        for (const char* name : {"m_vdx_ratio_DBGridupload", "m_vdx_ratio_DBGriddownload",
                                 "m_vdx_ratio_DBGridnick"}) {
            TDataGridColumn* column = grid.ColumnByName(name);
            AnsiString text = "t";
            TColor color = clWindow;
            QFont font;
            TAlignment alignment = taLeftJustify;
            bool done = false;
            window->m_vdx_ratio_DBGridCustomDrawCell(window->m_vdx_ratio_DBGrid, nullptr, QRect(), l.Node,
                                                     column, false, false, false, text, color, font,
                                                     alignment, done);
            const bool numeric = std::string(name) != "m_vdx_ratio_DBGridnick";
            EXPECT_EQ(color, numeric && cases[id].grey ? clBtnFace : clWindow) << name << " row " << id;
            EXPECT_EQ(text, "t");
            EXPECT_EQ(alignment, taLeftJustify);
            EXPECT_FALSE(done);
        }
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}

TEST_F(MainWindow, LogLoadsByButtonWithTheChosenLimitAndNoHourglass)
{
    std::vector<TCursor> cursors;
    SetScreenCursorHooks({[] { return crDefault; }, [&](TCursor c) { cursors.push_back(c); }});
    SelectPageByUser(2);
    EXPECT_FALSE(window->m_LogsData->Active());
    QTest::mouseClick(window->m_SearchButton, Qt::LeftButton);
    EXPECT_EQ(window->m_LogsData->GetRecordCount(), 100);
    EXPECT_TRUE(cursors.empty());
    window->m_LimitBox->setCurrentIndex(3);
    EXPECT_EQ(window->m_LogsData->GetRecordCount(), 100);   // changing the limit loads nothing
    QTest::keyClick(window.get(), Qt::Key_Return);         // Enter presses "Открыть"
    EXPECT_EQ(window->m_LogsData->GetRecordCount(), 150);
    folder.ExecLog("delete from vdx_log where id > 120;");
    QTest::keyClick(window.get(), Qt::Key_Enter, Qt::KeypadModifier);   // so does the keypad's
    EXPECT_EQ(window->m_LogsData->GetRecordCount(), 120);
    // Leaving the page and coming back keeps the rows without a query.
    folder.ExecLog("delete from vdx_log;");
    SelectPageByUser(0);
    SelectPageByUser(2);
    EXPECT_EQ(window->m_LogsData->GetRecordCount(), 120);
    SetScreenCursorHooks({});
}

TEST_F(MainWindow, StatisticsLoadShowsTheHourglassAndRestoresTheCursor)
{
    std::vector<TCursor> cursors;
    TCursor current = crArrow;
    SetScreenCursorHooks({[&] { return current; }, [&](TCursor c) { cursors.push_back(c); current = c; }});
    SelectPageByUser(1);
    SetScreenCursorHooks({});
    EXPECT_EQ(cursors, (std::vector<TCursor>{crHourGlass, crArrow}));
}

} // namespace
