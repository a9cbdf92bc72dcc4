// The column header and the group panel: painting them, dropping a dragged column or
// group button, and the header's filter drop-down with the custom filter dialog.
#include "grid/qt/DataGridPrivate.h"
#include "grid/qt/CustomFilterDialog.h"
#include <QFontMetrics>
#include <algorithm>

void TDataGrid::Impl::PaintHeaderCell(QPainter& p, const QRect& r, const QString& text, TColumnSort sort, bool filterButton,
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

void TDataGrid::Impl::PaintHeader(QPainter& p)
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

void TDataGrid::Impl::PaintHeaderDropMarker(QPainter& p)
{
    if (drag.kind != TDrag::Column || !InHeaderZone(drag.pos))
        return;
    const int gap = HeaderGapAt(drag.pos.x());
    const int x = gap < static_cast<int>(colX.size()) ? colX[gap] : colX.back();
    const QColor mark(0, 128, 0);
    DrawArrow(p, QPoint(x, headerRect.top() + 3), 4, TArrow::Down, mark);
    DrawArrow(p, QPoint(x, headerRect.bottom() - 3), 4, TArrow::Up, mark);
}

void TDataGrid::Impl::PaintGroupPanel(QPainter& p)
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

void TDataGrid::Impl::DropHeader(int column, const QPoint& pos)
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

void TDataGrid::Impl::DropGroupButton(int column, const QPoint& pos)
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

void TDataGrid::Impl::OpenDropDown(int column)
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

void TDataGrid::Impl::ChooseDropDown(int index)
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

void TDataGrid::Impl::ClearFilter()
{
    e.ClearFilter();
    Layout();
    EnsureFocusVisible();
}
