// The new row of an insertion: its cell editor, moving between its cells, and posting
// or cancelling the record when the user leaves it.
#include "grid/qt/DataGridPrivate.h"
#include <QKeyEvent>
#include <algorithm>

void TDataGrid::Impl::BeginInsert()
{
    // A closed table has no records to stand before.
    if (e.Inserting() || headerCols.empty() || !e.Table() || !e.Table()->Active())
        return;
    e.BeginInsertBeforeFocused();
    if (!e.Inserting())
        return;   // the focused row is not shown
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

void TDataGrid::Impl::MoveEditor(int column)
{
    editColumn = column;
    editor->setFont(ToQFont(e.ColumnFont(column)));
    editor->setAlignment(ToQtAlignment(e.ColumnAlignment(column)));
    editor->setText(AnsiToQString(e.NewRowText(column)));
    editor->selectAll();
    PlaceEditor();
}

QRect TDataGrid::Impl::NewRowCell(int column) const
{
    if (!e.Inserting())
        return {};
    const QRect line = LineRect(NewLine());
    const int i = HeaderIndex(column);
    if (line.isEmpty() || i < 0)
        return {};
    return CellIn(line, i, DataContentLeft());
}

void TDataGrid::Impl::PlaceEditor()
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

bool TDataGrid::Impl::CommitCell()
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

bool TDataGrid::Impl::FinishNewRow()
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

void TDataGrid::Impl::CancelNewRow()
{
    if (e.Inserting())
        e.CancelNewRow();
    CloseEditor();
}

void TDataGrid::Impl::CloseEditor()
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

bool TDataGrid::Impl::Untouched() const
{
    return !e.NewRowModified() && QStringToAnsi(editor->text()) == e.NewRowText(editColumn);
}

bool TDataGrid::Impl::EditorKey(QKeyEvent* ev)
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

void TDataGrid::Impl::FocusChanged(QWidget* now)
{
    if (!editing)
        return;
    if (now && (now == q || q->isAncestorOf(now)))
        return;
    if (Untouched())
        CancelNewRow();
}
