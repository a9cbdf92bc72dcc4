// Mouse and keyboard: clicks, column drags and resizing, double clicks, moving the focus,
// expanding groups by key, and row deletion with its confirmation.
#include "grid/qt/DataGridPrivate.h"
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <algorithm>

TDataGrid::Impl::TRowKey TDataGrid::Impl::KeyOf(int line) const
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

bool TDataGrid::Impl::SameRow(const TRowKey& a, const TRowKey& b) const
{
    if (!a.valid || !b.valid || a.footer != b.footer)
        return false;
    if (a.record || b.record)
        return a.record == b.record;
    return a.level == b.level && CompareGridValues(a.value, b.value) == 0;
}

int TDataGrid::Impl::FindNear(const TRowKey& key, int around) const
{
    for (int delta : {0, -1, 1, -2, 2})
        if (SameRow(KeyOf(around + delta), key))
            return around + delta;
    return -1;
}

void TDataGrid::Impl::Press(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
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

void TDataGrid::Impl::Move(const QPoint& pos, Qt::MouseButtons buttons)
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

void TDataGrid::Impl::Release(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
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

void TDataGrid::Impl::CancelDrag()
{
    drag = {};
    dragImage->hide();
    q->update();
    groupPanel->update();
}

void TDataGrid::Impl::DoubleClick(const QPoint& pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
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

void TDataGrid::Impl::UpdateHoverCursor(const QPoint& pos)
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

int TDataGrid::Impl::RowLineNear(int from, int dir) const
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

void TDataGrid::Impl::FocusLine(int line)
{
    if (line < 0)
        return;
    e.SetFocusedNode(e.Line(line).Node);
    EnsureVisible(VisualOf(line));
    q->update();
}

void TDataGrid::Impl::MoveFocus(int key)
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

void TDataGrid::Impl::MoveColumnFocus(int dir)
{
    if (headerCols.empty())
        return;
    int i = HeaderIndex(e.FocusedColumn());
    i = i < 0 ? 0 : std::max(0, std::min(static_cast<int>(headerCols.size()) - 1, i + dir));
    e.SetFocusedColumn(headerCols[i]);
    q->update();
}

bool TDataGrid::Impl::Key(QKeyEvent* ev)
{
    const bool ctrl = ev->modifiers() & Qt::ControlModifier;
    TGridNode* f = e.FocusedNode();
    switch (ev->key()) {
    case Qt::Key_C:
        if (!ctrl)
            return false;
        if (ev->modifiers() & Qt::ShiftModifier)
            CopyAll();
        else
            CopyCell();
        return true;
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

void TDataGrid::Impl::ConfirmDelete()
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
