#include "grid/qt/DataGrid.h"
#include "grid/qt/CustomFilterDialog.h"
#include "grid/qt/FilterDropDown.h"
#include "platform/qt/QtPlatform.h"
#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

namespace {

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

QColor Qc(TColor c)
{
    return ToQColor(c);
}

Qt::Alignment ToQtAlignment(TAlignment a)
{
    switch (a) {
    case taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    case taCenter: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

void DrawCellText(QPainter& p, const QRect& r, const QString& text, Qt::Alignment alignment)
{
    const QRect tr = r.adjusted(kTextPad, 0, -kTextPad, 0);
    if (tr.width() <= 0 || text.isEmpty())
        return;
    const QString shown = p.fontMetrics().elidedText(text, Qt::ElideRight, tr.width());
    p.drawText(tr, alignment | Qt::TextSingleLine, shown);
}

// A small filled triangle pointing up, down or right.
enum class TArrow { Up, Down, Right };
void DrawArrow(QPainter& p, const QPoint& c, int half, TArrow dir, const QColor& color)
{
    QPainterPath path;
    switch (dir) {
    case TArrow::Up:
        path.moveTo(c.x() - half, c.y() + half / 2 + 1);
        path.lineTo(c.x() + half + 1, c.y() + half / 2 + 1);
        path.lineTo(c.x() + 0.5, c.y() - half / 2 - 1);
        break;
    case TArrow::Down:
        path.moveTo(c.x() - half, c.y() - half / 2);
        path.lineTo(c.x() + half + 1, c.y() - half / 2);
        path.lineTo(c.x() + 0.5, c.y() + half / 2 + 1);
        break;
    case TArrow::Right:
        path.moveTo(c.x() - half / 2, c.y() - half);
        path.lineTo(c.x() - half / 2, c.y() + half + 1);
        path.lineTo(c.x() + half / 2 + 1, c.y() + 0.5);
        break;
    }
    path.closeSubpath();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(path, color);
    p.restore();
}

// The flat look: a light top-left edge and a shadow bottom-right edge.
void DrawFlatFrame(QPainter& p, const QRect& r)
{
    p.setPen(Qc(clBtnHighlight));
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(Qc(clBtnShadow));
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

void DrawSunkenBox(QPainter& p, const QRect& r)
{
    p.setPen(Qc(clBtnShadow));
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(Qc(clBtnHighlight));
    p.drawLine(r.right(), r.top() + 1, r.right(), r.bottom());
    p.drawLine(r.left() + 1, r.bottom(), r.right(), r.bottom());
}

QPixmap CloseGlyph()
{
    QPixmap pm(10, 10);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qc(clBtnText), 2));
    p.drawLine(1, 1, 8, 8);
    p.drawLine(8, 1, 1, 8);
    return pm;
}

} // namespace

QFont ToQFont(const TGridFont& font)
{
    QFont f(AnsiToQString(font.Name));
    f.setPointSize(font.Size > 0 ? font.Size : 8);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    return f;
}

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

    // --- lines ---------------------------------------------------------------------
    int VisualCount() const { return e.LineCount() + (e.Inserting() ? 1 : 0); }

    // Line of the new row among the visual lines, -1 when not inserting.
    int NewLine() const
    {
        if (!e.Inserting())
            return -1;
        if (const TGridNode* before = e.NewRowBefore()) {
            const int l = e.LineOf(before);
            if (l >= 0)
                return l;
        }
        return e.LineCount();
    }

    // Engine line of a visual line; isNew for the new row.
    TGridLine VisualLine(int v, int newLine, bool& isNew) const
    {
        isNew = v == newLine;
        if (isNew)
            return {};
        return e.Line(newLine >= 0 && v > newLine ? v - 1 : v);
    }

    int VisualOf(int engineLine) const
    {
        const int nl = NewLine();
        return nl >= 0 && engineLine >= nl ? engineLine + 1 : engineLine;
    }

    int EngineOf(int visual) const
    {
        const int nl = NewLine();
        return nl >= 0 && visual > nl ? visual - 1 : visual;
    }

    int TopLine() const { return vbar->value(); }
    int LinesPerPage() const { return rowH > 0 ? rowsRect.height() / rowH : 0; }

    QRect LineRect(int v) const
    {
        const int top = TopLine();
        if (v < top)
            return {};
        const QRect r(0, rowsRect.top() + (v - top) * rowH, dataW, rowH);
        return r.intersects(rowsRect) ? r.intersected(rowsRect) : QRect();
    }

    int LineAt(int y) const
    {
        if (y < rowsRect.top() || y > rowsRect.bottom())
            return -1;
        const int v = TopLine() + (y - rowsRect.top()) / rowH;
        return v < VisualCount() ? v : -1;
    }

    // --- columns -----------------------------------------------------------------
    int HeaderIndex(int column) const
    {
        const auto it = std::find(headerCols.begin(), headerCols.end(), column);
        return it == headerCols.end() ? -1 : static_cast<int>(it - headerCols.begin());
    }

    int HeaderIndexAt(int x) const
    {
        for (size_t i = 0; i < headerCols.size(); ++i)
            if (x >= colX[i] && x < colX[i + 1])
                return static_cast<int>(i);
        return -1;
    }

    QRect HeaderCell(int i) const
    {
        QRect r(colX[i], headerRect.top(), colX[i + 1] - colX[i], headerRect.height());
        if (r.right() >= dataW)
            r.setRight(dataW - 1);
        return r;
    }

    static QRect FilterButtonIn(const QRect& cell)
    {
        return QRect(cell.right() - 1 - kFilterButtonWidth, cell.top() + 2, kFilterButtonWidth, cell.height() - 5);
    }

    // Cell of header column i on a line whose content starts at contentLeft.
    QRect CellIn(const QRect& line, int i, int contentLeft) const
    {
        QRect r(colX[i], line.top(), colX[i + 1] - colX[i], line.height());
        if (i == 0 || r.left() < contentLeft)
            r.setLeft(std::max(r.left(), contentLeft));
        if (r.right() >= dataW)
            r.setRight(dataW - 1);
        return r;
    }

    int DataContentLeft() const { return kIndicatorWidth + e.GroupColumnCount() * kLevelIndent; }

    // Insertion gap among the header columns for a drop at x.
    int HeaderGapAt(int x) const
    {
        int gap = 0;
        for (size_t i = 0; i < headerCols.size(); ++i)
            if ((colX[i] + colX[i + 1]) / 2 < x)
                gap = static_cast<int>(i) + 1;
        return gap;
    }

    // --- group panel ---------------------------------------------------------------
    QRect GroupButtonLocal(int level) const
    {
        const QFontMetrics fm(headerFont);
        int x = kGroupPanelMargin;
        const int top = (gpRect.height() - headerH) / 2;
        for (int l = 0; l < e.GroupColumnCount(); ++l) {
            const int col = e.GroupColumn(l);
            const int w = std::max(40, fm.horizontalAdvance(AnsiToQString(e.ColumnCaption(col))) + 2 * kTextPad +
                                           kSortGlyphWidth + 10);
            if (l == level)
                return QRect(x, top, w, headerH);
            x += w + kGroupButtonGap;
        }
        return {};
    }

    int GroupButtonAt(const QPoint& gridPos) const
    {
        const QPoint local = gridPos - gpRect.topLeft();
        for (int l = 0; l < e.GroupColumnCount(); ++l)
            if (GroupButtonLocal(l).contains(local))
                return l;
        return -1;
    }

    // Level a drop at x in the group panel takes; `excluded` is a level being moved.
    int GroupDropLevel(int x, int excluded) const
    {
        int level = 0;
        for (int l = 0; l < e.GroupColumnCount(); ++l) {
            if (l == excluded)
                continue;
            if (GroupButtonLocal(l).center().x() + gpRect.left() < x)
                ++level;
        }
        return level;
    }

    // --- layout --------------------------------------------------------------------
    void Layout()
    {
        if (layingOut)
            return;
        layingOut = true;
        font = ToQFont(e.Font);
        headerFont = ToQFont(e.HeaderFont);
        const QFontMetrics fm(font), hfm(headerFont);
        rowH = std::max(fm.height() + 4, kExpandBox + 6);
        headerH = std::max(hfm.height() + 6, 16);
        const int w = q->width(), h = q->height();
        const int gpH = e.ShowGroupPanel ? headerH + 2 * kGroupPanelMargin : 0;
        const bool filtered = e.FilterSet();
        const int statusH = filtered ? std::max(fm.height() + 8, 20) : 0;
        const int footerH = e.ShowSummaryFooter ? rowH + 4 : 0;
        const int hdrH = e.ShowHeader ? headerH : 0;
        gpRect = QRect(0, 0, w, gpH);
        statusRect = QRect(0, h - statusH, w, statusH);
        const int rowsTop = gpH + hdrH;
        const int rowsH = std::max(0, h - statusH - footerH - rowsTop);
        const int sbW = vbar->sizeHint().width();
        const int perPage = rowH > 0 ? rowsH / rowH : 0;
        barShown = VisualCount() > perPage && rowsH > 0;
        dataW = std::max(0, w - (barShown ? sbW : 0));
        headerRect = QRect(0, gpH, dataW, hdrH);
        rowsRect = QRect(0, rowsTop, dataW, rowsH);
        footerRect = QRect(0, rowsTop + rowsH, dataW, footerH);

        groupPanel->setGeometry(gpRect);
        groupPanel->setVisible(gpH > 0);
        statusBar->setGeometry(statusRect);
        statusBar->setVisible(filtered);
        statusBar->setFont(font);
        statusText->setText(filtered ? AnsiToQString(e.FilterStatusText()) : QString());
        vbar->setGeometry(dataW, rowsTop, sbW, rowsH);
        vbar->setVisible(barShown);

        const int viewWidth = std::max(0, dataW - kIndicatorWidth);
        if (e.ViewWidth() != viewWidth)
            e.SetViewWidth(viewWidth);
        ComputeColumns();
        layingOut = false;
        UpdateScroll();
        PlaceEditor();
        q->update();
        groupPanel->update();
    }

    void ComputeColumns()
    {
        headerCols = e.HeaderColumns();
        colX.assign(1, kIndicatorWidth);
        for (int c : headerCols)
            colX.push_back(colX.back() + std::max(0, e.DisplayWidth(c)));
    }

    void UpdateScroll()
    {
        const int count = VisualCount();
        const int page = LinesPerPage();
        const bool wanted = count > page && rowsRect.height() > 0;
        if (wanted != barShown && !layingOut) {
            Layout();
            return;
        }
        vbar->setRange(0, std::max(0, count - page));
        vbar->setPageStep(std::max(1, page));
        vbar->setSingleStep(1);
    }

    void EnsureVisible(int v)
    {
        if (v < 0)
            return;
        const int page = std::max(1, LinesPerPage());
        const int top = TopLine();
        if (v < top)
            vbar->setValue(v);
        else if (v >= top + page)
            vbar->setValue(v - page + 1);
    }

    void EnsureFocusVisible()
    {
        if (const TGridNode* f = e.FocusedNode()) {
            const int l = e.LineOf(f);
            if (l >= 0)
                EnsureVisible(VisualOf(l));
        }
    }

    // The engine's rows, texts or focus changed.
    void RowsChanged()
    {
        if (editing && !e.Inserting())
            CloseEditor();
        UpdateScroll();
        PlaceEditor();
        q->update();
    }

    // --- painting -------------------------------------------------------------------
    void Paint(QPainter& p)
    {
        p.fillRect(q->rect(), Qc(e.Color));
        PaintHeader(p);
        PaintRows(p);
        PaintSummaryFooter(p);
        // Corners beside the scroll bar.
        if (barShown) {
            p.fillRect(QRect(dataW, headerRect.top(), q->width() - dataW, headerRect.height()), Qc(e.HeaderColor));
            p.fillRect(QRect(dataW, footerRect.top(), q->width() - dataW, footerRect.height()), Qc(e.HeaderColor));
        }
        PaintHeaderDropMarker(p);
    }

    void PaintHeaderCell(QPainter& p, const QRect& r, const QString& text, TColumnSort sort, bool filterButton,
                         bool filtered, bool pressed)
    {
        p.fillRect(r, pressed ? Qc(clBtnShadow) : Qc(e.HeaderColor));
        DrawFlatFrame(p, r);
        QRect tr = r.adjusted(1, 1, -1, -1);
        if (filterButton) {
            const QRect fb = FilterButtonIn(r);
            DrawArrow(p, fb.center(), 3, TArrow::Down, filtered ? Qc(clHighlight) : Qc(clBtnText));
            tr.setRight(fb.left() - 1);
        }
        if (sort != csNone) {
            const QRect g(tr.right() - kSortGlyphWidth, tr.top(), kSortGlyphWidth, tr.height());
            DrawArrow(p, g.center(), 3, sort == csUp ? TArrow::Up : TArrow::Down, Qc(clBtnShadow).darker(150));
            tr.setRight(g.left() - 1);
        }
        p.setFont(headerFont);
        p.setPen(Qc(e.HeaderFont.Color));
        DrawCellText(p, tr, text, Qt::AlignLeft | Qt::AlignVCenter);
    }

    void PaintHeader(QPainter& p)
    {
        if (headerRect.height() <= 0)
            return;
        p.save();
        p.setClipRect(headerRect);
        p.fillRect(headerRect, Qc(e.HeaderColor));
        const QRect ind(0, headerRect.top(), kIndicatorWidth, headerRect.height());
        DrawFlatFrame(p, ind);
        for (size_t i = 0; i < headerCols.size(); ++i) {
            const int c = headerCols[i];
            const QRect r = HeaderCell(static_cast<int>(i));
            if (r.width() <= 0)
                continue;
            const bool pressed = drag.kind == TDrag::Pending && !drag.fromGroupPanel && drag.column == c;
            PaintHeaderCell(p, r, AnsiToQString(e.ColumnCaption(c)), e.Column(c).Sorted, e.Filter.Active,
                            e.ColumnFilter(c) != nullptr, pressed);
        }
        p.restore();
    }

    void PaintHeaderDropMarker(QPainter& p)
    {
        if (drag.kind != TDrag::Column || !InHeaderZone(drag.pos))
            return;
        const int gap = HeaderGapAt(drag.pos.x());
        const int x = gap < static_cast<int>(colX.size()) ? colX[gap] : colX.back();
        const QColor mark(0, 128, 0);
        DrawArrow(p, QPoint(x, headerRect.top() + 3), 4, TArrow::Down, mark);
        DrawArrow(p, QPoint(x, headerRect.bottom() - 3), 4, TArrow::Up, mark);
    }

    void PaintIndicator(QPainter& p, const QRect& r, bool focused, bool isNew)
    {
        p.fillRect(r, Qc(e.HeaderColor));
        DrawFlatFrame(p, r);
        if (isNew) {
            p.setPen(Qc(clBtnText));
            p.setFont(font);
            p.drawText(r, Qt::AlignCenter, QStringLiteral("*"));
        } else if (focused) {
            DrawArrow(p, r.center(), 4, TArrow::Right, Qc(clBtnText));
        }
    }

    struct TCellDraw {
        AnsiString text;
        TColor color;
        QFont font;
        TAlignment alignment;
        bool done = false;
    };

    void CallHook(QPainter& p, const QRect& r, TGridNode* node, int column, bool selected, bool focused,
                  TCellDraw& c)
    {
        if (!q->OnCustomDrawCell)
            return;
        p.save();
        q->OnCustomDrawCell(q, &p, r, node, &e.Column(column), selected, focused, false, c.text, c.color, c.font,
                            c.alignment, c.done);
        p.restore();
    }

    void FinishCell(QPainter& p, const QRect& r, const TCellDraw& c, TColor textColor)
    {
        if (c.done)
            return;
        p.fillRect(r, Qc(c.color));
        p.setFont(c.font);
        p.setPen(Qc(textColor));
        DrawCellText(p, r, AnsiToQString(c.text), ToQtAlignment(c.alignment));
    }

    void GridLines(QPainter& p, const QRect& cell, TColor color)
    {
        p.setPen(Qc(color));
        p.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
        p.drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
    }

    // Fills the indentation left of a data line's cells, then paints each visible cell
    // with paint(column, inner rectangle) and its grid lines.
    template <class TPaintCell>
    void PaintCells(QPainter& p, const QRect& line, TPaintCell paint)
    {
        const int left = DataContentLeft();
        if (left > kIndicatorWidth)
            p.fillRect(QRect(kIndicatorWidth, line.top(), left - kIndicatorWidth, line.height()), Qc(e.GroupNodeColor));
        for (size_t i = 0; i < headerCols.size(); ++i) {
            const int col = headerCols[i];
            const QRect cell = CellIn(line, static_cast<int>(i), left);
            if (cell.width() <= 0)
                continue;
            paint(col, e.ShowGrid ? cell.adjusted(0, 0, -1, -1) : cell);
            if (e.ShowGrid)
                GridLines(p, cell, e.GridLineColor);
        }
    }

    void PaintDataRow(QPainter& p, const QRect& line, TGridNode* node, bool selected)
    {
        PaintCells(p, line, [&](int col, const QRect& inner) {
            const bool focusedCell = selected && col == e.FocusedColumn();
            const TGridFont& gf = e.ColumnFont(col);
            TCellDraw c{e.DisplayText(node, col), focusedCell ? clHighlight : e.Color, ToQFont(gf),
                        e.ColumnAlignment(col)};
            CallHook(p, inner, node, col, selected, focusedCell, c);
            FinishCell(p, inner, c, focusedCell && c.color == clHighlight ? clHighlightText : gf.Color);
        });
    }

    void PaintExpandBox(QPainter& p, const QRect& box, bool expanded)
    {
        p.fillRect(box, Qc(e.Color));
        p.setPen(Qc(clBtnShadow));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.setPen(Qc(clBtnText));
        const int cy = box.top() + box.height() / 2, cx = box.left() + box.width() / 2;
        p.drawLine(box.left() + 2, cy, box.right() - 2, cy);
        if (!expanded)
            p.drawLine(cx, box.top() + 2, cx, box.bottom() - 2);
    }

    QRect ExpandBoxOn(const QRect& line, int level) const
    {
        const int x = kIndicatorWidth + level * kLevelIndent + (kLevelIndent - kExpandBox) / 2;
        return QRect(x, line.top() + (line.height() - kExpandBox) / 2, kExpandBox, kExpandBox);
    }

    QRect GroupTextCellOn(const QRect& line, int level) const
    {
        const int left = kIndicatorWidth + (level + 1) * kLevelIndent;
        return QRect(left, line.top(), std::max(0, dataW - left), line.height());
    }

    void PaintGroupRow(QPainter& p, const QRect& line, TGridNode* node, bool selected)
    {
        const int level = TGridEngine::Level(node);
        const QRect cell = GroupTextCellOn(line, level);
        p.fillRect(QRect(kIndicatorWidth, line.top(), cell.left() - kIndicatorWidth, line.height()),
                   Qc(e.GroupNodeColor));
        PaintExpandBox(p, ExpandBoxOn(line, level), TGridEngine::Expanded(node));
        const QRect inner = e.ShowGrid ? cell.adjusted(0, 0, 0, -1) : cell;
        const int col = e.GroupColumn(level);
        TCellDraw c{e.GroupRowText(node), selected ? clHighlight : e.GroupNodeColor, font,
                    e.ColumnAlignment(col)};
        CallHook(p, inner, node, col, selected, selected, c);
        FinishCell(p, inner, c, selected && c.color == clHighlight ? clHighlightText : e.GroupNodeTextColor);
        if (e.ShowGrid) {
            p.setPen(Qc(clBtnShadow));
            p.drawLine(kIndicatorWidth + level * kLevelIndent, line.bottom(), line.right(), line.bottom());
        }
    }

    void PaintFooterLine(QPainter& p, const QRect& line, const TGridLine& l)
    {
        const int level = e.GetNodeFooterLevel(l.Node, l.Footer);
        const int left = kIndicatorWidth + (level + 1) * kLevelIndent;
        p.fillRect(QRect(kIndicatorWidth, line.top(), left - kIndicatorWidth, line.height()), Qc(e.GroupNodeColor));
        p.fillRect(QRect(left, line.top(), std::max(0, dataW - left), line.height()), Qc(e.RowFooterColor));
        p.setFont(font);
        for (size_t i = 0; i < headerCols.size(); ++i) {
            const int col = headerCols[i];
            if (!e.IsExistRowFooterCell(l.Node, l.Footer, col))
                continue;
            const QRect cell = CellIn(line, static_cast<int>(i), left);
            if (cell.width() <= 4)
                continue;
            const QRect box = cell.adjusted(1, 1, -2, -2);
            DrawSunkenBox(p, box);
            p.setPen(Qc(e.RowFooterTextColor));
            DrawCellText(p, box, AnsiToQString(e.GetFooterCellText(l.Node, l.Footer, col)),
                         ToQtAlignment(e.ColumnAlignment(col)));
        }
        if (e.ShowGrid) {
            p.setPen(Qc(clBtnShadow));
            p.drawLine(left, line.bottom(), line.right(), line.bottom());
        }
    }

    void PaintNewRow(QPainter& p, const QRect& line)
    {
        PaintCells(p, line, [&](int col, const QRect& inner) {
            const TGridFont& gf = e.ColumnFont(col);
            p.fillRect(inner, Qc(e.Color));
            p.setFont(ToQFont(gf));
            p.setPen(Qc(gf.Color));
            DrawCellText(p, inner, AnsiToQString(e.NewRowText(col)), ToQtAlignment(e.ColumnAlignment(col)));
        });
    }

    void PaintRows(QPainter& p)
    {
        if (rowsRect.height() <= 0)
            return;
        p.save();
        p.setClipRect(rowsRect);
        const int count = VisualCount();
        const int newLine = NewLine();
        const TGridNode* focused = e.FocusedNode();
        const bool inserting = newLine >= 0;
        int y = rowsRect.top();
        for (int v = TopLine(); v < count && y <= rowsRect.bottom(); ++v, y += rowH) {
            const QRect line(0, y, dataW, rowH);
            bool isNew = false;
            const TGridLine l = VisualLine(v, newLine, isNew);
            const bool selected = !inserting && l.Footer < 0 && l.Node && l.Node == focused;
            if (isNew)
                PaintNewRow(p, line);
            else if (l.Footer >= 0)
                PaintFooterLine(p, line, l);
            else if (TGridEngine::IsGroup(l.Node))
                PaintGroupRow(p, line, l.Node, selected);
            else
                PaintDataRow(p, line, l.Node, selected);
            PaintIndicator(p, QRect(0, y, kIndicatorWidth, rowH), selected, isNew);
        }
        if (y <= rowsRect.bottom())
            p.fillRect(QRect(0, y, kIndicatorWidth, rowsRect.bottom() - y + 1), Qc(e.HeaderColor));
        p.restore();
    }

    QRect FooterCell(int i) const
    {
        QRect r(colX[i], footerRect.top() + 2, colX[i + 1] - colX[i], rowH);
        if (r.right() >= dataW)
            r.setRight(dataW - 1);
        return r.adjusted(1, 0, -2, 0);
    }

    void PaintSummaryFooter(QPainter& p)
    {
        if (footerRect.height() <= 0)
            return;
        p.save();
        p.setClipRect(footerRect);
        p.fillRect(footerRect, Qc(e.HeaderColor));
        p.setPen(Qc(clBtnShadow));
        p.drawLine(footerRect.left(), footerRect.top(), footerRect.right(), footerRect.top());
        p.setFont(font);
        for (size_t i = 0; i < headerCols.size(); ++i) {
            const int col = headerCols[i];
            if (!e.HasSummaryFooter(col))
                continue;
            const QRect box = FooterCell(static_cast<int>(i));
            if (box.width() <= 2)
                continue;
            DrawSunkenBox(p, box);
            p.setPen(Qc(e.Font.Color));
            DrawCellText(p, box, AnsiToQString(e.SummaryFooterText(col)), ToQtAlignment(e.ColumnAlignment(col)));
        }
        p.restore();
    }

    void PaintGroupPanel(QPainter& p)
    {
        const QRect r(QPoint(0, 0), gpRect.size());
        p.fillRect(r, Qc(clBtnShadow));
        const int n = e.GroupColumnCount();
        if (n == 0) {
            p.setFont(font);
            p.setPen(Qc(clBtnFace));
            p.drawText(r.adjusted(kGroupPanelMargin + 2, 0, -kGroupPanelMargin, 0),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       QString::fromUtf8("Перетащите на заголовок колонку для группировки"));
        }
        for (int l = 0; l < n; ++l) {
            const int col = e.GroupColumn(l);
            const QRect b = GroupButtonLocal(l);
            const bool pressed = drag.kind == TDrag::Pending && drag.fromGroupPanel && drag.column == col;
            PaintHeaderCell(p, b, AnsiToQString(e.ColumnCaption(col)), e.Column(col).Sorted, false, false, pressed);
            if (l + 1 < n) {
                p.setPen(Qc(clBtnText));
                p.drawLine(b.right() + 1, b.center().y(), b.right() + kGroupButtonGap, b.center().y());
            }
        }
        if ((drag.kind == TDrag::Column) && gpRect.contains(drag.pos)) {
            const int excluded = drag.fromGroupPanel ? GroupLevelOf(drag.column) : -1;
            const int level = GroupDropLevel(drag.pos.x(), excluded);
            int x = kGroupPanelMargin - kGroupButtonGap / 2;
            int shown = 0;
            for (int l = 0; l < n; ++l) {
                if (l == excluded)
                    continue;
                if (shown++ == level)
                    break;
                x = GroupButtonLocal(l).right() + kGroupButtonGap / 2;
            }
            const int top = (gpRect.height() - headerH) / 2;
            const QColor mark(0, 128, 0);
            DrawArrow(p, QPoint(x, top - 3), 4, TArrow::Down, mark);
            DrawArrow(p, QPoint(x, top + headerH + 2), 4, TArrow::Up, mark);
        }
    }

    int GroupLevelOf(int column) const
    {
        for (int l = 0; l < e.GroupColumnCount(); ++l)
            if (e.GroupColumn(l) == column)
                return l;
        return -1;
    }

    bool InHeaderZone(const QPoint& pos) const
    {
        return headerRect.height() > 0 && pos.y() >= headerRect.top() - 4 && pos.y() <= headerRect.bottom() + 8 &&
               pos.x() >= 0 && pos.x() < q->width();
    }

    // --- mouse -----------------------------------------------------------------------
    // What identifies a row across a rebuild: its record, or a group's level and value.
    struct TRowKey {
        bool valid = false;
        const TRecord* record = nullptr;
        int level = -1;
        TGridValue value;
        int footer = -1;
    };

    TRowKey KeyOf(int line) const
    {
        TRowKey k;
        if (line < 0 || line >= e.LineCount())
            return k;
        const TGridLine l = e.Line(line);
        if (!l.Node)
            return k;
        k.valid = true;
        k.footer = l.Footer;
        if (TGridEngine::IsGroup(l.Node)) {
            k.level = TGridEngine::Level(l.Node);
            k.value = e.Value(l.Node, e.GroupColumn(k.level));
        } else {
            k.record = e.Record(l.Node);
        }
        return k;
    }

    bool SameRow(const TRowKey& a, const TRowKey& b) const
    {
        if (!a.valid || !b.valid || a.footer != b.footer)
            return false;
        if (a.record || b.record)
            return a.record == b.record;
        return a.level == b.level && CompareGridValues(a.value, b.value) == 0;
    }

    int FindNear(const TRowKey& key, int around) const
    {
        for (int delta : {0, -1, 1, -2, 2})
            if (SameRow(KeyOf(around + delta), key))
                return around + delta;
        return -1;
    }

    void Press(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
    {
        if (button != Qt::LeftButton)
            return;
        drag = {};
        int clickedLine = -2;   // engine line to focus; -2: find it from the position
        if (editing) {
            const int v = rowsRect.contains(pos) ? LineAt(pos.y()) : -1;
            if (v >= 0 && v == NewLine()) {
                const int i = HeaderIndexAt(pos.x());
                if (i >= 0 && headerCols[i] != editColumn && CommitCell())
                    MoveEditor(headerCols[i]);
                return;
            }
            // The lines move when the new row goes: find the clicked row again afterwards.
            const TRowKey key = v >= 0 ? KeyOf(EngineOf(v)) : TRowKey();
            if (!FinishNewRow())
                return;
            if (v >= 0)
                clickedLine = FindNear(key, EngineOf(v));
        }
        if (gpRect.contains(pos)) {
            const int level = GroupButtonAt(pos);
            if (level >= 0) {
                drag.kind = TDrag::Pending;
                drag.column = e.GroupColumn(level);
                drag.fromGroupPanel = true;
                drag.ctrl = mods & Qt::ControlModifier;
                drag.start = drag.pos = pos;
                groupPanel->update();
            }
            return;
        }
        if (headerRect.contains(pos)) {
            for (size_t i = 0; i < headerCols.size(); ++i) {
                if (std::abs(pos.x() - (colX[i + 1] - 1)) <= kResizeGrip) {
                    drag.kind = TDrag::Resize;
                    drag.column = headerCols[i];
                    drag.left = colX[i];
                    drag.start = drag.pos = pos;
                    return;
                }
            }
            const int i = HeaderIndexAt(pos.x());
            if (i < 0)
                return;
            const int col = headerCols[i];
            if (e.Filter.Active && FilterButtonIn(HeaderCell(i)).contains(pos)) {
                OpenDropDown(col);
                return;
            }
            drag.kind = TDrag::Pending;
            drag.column = col;
            drag.ctrl = mods & Qt::ControlModifier;
            drag.start = drag.pos = pos;
            q->update();
            return;
        }
        if (!rowsRect.contains(pos))
            return;
        const int v = clickedLine == -2 ? LineAt(pos.y()) : clickedLine < 0 ? -1 : VisualOf(clickedLine);
        if (v < 0)
            return;
        bool isNew = false;
        const TGridLine l = VisualLine(v, NewLine(), isNew);
        if (isNew || l.Footer >= 0 || !l.Node)
            return;
        e.SetFocusedNode(l.Node);
        if (TGridEngine::IsGroup(l.Node)) {
            const QRect line = LineRect(v);
            if (ExpandBoxOn(line, TGridEngine::Level(l.Node)).adjusted(-2, -2, 2, 2).contains(pos))
                e.SetExpanded(l.Node, !TGridEngine::Expanded(l.Node));
        } else {
            const int i = HeaderIndexAt(pos.x());
            if (i >= 0)
                e.SetFocusedColumn(headerCols[i]);
        }
        EnsureVisible(std::min(v, VisualCount() - 1));
        q->update();
    }

    void Move(const QPoint& pos, Qt::MouseButtons buttons)
    {
        if (drag.kind == TDrag::None) {
            UpdateHoverCursor(pos);
            return;
        }
        if (!(buttons & Qt::LeftButton)) {
            CancelDrag();
            return;
        }
        drag.pos = pos;
        if (drag.kind == TDrag::Resize) {
            const int w = std::max(kMinColumnWidth, pos.x() - drag.left + 1);
            if (w != e.DisplayWidth(drag.column)) {
                e.ResizeColumn(drag.column, w);
                Layout();
            }
            return;
        }
        if (drag.kind == TDrag::Pending &&
            (pos - drag.start).manhattanLength() >= QApplication::startDragDistance()) {
            drag.kind = TDrag::Column;
            dragImage->setText(AnsiToQString(e.ColumnCaption(drag.column)));
            dragImage->setFont(headerFont);
            dragImage->adjustSize();
            dragImage->resize(std::max(dragImage->width() + 8, 40), headerH);
            dragImage->show();
            dragImage->raise();
        }
        if (drag.kind == TDrag::Column)
            dragImage->move(pos - QPoint(dragImage->width() / 2, headerH / 2));
        q->update();
        groupPanel->update();
    }

    void Release(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
    {
        if (button != Qt::LeftButton)
            return;
        const auto done = drag;
        CancelDrag();
        switch (done.kind) {
        case TDrag::Pending:
            e.ClickColumn(done.column, done.ctrl || (mods & Qt::ControlModifier));
            Layout();
            EnsureFocusVisible();
            break;
        case TDrag::Column:
            if (done.fromGroupPanel)
                DropGroupButton(done.column, pos);
            else
                DropHeader(done.column, pos);
            Layout();
            EnsureFocusVisible();
            break;
        default:
            break;
        }
    }

    void CancelDrag()
    {
        drag = {};
        dragImage->hide();
        q->update();
        groupPanel->update();
    }

    void DropHeader(int column, const QPoint& pos)
    {
        if (gpRect.contains(pos)) {
            e.GroupByColumn(column, GroupDropLevel(pos.x(), -1));
        } else if (InHeaderZone(pos)) {
            const int gap = HeaderGapAt(pos.x());
            const int current = HeaderIndex(column);
            if (current < 0)
                return;
            const int target = gap > current ? gap - 1 : gap;
            if (target != current)
                e.MoveColumn(column, target);
        }
    }

    void DropGroupButton(int column, const QPoint& pos)
    {
        const int level = GroupLevelOf(column);
        if (gpRect.contains(pos)) {
            const int target = GroupDropLevel(pos.x(), level);
            if (target != level)
                e.GroupByColumn(column, target);
            return;
        }
        const bool onHeader = InHeaderZone(pos);
        const int gap = HeaderGapAt(pos.x());
        e.UngroupColumn(column);
        if (onHeader) {
            ComputeColumns();
            const int current = HeaderIndex(column);
            if (current >= 0 && current != gap)
                e.MoveColumn(column, std::min<int>(gap, static_cast<int>(headerCols.size()) - 1));
        }
    }

    void DoubleClick(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
    {
        if (button != Qt::LeftButton)
            return;
        if (editing || !rowsRect.contains(pos)) {
            Press(pos, button, mods);   // the second click of a double click on the header or the new row
            return;
        }
        const int v = LineAt(pos.y());
        if (v < 0)
            return;
        bool isNew = false;
        const TGridLine l = VisualLine(v, NewLine(), isNew);
        if (isNew || l.Footer >= 0 || !l.Node || !TGridEngine::IsGroup(l.Node))
            return;
        e.SetFocusedNode(l.Node);
        e.SetExpanded(l.Node, !TGridEngine::Expanded(l.Node));
        EnsureFocusVisible();
    }

    void UpdateHoverCursor(const QPoint& pos)
    {
        bool onEdge = false;
        if (headerRect.contains(pos))
            for (size_t i = 0; i < headerCols.size() && !onEdge; ++i)
                onEdge = std::abs(pos.x() - (colX[i + 1] - 1)) <= kResizeGrip;
        if (onEdge)
            q->setCursor(Qt::SplitHCursor);
        else
            q->unsetCursor();
    }

    // --- keyboard -------------------------------------------------------------------
    // A line that holds a row (not a footer), searching from `from` in direction `dir`,
    // then the other way.
    int RowLineNear(int from, int dir) const
    {
        const int count = e.LineCount();
        if (count == 0)
            return -1;
        from = std::max(0, std::min(from, count - 1));
        for (int i = from; i >= 0 && i < count; i += dir)
            if (e.Line(i).Footer < 0)
                return i;
        for (int i = from; i >= 0 && i < count; i -= dir)
            if (e.Line(i).Footer < 0)
                return i;
        return -1;
    }

    void FocusLine(int line)
    {
        if (line < 0)
            return;
        e.SetFocusedNode(e.Line(line).Node);
        EnsureVisible(VisualOf(line));
        q->update();
    }

    void MoveFocus(int key)
    {
        const int count = e.LineCount();
        if (count == 0)
            return;
        const TGridNode* f = e.FocusedNode();
        const int cur = f ? e.LineOf(f) : -1;
        const int page = std::max(1, LinesPerPage());
        switch (key) {
        case Qt::Key_Up: FocusLine(cur < 0 ? RowLineNear(0, 1) : RowLineNear(cur - 1, -1)); break;
        case Qt::Key_Down: FocusLine(cur < 0 ? RowLineNear(0, 1) : RowLineNear(cur + 1, 1)); break;
        case Qt::Key_Home: FocusLine(RowLineNear(0, 1)); break;
        case Qt::Key_End: FocusLine(RowLineNear(count - 1, -1)); break;
        case Qt::Key_PageDown: {
            vbar->setValue(TopLine() + page);
            FocusLine(RowLineNear(std::max(cur, 0) + page, 1));
            break;
        }
        case Qt::Key_PageUp: {
            vbar->setValue(TopLine() - page);
            FocusLine(RowLineNear(std::max(cur, 0) - page, -1));
            break;
        }
        default: break;
        }
    }

    void MoveColumnFocus(int dir)
    {
        if (headerCols.empty())
            return;
        int i = HeaderIndex(e.FocusedColumn());
        i = i < 0 ? 0 : std::max(0, std::min(static_cast<int>(headerCols.size()) - 1, i + dir));
        e.SetFocusedColumn(headerCols[i]);
        q->update();
    }

    bool Key(QKeyEvent* ev)
    {
        const bool ctrl = ev->modifiers() & Qt::ControlModifier;
        TGridNode* f = e.FocusedNode();
        switch (ev->key()) {
        case Qt::Key_Delete:
            if (ctrl) {
                ConfirmDelete();
                return true;
            }
            return false;
        case Qt::Key_Insert:
            if (!ctrl && !(ev->modifiers() & Qt::ShiftModifier)) {
                BeginInsert();
                return true;
            }
            return false;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            MoveFocus(ev->key());
            return true;
        case Qt::Key_Right:
        case Qt::Key_Plus:
            if (f && TGridEngine::IsGroup(f)) {
                if (!TGridEngine::Expanded(f))
                    e.SetExpanded(f, true);
            } else if (ev->key() == Qt::Key_Right) {
                MoveColumnFocus(1);
            }
            return true;
        case Qt::Key_Left:
        case Qt::Key_Minus:
            if (f && TGridEngine::IsGroup(f)) {
                if (TGridEngine::Expanded(f))
                    e.SetExpanded(f, false);
                else if (ev->key() == Qt::Key_Left && TGridEngine::Parent(f))
                    FocusLine(e.LineOf(TGridEngine::Parent(f)));
            } else if (ev->key() == Qt::Key_Left) {
                MoveColumnFocus(-1);
            }
            EnsureFocusVisible();
            return true;
        default:
            return false;
        }
    }

    void ConfirmDelete()
    {
        if (!e.CanDeleteFocused())
            return;
        QMessageBox box(QMessageBox::Question, QString::fromUtf8("Вопрос"), QString::fromUtf8("Удалить запись ?"),
                        QMessageBox::Ok | QMessageBox::Cancel, q);
        box.setObjectName("DeleteConfirm");
        box.setDefaultButton(QMessageBox::Ok);
        if (box.exec() == QMessageBox::Ok) {
            e.DeleteFocused();
            EnsureFocusVisible();
        }
    }

    // --- the new row ----------------------------------------------------------------
    void BeginInsert()
    {
        // A closed table has no records to stand before.
        if (e.Inserting() || headerCols.empty() || !e.Table() || !e.Table()->Active())
            return;
        e.BeginInsertBeforeFocused();
        int col = e.FocusedColumn();
        if (HeaderIndex(col) < 0)
            col = headerCols.front();
        editing = true;
        UpdateScroll();
        EnsureVisible(NewLine());
        MoveEditor(col);
        editor->show();
        editor->setFocus(Qt::OtherFocusReason);
        q->update();
    }

    void MoveEditor(int column)
    {
        editColumn = column;
        editor->setFont(ToQFont(e.ColumnFont(column)));
        editor->setAlignment(ToQtAlignment(e.ColumnAlignment(column)));
        editor->setText(AnsiToQString(e.NewRowText(column)));
        editor->selectAll();
        PlaceEditor();
    }

    QRect NewRowCell(int column) const
    {
        if (!e.Inserting())
            return {};
        const QRect line = LineRect(NewLine());
        const int i = HeaderIndex(column);
        if (line.isEmpty() || i < 0)
            return {};
        return CellIn(line, i, DataContentLeft());
    }

    void PlaceEditor()
    {
        if (!editor || !editing)
            return;
        QRect r = NewRowCell(editColumn);
        if (r.isEmpty())
            r = QRect(-1000, -1000, 50, rowH);   // scrolled away: keeps the focus, not shown
        else if (e.ShowGrid)
            r.adjust(0, 0, -1, -1);
        editor->setGeometry(r);
    }

    // Stores what was typed in the editor's cell; false when the table refused it.
    bool CommitCell()
    {
        if (!editing)
            return true;
        try {
            const AnsiString text = QStringToAnsi(editor->text());
            if (text != e.NewRowText(editColumn))
                e.SetNewRowText(editColumn, text);
        } catch (const Exception& ex) {
            ShowException(ex, q);
            editor->setFocus(Qt::OtherFocusReason);
            return false;
        }
        return true;
    }

    // Leaves the new row: posts it when something was typed, else cancels it.
    bool FinishNewRow()
    {
        if (!editing)
            return true;
        if (!CommitCell())
            return false;
        try {
            e.LeaveNewRow();
        } catch (const Exception& ex) {
            ShowException(ex, q);
            editor->setFocus(Qt::OtherFocusReason);
            return false;
        }
        CloseEditor();
        EnsureFocusVisible();
        return true;
    }

    void CancelNewRow()
    {
        if (e.Inserting())
            e.CancelNewRow();
        CloseEditor();
    }

    void CloseEditor()
    {
        if (!editing)
            return;
        editing = false;
        if (editor->hasFocus())
            q->setFocus(Qt::OtherFocusReason);
        editor->hide();
        UpdateScroll();
        q->update();
    }

    bool Untouched() const
    {
        return !e.NewRowModified() && QStringToAnsi(editor->text()) == e.NewRowText(editColumn);
    }

    bool EditorKey(QKeyEvent* ev)
    {
        switch (ev->key()) {
        case Qt::Key_Escape:
            CancelNewRow();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            // A posted row takes the focus; after a cancelled one the key moves on from where
            // the new row stood (Down already stands on the row below it).
            const bool posting = e.NewRowModified() || !Untouched();
            if (FinishNewRow() && !posting && ev->key() != Qt::Key_Down)
                MoveFocus(ev->key());
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            CommitCell();
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: {
            const int dir = ev->key() == Qt::Key_Tab && !(ev->modifiers() & Qt::ShiftModifier) ? 1 : -1;
            const int i = HeaderIndex(editColumn) + dir;
            if (i >= 0 && i < static_cast<int>(headerCols.size()) && CommitCell())
                MoveEditor(headerCols[i]);
            return true;
        }
        default:
            return false;
        }
    }

    void FocusChanged(QWidget* now)
    {
        if (!editing)
            return;
        if (now && (now == q || q->isAncestorOf(now)))
            return;
        if (Untouched())
            CancelNewRow();
    }

    // --- filter ---------------------------------------------------------------------
    void OpenDropDown(int column)
    {
        const int i = HeaderIndex(column);
        if (i < 0)
            return;
        dropEntries = e.DropDownEntries(column);
        dropColumn = column;
        QStringList texts;
        for (const TDropDownEntry& entry : dropEntries)
            texts << AnsiToQString(entry.Text);
        const int current = e.CurrentDropDownEntry(column, dropEntries);
        const QRect cell = HeaderCell(i);
        const QRect global(q->mapToGlobal(cell.topLeft()), cell.size());
        dropDown->Popup(texts, current, global, e.Filter.DropDownCount, font);
    }

    void ChooseDropDown(int index)
    {
        if (index < 0 || index >= static_cast<int>(dropEntries.size()))
            return;
        const TDropDownEntry entry = dropEntries[index];
        const int column = dropColumn;
        if (entry.kind == TDropDownEntry::Custom) {
            TCustomFilterDialog dialog(e, column, q);
            dialog.exec();
        } else {
            e.ChooseDropDownEntry(column, entry);
        }
        Layout();
        EnsureFocusVisible();
    }

    void ClearFilter()
    {
        e.ClearFilter();
        Layout();
        EnsureFocusVisible();
    }

    // Painting must not open boxes while it paints: an error is shown once, afterwards.
    void PaintFailed(const std::exception& ex)
    {
        if (errorPending)
            return;
        errorPending = true;
        const AnsiString message = ex.what();
        QTimer::singleShot(0, q, [this, message] {
            errorPending = false;
            ShowErrorMessage(message, q);
        });
    }
};

TDataGrid::TDataGrid(QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>(this, engine_))
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);

    d->groupPanel = new QWidget(this);
    d->groupPanel->setObjectName("GroupPanel");
    d->groupPanel->setMouseTracking(true);
    d->groupPanel->installEventFilter(this);

    d->vbar = new QScrollBar(Qt::Vertical, this);
    d->vbar->setObjectName("VerticalScrollBar");
    d->vbar->hide();
    connect(d->vbar, &QScrollBar::valueChanged, this, [this] {
        d->PlaceEditor();
        update();
    });

    d->statusBar = new QWidget(this);
    d->statusBar->setObjectName("FilterStatusBar");
    d->statusBar->setAutoFillBackground(true);
    auto* statusLayout = new QHBoxLayout(d->statusBar);
    statusLayout->setContentsMargins(2, 1, 2, 1);
    statusLayout->setSpacing(4);
    d->clearButton = new QToolButton(d->statusBar);
    d->clearButton->setObjectName("FilterClearButton");
    d->clearButton->setAutoRaise(true);
    d->clearButton->setIcon(QIcon(CloseGlyph()));
    d->clearButton->setToolTip(QString::fromUtf8("Очистить фильтр"));
    d->clearButton->setFocusPolicy(Qt::NoFocus);
    d->statusText = new QLabel(d->statusBar);
    d->statusText->setObjectName("FilterStatusText");
    d->statusText->setMinimumWidth(1);
    statusLayout->addWidget(d->clearButton);
    statusLayout->addWidget(d->statusText, 1);
    d->statusBar->hide();
    connect(d->clearButton, &QToolButton::clicked, this, [this] { RunHandler([this] { d->ClearFilter(); }, this); });

    d->dragImage = new QLabel(this);
    d->dragImage->setObjectName("DragImage");
    d->dragImage->setFrameShape(QFrame::Box);
    d->dragImage->setAlignment(Qt::AlignCenter);
    d->dragImage->setAutoFillBackground(true);
    d->dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    d->dragImage->hide();

    d->editor = new QLineEdit(this);
    d->editor->setObjectName("CellEditor");
    d->editor->setFrame(false);
    d->editor->hide();
    d->editor->installEventFilter(this);

    d->dropDown = new TFilterDropDown(this);
    d->dropDown->OnChoose = [this](int index) { RunHandler([this, index] { d->ChooseDropDown(index); }, this); };

    d->focusConnection = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        RunHandler([this, now] { d->FocusChanged(now); }, this);
    });

    engine_.OnChanged = [this] { d->RowsChanged(); };
    engine_.OnLayoutChanged = [this] { d->Layout(); };
    d->Layout();
}

TDataGrid::~TDataGrid()
{
    disconnect(d->focusConnection);
    engine_.OnChanged = nullptr;
    engine_.OnLayoutChanged = nullptr;
    d->editing = false;
    // Children go before the state they paint from.
    delete d->dropDown;
    delete d->editor;
    delete d->groupPanel;
    delete d->statusBar;
    delete d->dragImage;
    delete d->vbar;
}

void TDataGrid::SettingsChanged()
{
    d->Layout();
}

QRect TDataGrid::HeaderCellRect(int column) const
{
    const int i = d->HeaderIndex(column);
    return i < 0 || d->headerRect.height() <= 0 ? QRect() : d->HeaderCell(i);
}

QRect TDataGrid::FilterButtonRect(int column) const
{
    const QRect cell = HeaderCellRect(column);
    return cell.isEmpty() || !engine_.Filter.Active ? QRect() : Impl::FilterButtonIn(cell);
}

QRect TDataGrid::GroupButtonRect(int level) const
{
    if (d->gpRect.isEmpty())
        return {};
    const QRect r = d->GroupButtonLocal(level);
    return r.isEmpty() ? r : r.translated(d->gpRect.topLeft());
}

QRect TDataGrid::CellRect(const TGridNode* node, int column) const
{
    if (!node)
        return {};
    const int l = engine_.LineOf(node);
    if (l < 0)
        return {};
    const QRect line = d->LineRect(d->VisualOf(l));
    if (line.isEmpty())
        return {};
    if (TGridEngine::IsGroup(node))
        return d->GroupTextCellOn(line, TGridEngine::Level(node)).intersected(line);
    const int i = d->HeaderIndex(column);
    return i < 0 ? QRect() : d->CellIn(line, i, d->DataContentLeft());
}

QRect TDataGrid::ExpandButtonRect(const TGridNode* node) const
{
    if (!node || !TGridEngine::IsGroup(node))
        return {};
    const int l = engine_.LineOf(node);
    const QRect line = l < 0 ? QRect() : d->LineRect(d->VisualOf(l));
    return line.isEmpty() ? QRect() : d->ExpandBoxOn(line, TGridEngine::Level(node));
}

QRect TDataGrid::NewRowCellRect(int column) const
{
    return d->NewRowCell(column);
}

QRect TDataGrid::SummaryFooterCellRect(int column) const
{
    const int i = d->HeaderIndex(column);
    return i < 0 || d->footerRect.height() <= 0 ? QRect() : d->FooterCell(i);
}

int TDataGrid::TopLine() const
{
    return d->TopLine();
}

int TDataGrid::LinesPerPage() const
{
    return d->LinesPerPage();
}

void TDataGrid::paintEvent(QPaintEvent* event)
{
    const qreal dpr = devicePixelRatioF();
    const QSize need = size() * dpr;
    if (d->buffer.size() != need) {
        d->buffer = QPixmap(need);
        d->buffer.setDevicePixelRatio(dpr);
    }
    {
        QPainter bp(&d->buffer);
        bp.setClipRect(event->rect());
        try {
            d->Paint(bp);
        } catch (const std::exception& ex) {
            d->PaintFailed(ex);
        }
    }
    QPainter p(this);
    p.drawPixmap(event->rect(), d->buffer,
                 QRectF(event->rect().topLeft() * dpr, event->rect().size() * dpr).toRect());
}

void TDataGrid::resizeEvent(QResizeEvent*)
{
    RunHandler([this] { d->Layout(); }, this);
}

void TDataGrid::mousePressEvent(QMouseEvent* event)
{
    RunHandler([&] { d->Press(event->position().toPoint(), event->button(), event->modifiers()); }, this);
}

void TDataGrid::mouseMoveEvent(QMouseEvent* event)
{
    RunHandler([&] { d->Move(event->position().toPoint(), event->buttons()); }, this);
}

void TDataGrid::mouseReleaseEvent(QMouseEvent* event)
{
    RunHandler([&] { d->Release(event->position().toPoint(), event->button(), event->modifiers()); }, this);
}

void TDataGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    RunHandler([&] { d->DoubleClick(event->position().toPoint(), event->button(), event->modifiers()); }, this);
}

void TDataGrid::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 40;
    if (steps != 0)
        d->vbar->setValue(d->vbar->value() - steps);
    event->accept();
}

void TDataGrid::keyPressEvent(QKeyEvent* event)
{
    bool handled = false;
    RunHandler([&] { handled = d->Key(event); }, this);
    if (!handled)
        QWidget::keyPressEvent(event);
}

void TDataGrid::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TDataGrid::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void TDataGrid::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (d->drag.kind == Impl::TDrag::None)
        unsetCursor();
}

void TDataGrid::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        RunHandler([this] { d->Layout(); }, this);
}

bool TDataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (!d)
        return false;
    if (watched == d->groupPanel) {
        auto* panel = d->groupPanel;
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter p(panel);
            try {
                d->PaintGroupPanel(p);
            } catch (const std::exception& ex) {
                d->PaintFailed(ex);
            }
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint pos = panel->mapTo(this, me->position().toPoint());
            RunHandler([&] { d->Press(pos, me->button(), me->modifiers()); }, this);
            return true;
        }
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint pos = panel->mapTo(this, me->position().toPoint());
            RunHandler([&] { d->Move(pos, me->buttons()); }, this);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint pos = panel->mapTo(this, me->position().toPoint());
            RunHandler([&] { d->Release(pos, me->button(), me->modifiers()); }, this);
            return true;
        }
        default:
            return false;
        }
    }
    if (watched == d->editor && event->type() == QEvent::KeyPress) {
        bool handled = false;
        RunHandler([&] { handled = d->EditorKey(static_cast<QKeyEvent*>(event)); }, this);
        return handled;
    }
    return QWidget::eventFilter(watched, event);
}
