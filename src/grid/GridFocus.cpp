// Focus and row changes: the focused row and column, where the focus goes after a change,
// and deleting and inserting records through the grid.
#include "grid/GridEngineImpl.h"

#include <algorithm>

// --- focus --------------------------------------------------------------------------------

void TGridEngine::SetFocusedNode(TGridNode* node)
{
    focused_ = node;
    NoteFocus();
    if (OnChanged) OnChanged();
}

void TGridEngine::NoteFocus()
{
    d->focusIdentity.reset();
    if (focused_ && !IsGroup(focused_)) d->focusIdentity = TRecordTable::Identity(AsData(focused_)->record);
}

void TGridEngine::SetFocusedColumn(int column)
{
    focusedColumn_ = column;
    if (OnChanged) OnChanged();
}

void TGridEngine::FocusShownOrFirst(int preferredLine)
{
    if (focused_ && (focused_->flags & TGridNode::kShown)) {
        // A row inside collapsed groups hands the focus to the outermost of them, so the
        // user always sees what Ctrl+Delete or Insert would act on.
        TGridNode* shown = focused_;
        for (TGroupNode* p = focused_->parent; p; p = p->parent)
            if (!(p->flags & TGridNode::kExpanded)) shown = p;
        if (shown != focused_) {
            focused_ = shown;
            NoteFocus();
        }
        return;
    }
    focused_ = nullptr;
    const int lines = LineCount();
    if (lines == 0) return;
    focused_ = Line(std::clamp(preferredLine, 0, lines - 1)).Node;
    NoteFocus();
}

// --- deleting and inserting ---------------------------------------------------------------

bool TGridEngine::FocusShown() const { return focused_ && LineOf(focused_) >= 0; }

bool TGridEngine::CanDeleteFocused() const
{
    const TRecordTable* t = d->attached;
    return focused_ && !IsGroup(focused_) && FocusShown() && t && t->Active() && t->GetRecordCount() > 0;
}

void TGridEngine::DeleteFocused()
{
    if (!CanDeleteFocused()) return;
    TRecordTable* t = d->attached;
    const int line = LineOf(focused_);
    t->MoveToBookmark(TRecordTable::Identity(AsData(focused_)->record));
    focused_ = nullptr;
    d->focusIdentity.reset();
    d->preferredLine = line;
    t->DeleteRecord();   // the table's notification rebuilds the tree
    d->preferredLine = -1;
    FocusShownOrFirst(line);
    if (OnChanged) OnChanged();
}

void TGridEngine::BeginInsertBeforeFocused()
{
    TRecordTable* t = d->attached;
    if (!t || !t->Active()) throw Exception("Cannot perform this operation on a closed dataset");
    if (focused_ && !FocusShown()) return;   // never before a row the user cannot see
    TGridNode* before = focused_;
    if (!before && LineCount() > 0) before = Line(0).Node;
    const TGridNode* row = before;
    while (row && IsGroup(row)) row = ChildCount(row) ? Child(row, 0) : nullptr;
    const TRecord* record = Record(row);
    if (record) {
        t->MoveToBookmark(TRecordTable::Identity(record));
        t->BeginInsert();
    } else {
        before = nullptr;
        t->BeginAppend();
    }
    d->inserting = true;
    d->insertBefore = before;
    d->insertBeforeRecord = record;
    if (OnChanged) OnChanged();
}

bool TGridEngine::Inserting() const
{
    return d->inserting && d->attached && d->attached->State() == TTableState::Inserting;
}

TGridNode* TGridEngine::NewRowBefore() const { return Inserting() ? d->insertBefore : nullptr; }
TGridNode* TGridEngine::NewRowNode() const { return Inserting() ? &d->newRow : nullptr; }

AnsiString TGridEngine::NewRowText(int column) const
{
    const TRecordField* f = FieldOf(column);
    if (!Inserting() || !f) return AnsiString();
    return d->attached->GetDisplayText(*f);
}

void TGridEngine::SetNewRowText(int column, const AnsiString& text)
{
    const TRecordField* f = FieldOf(column);
    if (!Inserting() || !f) return;
    d->attached->SetText(*f, text);
    if (OnChanged) OnChanged();
}

bool TGridEngine::NewRowModified() const { return Inserting() && d->attached->Modified(); }

void TGridEngine::LeaveNewRow()
{
    if (!Inserting()) return;
    TRecordTable* t = d->attached;
    d->inserting = false;
    if (!t->Modified()) {
        t->CancelRecord();
        return;
    }
    t->PostRecord();
    // Focus the new record's row.
    const int pos = t->CurrentPosition();
    if (pos >= 0 && pos < t->GetRecordCount()) {
        if (static_cast<size_t>(pos) < d->nodeOfPos.size()) {
            TDataNode& n = d->nodes[d->nodeOfPos[static_cast<size_t>(pos)]];
            if (n.flags & TGridNode::kShown) {
                // The user's new row stays in view: its groups open.
                focused_ = &n;
                for (TGroupNode* p = n.parent; p; p = p->parent) p->flags |= TGridNode::kExpanded;
                d->linesDirty = true;
            }
        }
        NoteFocus();
    }
    if (OnChanged) OnChanged();
}

void TGridEngine::CancelNewRow()
{
    if (!Inserting()) return;
    d->inserting = false;
    d->attached->CancelRecord();
}
