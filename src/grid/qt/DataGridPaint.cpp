// Painting the rows area and the summary footer: data cells through the painting hook,
// group rows, group footer lines, the new row, the indicator column.
#include "grid/qt/DataGridPrivate.h"
#include <QPainterPath>
#include <QTimer>
#include <algorithm>

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

void TDataGrid::Impl::Paint(QPainter& p)
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

void TDataGrid::Impl::PaintIndicator(QPainter& p, const QRect& r, bool focused, bool isNew)
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

void TDataGrid::Impl::CallHook(QPainter& p, const QRect& r, TGridNode* node, int column, bool selected, bool focused,
              TCellDraw& c)
{
    if (!q->OnCustomDrawCell)
        return;
    p.save();
    q->OnCustomDrawCell(q, &p, r, node, &e.Column(column), selected, focused, false, c.text, c.color, c.font,
                        c.alignment, c.done);
    p.restore();
}

void TDataGrid::Impl::FinishCell(QPainter& p, const QRect& r, const TCellDraw& c, TColor textColor)
{
    if (c.done)
        return;
    p.fillRect(r, Qc(c.color));
    p.setFont(c.font);
    p.setPen(Qc(textColor));
    DrawCellText(p, r, AnsiToQString(c.text), ToQtAlignment(c.alignment));
}

void TDataGrid::Impl::GridLines(QPainter& p, const QRect& cell, TColor color)
{
    p.setPen(Qc(color));
    p.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
    p.drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
}

template <class TPaintCell>
void TDataGrid::Impl::PaintCells(QPainter& p, const QRect& line, TPaintCell paint)
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

void TDataGrid::Impl::PaintDataRow(QPainter& p, const QRect& line, TGridNode* node, bool selected)
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

void TDataGrid::Impl::PaintExpandBox(QPainter& p, const QRect& box, bool expanded)
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

void TDataGrid::Impl::PaintGroupRow(QPainter& p, const QRect& line, TGridNode* node, bool selected)
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

void TDataGrid::Impl::PaintFooterLine(QPainter& p, const QRect& line, const TGridLine& l)
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

void TDataGrid::Impl::PaintNewRow(QPainter& p, const QRect& line)
{
    TGridNode* node = e.NewRowNode();   // the hook reads the typed values through it
    PaintCells(p, line, [&](int col, const QRect& inner) {
        const TGridFont& gf = e.ColumnFont(col);
        TCellDraw c{e.NewRowText(col), e.Color, ToQFont(gf), e.ColumnAlignment(col)};
        CallHook(p, inner, node, col, false, false, c);
        FinishCell(p, inner, c, gf.Color);
    });
}

void TDataGrid::Impl::PaintRows(QPainter& p)
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

void TDataGrid::Impl::PaintSummaryFooter(QPainter& p)
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

void TDataGrid::Impl::PaintFailed(const std::exception& ex)
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
