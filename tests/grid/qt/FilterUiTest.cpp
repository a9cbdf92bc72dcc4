// The filter drop-down, the custom filter dialog and the status bar, driven as a user would.
#include "GridTestKit.h"
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>

using namespace gridtest;

namespace {

class FilterUiTest : public GridFixture {
protected:
    QListWidget* OpenDropDown(int column) { return OpenFilterDropDown(grid, column); }

    QStringList Texts(QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

    static void Choose(QListWidget* list, int row) { ChooseEntry(list, row); }

    QWidget* StatusBar() { return grid->findChild<QWidget*>("FilterStatusBar"); }
    QString StatusWords() { return grid->findChild<QLabel*>("FilterStatusText")->text(); }
};

TEST_F(FilterUiTest, ValueChoiceFiltersAndTheStatusBarTellsAndClears)
{
    EXPECT_FALSE(StatusBar()->isVisible());
    QListWidget* list = OpenDropDown(kCity);
    ASSERT_TRUE(list);
    EXPECT_EQ(Texts(list), (QStringList{Q("(Все)"), Q("(Выбор...)"), Q("Киев"), Q("Минск"), Q("Москва")}));
    EXPECT_EQ(list->currentRow(), -1) << "nothing chosen yet";
    // Under the header, at its left edge.
    const QRect cell = grid->HeaderCellRect(kCity);
    EXPECT_EQ(list->geometry().left(), grid->mapToGlobal(cell.bottomLeft()).x());
    EXPECT_GT(list->geometry().top(), grid->mapToGlobal(cell.topLeft()).y());

    Choose(list, 4);
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(E().FilterSet());
    EXPECT_EQ(E().DataRowCount(), 2);
    EXPECT_EQ(Column(kName), (std::vector<std::string>{"bob", "carl"}));
    ASSERT_TRUE(StatusBar()->isVisible());
    EXPECT_EQ(StatusWords(), Q("(Город = Москва)"));
    EXPECT_EQ(StatusWords(), AnsiToQString(E().FilterStatusText()));
    EXPECT_GE(StatusBar()->geometry().top(), grid->SummaryFooterCellRect(kAmount).bottom());

    // Open again: the current condition is selected; Esc leaves it.
    list = OpenDropDown(kCity);
    EXPECT_EQ(list->currentRow(), 4);
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(E().DataRowCount(), 2);

    // A second column's condition joins the first.
    list = OpenDropDown(kName);
    EXPECT_EQ(Texts(list).mid(0, 4), (QStringList{Q("(Все)"), Q("(Выбор...)"), Q("(Пустые)"), Q("(Не пустые)")}));
    Choose(list, Texts(list).indexOf("carl"));
    EXPECT_EQ(E().DataRowCount(), 1);
    EXPECT_EQ(StatusWords(), AnsiToQString(E().FilterStatusText()));
    EXPECT_TRUE(StatusWords().contains(Q("(Имя = carl)")));

    auto* clear = grid->findChild<QToolButton*>("FilterClearButton");
    ASSERT_TRUE(clear);
    EXPECT_EQ(clear->toolTip(), Q("Очистить фильтр"));
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_FALSE(E().FilterSet());
    EXPECT_EQ(E().DataRowCount(), 5);
    EXPECT_FALSE(StatusBar()->isVisible());

    // "(Все)" removes the column's condition.
    Choose(OpenDropDown(kCity), 2);
    EXPECT_EQ(E().DataRowCount(), 2);
    Choose(OpenDropDown(kCity), 0);
    EXPECT_FALSE(E().FilterSet());
    EXPECT_EQ(E().DataRowCount(), 5);
}

class FilterListSizeTest : public FilterUiTest {
protected:
    void SetUp() override
    {
        FilterUiTest::SetUp();
        std::vector<TRow> rows;
        for (int i = 0; i < 30; ++i)
            rows.push_back({100 + i, "x", nullptr, double(1000 + i)});
        rows.push_back({200, "очень длинное значение, шире любой колонки этой таблицы", nullptr, 1});
        Fill(rows);
        QApplication::processEvents();
    }
};

TEST_F(FilterListSizeTest, ListShowsTwelveRowsAndIsWideEnoughForItsWidestEntry)
{
    QListWidget* list = OpenDropDown(kAmount);
    ASSERT_TRUE(list);
    ASSERT_GT(list->count(), 12);
    const int rowHeight = list->visualItemRect(list->item(0)).height();
    EXPECT_EQ(list->viewport()->height(), 12 * rowHeight);
    EXPECT_TRUE(list->verticalScrollBar()->isVisible());
    const QFontMetrics fm(list->font());
    int widest = 0;
    for (const QString& t : Texts(list))
        widest = std::max(widest, fm.horizontalAdvance(t));
    EXPECT_EQ(list->viewport()->width(), std::max(grid->HeaderCellRect(kAmount).width(), widest) + 4);
    QTest::keyClick(list, Qt::Key_Escape);

    // A long value makes the list wider than its header.
    list = OpenDropDown(kName);
    widest = 0;
    for (const QString& t : Texts(list))
        widest = std::max(widest, fm.horizontalAdvance(t));
    ASSERT_GT(widest, grid->HeaderCellRect(kName).width());
    EXPECT_EQ(list->viewport()->width(), widest + 4);
    // Few entries: as many rows as entries, no scroll bar.
    EXPECT_EQ(list->count(), 10);
    EXPECT_EQ(list->viewport()->height(), list->count() * rowHeight);
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
    // Keys pick an entry too.
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(list->currentItem()->text(), Q("(Не пустые)"));
    EXPECT_TRUE(E().FilterSet());
    EXPECT_EQ(E().DataRowCount(), 5 + 31 - 1);
}

const QStringList kOperators = {Q("равно"),     Q("неравно"),     Q("больше"),      Q("больше или равно"),
                                Q("меньше"),    Q("меньше или равно"), Q("пустые"),   Q("не пустые"),
                                Q("содержит"),  Q("не содержит"), Q("начинается с")};

QStringList Items(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

TEST_F(FilterUiTest, CustomDialogLooksAsDesignedAndRefusesAnInvalidValue)
{
    bool opened = false;
    WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QDialog*>(w);
        ASSERT_TRUE(dialog);
        opened = true;
        EXPECT_EQ(dialog->windowTitle(), Q("Пользовательский автофильтр"));
        EXPECT_EQ(dialog->size(), QSize(412, 166));
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";
        const QPoint screenCenter = dialog->screen()->geometry().center();
        EXPECT_LE((dialog->frameGeometry().center() - screenCenter).manhattanLength(), 2);
        EXPECT_EQ(dialog->font().pointSize(), ToQFont(E().Font).pointSize());
        EXPECT_EQ(dialog->findChild<QLabel*>("Prompt")->text(), Q("Показывать только те строки, значения которых:"));
        EXPECT_EQ(dialog->findChild<QLabel*>("ColumnCaption")->text(), Q("Сумма "));
        auto* op1 = dialog->findChild<QComboBox*>("Operator1");
        auto* op2 = dialog->findChild<QComboBox*>("Operator2");
        auto* value1 = dialog->findChild<QLineEdit*>("Value1");
        auto* andButton = dialog->findChild<QRadioButton*>("AndButton");
        auto* orButton = dialog->findChild<QRadioButton*>("OrButton");
        auto* ok = dialog->findChild<QPushButton*>("OkButton");
        auto* cancel = dialog->findChild<QPushButton*>("CancelButton");
        ASSERT_TRUE(op1 && op2 && value1 && andButton && orButton && ok && cancel);
        EXPECT_EQ(Items(op1), kOperators);
        EXPECT_EQ(Items(op2), QStringList{QString()} + kOperators);
        EXPECT_EQ(op1->currentIndex(), 0);
        EXPECT_EQ(op2->currentIndex(), 0) << "no second condition by default";
        EXPECT_EQ(andButton->text(), Q("&И"));
        EXPECT_EQ(orButton->text(), Q("И&ЛИ"));
        EXPECT_TRUE(andButton->isChecked());
        EXPECT_EQ(ok->text(), Q("OK"));
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(cancel->text(), Q("Отмена"));

        op1->setCurrentIndex(2);   // больше
        value1->setText("abc");
        QString error;
        WhenModal([&](QWidget* box) {
            error = qobject_cast<QMessageBox*>(box)->text();
            qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        }, "ErrorBox");
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_EQ(error, Q("Неверное значение."));
        EXPECT_TRUE(dialog->isVisible()) << "stays open";
        EXPECT_EQ(dialog->focusWidget(), value1);
        EXPECT_FALSE(E().FilterSet());

        value1->setText("5");
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
    }, "CustomFilterDialog");
    QListWidget* list = OpenDropDown(kAmount);
    Choose(list, 1);   // (Выбор...)
    ASSERT_TRUE(opened);
    EXPECT_TRUE(E().FilterSet());
    EXPECT_EQ(E().DataRowCount(), 2);
    EXPECT_EQ(StatusWords(), AnsiToQString(E().FilterStatusText()));

    // It opens again with the column's conditions; a second one joined by OR widens the set.
    WhenModal([&](QWidget* w) {
        auto* op1 = w->findChild<QComboBox*>("Operator1");
        EXPECT_EQ(op1->currentText(), Q("больше"));
        EXPECT_EQ(w->findChild<QLineEdit*>("Value1")->text(), Q("5"));
        w->findChild<QRadioButton*>("OrButton")->click();
        w->findChild<QComboBox*>("Operator2")->setCurrentIndex(5);   // меньше
        w->findChild<QLineEdit*>("Value2")->setText("2");
        QTest::keyClick(w->findChild<QLineEdit*>("Value2"), Qt::Key_Return);   // OK is the default
    }, "CustomFilterDialog");
    Choose(OpenDropDown(kAmount), 1);
    EXPECT_EQ(E().DataRowCount(), 3);

    // The second value invalid: its editor gets the focus. Esc then leaves the filter alone.
    WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QDialog*>(w);
        EXPECT_TRUE(w->findChild<QRadioButton*>("OrButton")->isChecked());
        w->findChild<QLineEdit*>("Value2")->setText("x2");
        WhenModal([&](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click(); }, "ErrorBox");
        QTest::mouseClick(w->findChild<QPushButton*>("OkButton"), Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), w->findChild<QLineEdit*>("Value2"));
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
    }, "CustomFilterDialog");
    Choose(OpenDropDown(kAmount), 1);
    EXPECT_EQ(E().DataRowCount(), 3);
}

} // namespace
