#pragma once
// Private to the grid control's sources: its state (widgets, metrics, gestures, the new
// row) and the members that the geometry, painting, header, input and editor files define.
#include "grid/qt/DataGrid.h"
#include "grid/qt/FilterDropDown.h"
#include "platform/qt/QtPlatform.h"
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QToolButton>
#include <vector>

class QKeyEvent;

constexpr int kIndicatorWidth = 12;
constexpr int kLevelIndent = 18;
constexpr int kExpandBox = 9;
constexpr int kTextPad = 2;
constexpr int kFilterButtonWidth = 12;
constexpr int kSortGlyphWidth = 9;
constexpr int kResizeGrip = 3;
constexpr int kMinColumnWidth = 8;
constexpr int kGroupPanelMargin = 7;
constexpr int kGroupButtonGap = 10;

// Drawing helpers shared by the painting and header files (DataGridPaint.cpp).
inline QColor Qc(TColor c) { return ToQColor(c); }
Qt::Alignment ToQtAlignment(TAlignment a);
void DrawCellText(QPainter& p, const QRect& r, const QString& text, Qt::Alignment alignment);
enum class TArrow { Up, Down, Right };
void DrawArrow(QPainter& p, const QPoint& c, int half, TArrow dir, const QColor& color);   // a small filled triangle
void DrawFlatFrame(QPainter& p, const QRect& r);   // light top-left edge, shadow bottom-right
void DrawSunkenBox(QPainter& p, const QRect& r);

struct TDataGrid::Impl {
    TDataGrid* q;
    TGridEngine& e;

    QWidget* groupPanel = nullptr;
    QWidget* statusBar = nullptr;
    QToolButton* clearButton = nullptr;
    QLabel* statusText = nullptr;
    QScrollBar* vbar = nullptr;
    QLabel* dragImage = nullptr;
    QLineEdit* editor = nullptr;
    TFilterDropDown* dropDown = nullptr;
    QMetaObject::Connection focusConnection;
    QPixmap buffer;

    // Metrics and geometry of the last layout, in the grid's coordinates.
    QFont font, headerFont;
    int rowH = 17, headerH = 19;
    QRect gpRect, headerRect, rowsRect, footerRect, statusRect;
    int dataW = 0;
    bool barShown = false;
    std::vector<int> headerCols;   // column indexes in on-screen order
    std::vector<int> colX;         // left edge of each header column, plus the right end
    bool layingOut = false;

    // The new row being typed.
    bool editing = false;
    int editColumn = -1;

    // Mouse gestures.
    enum class TDrag { None, Pending, Column, Resize };
    struct {
        TDrag kind = TDrag::None;
        int column = -1;
        bool fromGroupPanel = false;
        bool ctrl = false;
        QPoint start, pos;
        int left = 0;
    } drag;

    std::vector<TDropDownEntry> dropEntries;
    int dropColumn = -1;
    bool errorPending = false;

    Impl(TDataGrid* grid, TGridEngine& engine) : q(grid), e(engine) {}

    // --- geometry and hit-testing (DataGridGeometry.cpp) ------------------------------
    int VisualCount() const { return e.LineCount() + (e.Inserting() ? 1 : 0); }
    // Line of the new row among the visual lines, -1 when not inserting.
    int NewLine() const;
    // Engine line of a visual line; isNew for the new row.
    TGridLine VisualLine(int v, int newLine, bool& isNew) const;
    int VisualOf(int engineLine) const;
    int EngineOf(int visual) const;
    int TopLine() const { return vbar->value(); }
    int LinesPerPage() const { return rowH > 0 ? rowsRect.height() / rowH : 0; }
    QRect LineRect(int v) const;
    int LineAt(int y) const;

    int HeaderIndex(int column) const;
    int HeaderIndexAt(int x) const;
    QRect HeaderCell(int i) const;
    static QRect FilterButtonIn(const QRect& cell);
    // Cell of header column i on a line whose content starts at contentLeft.
    QRect CellIn(const QRect& line, int i, int contentLeft) const;
    int DataContentLeft() const { return kIndicatorWidth + e.GroupColumnCount() * kLevelIndent; }
    // Insertion gap among the header columns for a drop at x.
    int HeaderGapAt(int x) const;
    QRect ExpandBoxOn(const QRect& line, int level) const;
    QRect GroupTextCellOn(const QRect& line, int level) const;
    QRect FooterCell(int i) const;

    QRect GroupButtonLocal(int level) const;
    int GroupButtonAt(const QPoint& gridPos) const;
    // Level a drop at x in the group panel takes; `excluded` is a level being moved.
    int GroupDropLevel(int x, int excluded) const;
    int GroupLevelOf(int column) const;
    bool InHeaderZone(const QPoint& pos) const;

    void Layout();
    void ComputeColumns();
    void UpdateScroll();
    void EnsureVisible(int v);
    void EnsureFocusVisible();
    // The engine's rows, texts or focus changed.
    void RowsChanged();

    // --- painting the rows and the footer (DataGridPaint.cpp) -------------------------
    struct TCellDraw {
        AnsiString text;
        TColor color;
        QFont font;
        TAlignment alignment;
        bool done = false;
    };
    void Paint(QPainter& p);
    void PaintIndicator(QPainter& p, const QRect& r, bool focused, bool isNew);
    void CallHook(QPainter& p, const QRect& r, TGridNode* node, int column, bool selected, bool focused,
                  TCellDraw& c);
    void FinishCell(QPainter& p, const QRect& r, const TCellDraw& c, TColor textColor);
    void GridLines(QPainter& p, const QRect& cell, TColor color);
    // Fills the indentation left of a data line's cells, then paints each visible cell
    // with paint(column, inner rectangle) and its grid lines.
    template <class TPaintCell>
    void PaintCells(QPainter& p, const QRect& line, TPaintCell paint);
    void PaintDataRow(QPainter& p, const QRect& line, TGridNode* node, bool selected);
    void PaintExpandBox(QPainter& p, const QRect& box, bool expanded);
    void PaintGroupRow(QPainter& p, const QRect& line, TGridNode* node, bool selected);
    void PaintFooterLine(QPainter& p, const QRect& line, const TGridLine& l);
    void PaintNewRow(QPainter& p, const QRect& line);
    void PaintRows(QPainter& p);
    void PaintSummaryFooter(QPainter& p);
    // Painting must not open boxes while it paints: an error is shown once, afterwards.
    void PaintFailed(const std::exception& ex);

    // --- header, group panel and the filter drop-down (DataGridHeader.cpp) ------------
    void PaintHeaderCell(QPainter& p, const QRect& r, const QString& text, TColumnSort sort, bool filterButton,
                         bool filtered, bool pressed);
    void PaintHeader(QPainter& p);
    void PaintHeaderDropMarker(QPainter& p);
    void PaintGroupPanel(QPainter& p);
    void DropHeader(int column, const QPoint& pos);
    void DropGroupButton(int column, const QPoint& pos);
    void OpenDropDown(int column);
    void ChooseDropDown(int index);
    void ClearFilter();

    // --- mouse and keyboard (DataGridInput.cpp) ---------------------------------------
    // What identifies a row across a rebuild: its record, or a group's level and value.
    struct TRowKey {
        bool valid = false;
        const TRecord* record = nullptr;
        int level = -1;
        TGridValue value;
        int footer = -1;
    };
    TRowKey KeyOf(int line) const;
    bool SameRow(const TRowKey& a, const TRowKey& b) const;
    int FindNear(const TRowKey& key, int around) const;
    void Press(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void Move(const QPoint& pos, Qt::MouseButtons buttons);
    void Release(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void CancelDrag();
    void DoubleClick(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void UpdateHoverCursor(const QPoint& pos);
    // A line that holds a row (not a footer), searching from `from` in direction `dir`,
    // then the other way.
    int RowLineNear(int from, int dir) const;
    void FocusLine(int line);
    void MoveFocus(int key);
    void MoveColumnFocus(int dir);
    bool Key(QKeyEvent* ev);
    void ConfirmDelete();

    // --- the new row and its editor (DataGridEditor.cpp) ------------------------------
    void BeginInsert();
    void MoveEditor(int column);
    QRect NewRowCell(int column) const;
    void PlaceEditor();
    // Stores what was typed in the editor's cell; false when the table refused it.
    bool CommitCell();
    // Leaves the new row: posts it when something was typed, else cancels it.
    bool FinishNewRow();
    void CancelNewRow();
    void CloseEditor();
    bool Untouched() const;
    bool EditorKey(QKeyEvent* ev);
    void FocusChanged(QWidget* now);

    // --- menus, the clipboard and tool tips (DataGridMenus.cpp) -----------------------
    void CopyCell();
    void CopyAll();
    void RowsMenu(const QPoint& pos, const QPoint& global);
    void HeaderMenu(const QPoint& global);
    void ShowColumn(int column, bool visible);
    // Shows the whole text of a cell that cuts it short; false when there is none.
    bool ToolTip(const QPoint& pos, const QPoint& global);
};
