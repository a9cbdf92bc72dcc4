#pragma once
// The on-screen grid: paints the engine's row tree and turns mouse and keyboard input
// into calls on the engine. It keeps no copy of the rows.
#include "grid/GridEngine.h"
#include <QFont>
#include <QWidget>
#include <functional>
#include <memory>

class QPainter;

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

private:
    struct Impl;
    TGridEngine engine_;
    std::unique_ptr<Impl> d;
};
