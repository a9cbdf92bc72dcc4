#pragma once
// The on-screen grid: paints the engine's row tree and turns mouse and keyboard input
// into calls on the engine. It keeps no copy of the rows.
#include "grid/GridEngine.h"
#include <QFont>
#include <QWidget>
#include <functional>
#include <memory>

class QPainter;

// The font a grid setting names, as the screen paints it.
QFont ToQFont(const TGridFont& font);

class TDataGrid : public QWidget {
    Q_OBJECT
public:
    explicit TDataGrid(QWidget* parent = nullptr);
    ~TDataGrid() override;

    TGridEngine& Engine() { return engine_; }
    const TGridEngine& Engine() const { return engine_; }

    // Painting hook, called before each data cell and each group row's text cell.
    using TCustomDrawCellEvent = std::function<void(
        TDataGrid* Sender, QPainter* ACanvas, const QRect& ARect, TGridNode* ANode,
        TDataGridColumn* AColumn, bool ASelected, bool AFocused, bool ANewItemRow,
        AnsiString& AText, TColor& AColor, QFont& AFont, TAlignment& AAlignment, bool& ADone)>;
    TCustomDrawCellEvent OnCustomDrawCell;

    // The grid's settings changed in code (columns, fonts): relayout and repaint.
    void SettingsChanged();

    // Geometry in the grid's own coordinates, for hit-testing from outside (tests, tools).
    // Empty rectangles for what is not on screen.
    QRect HeaderCellRect(int column) const;
    QRect FilterButtonRect(int column) const;
    QRect GroupButtonRect(int level) const;
    // A data row's cell; for a group row (column ignored) its text cell.
    QRect CellRect(const TGridNode* node, int column) const;
    QRect ExpandButtonRect(const TGridNode* node) const;
    QRect NewRowCellRect(int column) const;
    QRect SummaryFooterCellRect(int column) const;
    int TopLine() const;          // first line in view, counting the new row while inserting
    int LinesPerPage() const;     // whole lines that fit in the rows area

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Impl;
    TGridEngine engine_;
    std::unique_ptr<Impl> d;
};
