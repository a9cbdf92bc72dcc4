#pragma once
// Shared pieces of the grid control tests: a small record table, a grid in a window,
// mouse gestures delivered as the window system would, and answering modal boxes.
#include "grid/qt/DataGrid.h"
#include "platform/Cp1251.h"
#include "platform/qt/QtPlatform.h"
#include "table/RecordTable.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gridtest {

struct TRow {
    std::optional<int> id;
    const char* name;   // UTF-8; nullptr: null
    const char* city;
    std::optional<double> amount;
};

// The rows every grid test starts from unless it builds its own.
inline std::vector<TRow> DefaultRows()
{
    return {
        {1, "bob", "Москва", 10},
        {2, "Alice", "Киев", 5},
        {3, "carl", "Москва", 7.5},
        {4, nullptr, "Киев", 1},
        {5, "dave", "Минск", 3},
    };
}

// A grid over a table id/name/city/amount, shown in a window next to another editor.
class GridFixture : public ::testing::Test {
protected:
    enum { kId = 0, kName = 1, kCity = 2, kAmount = 3 };

    TRecordTable table;
    TRecordField* id = nullptr;
    TRecordField* name = nullptr;
    TRecordField* city = nullptr;
    TRecordField* amount = nullptr;
    TDataSource source{&table};
    std::unique_ptr<QWidget> window;
    TDataGrid* grid = nullptr;
    QLineEdit* outside = nullptr;

    void SetUp() override
    {
        id = &table.AddField("id", ftInteger);
        name = &table.AddField("name", ftString, 60);
        city = &table.AddField("city", ftString, 20);
        amount = &table.AddField("amount", ftFloat);
        table.OpenTable();
        Fill(DefaultRows());

        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        grid = new TDataGrid(window.get());
        grid->setObjectName("TestGrid");
        outside = new QLineEdit(window.get());
        outside->setObjectName("Outside");
        layout->addWidget(grid, 1);
        layout->addWidget(outside);
        Configure(grid->Engine());
        grid->Engine().SetDataSource(&source);
        grid->SettingsChanged();
        window->resize(620, 420);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        grid->setFocus();
        QApplication::processEvents();
    }

    void TearDown() override
    {
        window.reset();   // the grid goes before its table
    }

    virtual void Configure(TGridEngine& e)
    {
        e.KeyField = "id";
        AddColumn(e, "m_id", "Ид", "id", 50);
        AddColumn(e, "m_name", "Имя", "name", 120);
        AddColumn(e, "m_city", "Город", "city", 120);
        TDataGridColumn& a = AddColumn(e, "m_amount", "Сумма", "amount", 100);
        a.SummaryFooterType = cstSum;
        a.SummaryFooterFormat = A("Итого: 0.00");
        e.LayoutChanged();
    }

    static TDataGridColumn& AddColumn(TGridEngine& e, const char* member, const char* caption, const char* field,
                                      int width)
    {
        TDataGridColumn& c = e.AddColumn();
        c.Name = member;
        c.Caption = A(caption);
        c.FieldName = field;
        c.Width = width;
        return c;
    }

    void Fill(const std::vector<TRow>& rows)
    {
        table.FreezeControls();
        for (const TRow& r : rows) {
            table.BeginAppend();
            if (r.id)
                table.SetInteger(*id, *r.id);
            if (r.name)
                table.SetString(*name, A(r.name));
            if (r.city)
                table.SetString(*city, A(r.city));
            if (r.amount)
                table.SetFloat(*amount, *r.amount);
            table.PostRecord();
        }
        table.ReleaseControls();
    }

    TGridEngine& E() { return grid->Engine(); }

    // Texts of a column over the lines in display order (group rows give their row text).
    std::vector<std::string> Column(int column)
    {
        std::vector<std::string> out;
        for (int i = 0; i < E().LineCount(); ++i) {
            const TGridLine l = E().Line(i);
            if (l.Footer >= 0)
                continue;
            out.push_back(Cp1251ToUtf8(TGridEngine::IsGroup(l.Node) ? E().GroupRowText(l.Node)
                                                                      : E().DisplayText(l.Node, column)));
        }
        return out;
    }

    TGridNode* NodeWhere(int column, const char* utf8)
    {
        for (int i = 0; i < E().LineCount(); ++i) {
            const TGridLine l = E().Line(i);
            if (l.Footer < 0 && !TGridEngine::IsGroup(l.Node) && E().DisplayText(l.Node, column) == A(utf8))
                return l.Node;
        }
        return nullptr;
    }

    TGridNode* GroupRow(int index)
    {
        int seen = 0;
        for (int i = 0; i < E().LineCount(); ++i) {
            const TGridLine l = E().Line(i);
            if (l.Footer < 0 && TGridEngine::IsGroup(l.Node) && seen++ == index)
                return l.Node;
        }
        return nullptr;
    }

    void GroupBy(int column)
    {
        E().Column(column).GroupIndex = 0;
        E().LayoutChanged();
        QApplication::processEvents();
    }
};

// The widget of `grid` that the window system would hand a press at `p` (grid coordinates).
inline QWidget* TargetAt(QWidget* grid, const QPoint& p)
{
    QWidget* w = grid->childAt(p);
    return w ? w : grid;
}

inline void Click(QWidget* grid, const QPoint& p, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* w = TargetAt(grid, p);
    QTest::mouseClick(w, Qt::LeftButton, mods, w->mapFrom(grid, p));
}

inline void DoubleClick(QWidget* grid, const QPoint& p)
{
    QWidget* w = TargetAt(grid, p);
    const QPoint at = w->mapFrom(grid, p);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, at);
}

// Press at `from`, move in steps and release at `to`; every event goes to the widget that got
// the press, as the window system's implicit grab does.
inline void Drag(QWidget* grid, const QPoint& from, const QPoint& to)
{
    QWidget* w = TargetAt(grid, from);
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, w->mapFrom(grid, from));
    const int steps = 6;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        QTest::mouseMove(w, w->mapFrom(grid, p));
    }
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, w->mapFrom(grid, to));
}

// Runs `answer` on the next modal widget once it is up (a message box or a dialog in exec()).
// The modal widget is closed afterwards if the answer left it open, so a test never hangs.
inline void WhenModal(std::function<void(QWidget*)> answer, const char* objectName = nullptr)
{
    auto* timer = new QTimer;
    auto* started = new QElapsedTimer;
    started->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, started, answer, objectName] {
        QWidget* w = QApplication::activeModalWidget();
        const bool found = w && (!objectName || w->objectName() == objectName);
        if (!found && started->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete started;
        if (!found) {
            ADD_FAILURE() << "no modal widget " << (objectName ? objectName : "");
            if (w)
                w->close();
            return;
        }
        answer(w);
        if (QApplication::activeModalWidget() == w && w->isVisible())
            w->close();
    });
    timer->start();
}

// Opens a column's filter drop-down by its header button.
inline QListWidget* OpenFilterDropDown(TDataGrid* grid, int column)
{
    Click(grid, grid->FilterButtonRect(column).center());
    auto* list = grid->findChild<QListWidget*>("FilterDropDown");
    EXPECT_TRUE(list && list->isVisible());
    return list;
}

inline void ChooseEntry(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
}

inline QColor PixelAt(const QImage& img, const QPoint& p)
{
    return img.pixelColor(p);
}

// Pixels in `r` whose colour differs from `background`.
inline int CountOtherThan(const QImage& img, const QRect& r, const QColor& background)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) != background)
                ++n;
    return n;
}

// Types text a key at a time, Cyrillic included (the key code does not matter to an editor).
inline void TypeText(QWidget* w, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

inline QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace gridtest
