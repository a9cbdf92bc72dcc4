// The engine's settings and columns: construction, the column collection, captions,
// alignment and fonts, on-screen order and automatic widths.
#include "grid/GridEngineImpl.h"

#include <algorithm>

TGridEngine::TGridEngine() : d(std::make_unique<Impl>()) {}

TGridEngine::~TGridEngine()
{
    if (d->attached) d->attached->Detach(this);
}

void TGridEngine::SetDataSource(TDataSource* source)
{
    if (d->attached) d->attached->Detach(this);
    source_ = source;
    d->attached = source ? source->DataSet : nullptr;
    if (d->attached) d->attached->Attach(this);
    d->forgetExpanded = true;
    d->inserting = false;
    Rebuild();
}

TDataGridColumn& TGridEngine::AddColumn()
{
    columns_.push_back(std::make_unique<TDataGridColumn>());
    const int index = static_cast<int>(columns_.size()) - 1;
    columns_.back()->index_ = index;
    d->order.push_back(index);
    d->filters.emplace_back();
    return *columns_.back();
}

int TGridEngine::ColumnCount() const { return static_cast<int>(columns_.size()); }
TDataGridColumn& TGridEngine::Column(int index) const { return *columns_.at(static_cast<size_t>(index)); }

TDataGridColumn* TGridEngine::ColumnByName(std::string_view name) const
{
    for (const auto& c : columns_)
        if (SameNameNoCase(c->Name, name)) return c.get();
    return nullptr;
}

TSummaryGroup& TGridEngine::AddSummaryGroup()
{
    summaryGroups_.emplace_back();
    return summaryGroups_.back();
}

void TGridEngine::LayoutChanged()
{
    Rebuild();
    if (OnLayoutChanged) OnLayoutChanged();
}

// --- columns as shown -----------------------------------------------------------------

std::vector<int> TGridEngine::HeaderColumns() const
{
    std::vector<int> out;
    for (int c : d->order)
        if (columns_[static_cast<size_t>(c)]->Visible && columns_[static_cast<size_t>(c)]->GroupIndex < 0)
            out.push_back(c);
    return out;
}

void TGridEngine::MoveColumn(int column, int headerPosition)
{
    if (column < 0 || column >= ColumnCount()) return;
    auto& order = d->order;
    order.erase(std::remove(order.begin(), order.end(), column), order.end());
    std::vector<int> header;
    for (int c : order)
        if (columns_[static_cast<size_t>(c)]->Visible && columns_[static_cast<size_t>(c)]->GroupIndex < 0)
            header.push_back(c);
    if (headerPosition < 0) headerPosition = 0;
    if (headerPosition < static_cast<int>(header.size())) {
        const auto at = std::find(order.begin(), order.end(), header[static_cast<size_t>(headerPosition)]);
        order.insert(at, column);
    } else if (!header.empty()) {
        const auto at = std::find(order.begin(), order.end(), header.back());
        order.insert(at + 1, column);
    } else {
        order.push_back(column);
    }
    if (OnLayoutChanged) OnLayoutChanged();
    if (OnChanged) OnChanged();
}

const TRecordField* TGridEngine::ColumnField(int column) const
{
    const TRecordTable* t = d->attached;
    if (!t || column < 0 || column >= ColumnCount()) return nullptr;
    return t->LookupField(columns_[static_cast<size_t>(column)]->FieldName);
}

const TRecordField* TGridEngine::FieldOf(int column) const
{
    if (column >= 0 && column < static_cast<int>(d->colField.size())) return d->colField[static_cast<size_t>(column)];
    return ColumnField(column);
}

AnsiString TGridEngine::ColumnCaption(int column) const
{
    const TDataGridColumn& c = Column(column);
    if (!c.Caption.empty()) return c.Caption;
    if (const TRecordField* f = ColumnField(column)) return f->DisplayName();
    return c.FieldName;
}

TAlignment TGridEngine::ColumnAlignment(int column) const
{
    const TDataGridColumn& c = Column(column);
    if (c.Alignment) return *c.Alignment;
    if (const TRecordField* f = FieldOf(column)) return f->Alignment;
    return taLeftJustify;
}

const TGridFont& TGridEngine::ColumnFont(int column) const
{
    const TDataGridColumn& c = Column(column);
    return c.Font ? *c.Font : Font;
}

void TGridEngine::SetViewWidth(int pixels)
{
    viewWidth_ = std::max(0, pixels);
    if (OnLayoutChanged) OnLayoutChanged();
}

int TGridEngine::DisplayWidth(int column) const
{
    const TDataGridColumn& col = Column(column);
    if (viewWidth_ <= 0) return col.Width;
    const std::vector<int> header = HeaderColumns();
    const auto it = std::find(header.begin(), header.end(), column);
    if (it == header.end()) return col.Width;
    int64_t total = 0;
    for (int c : header) total += std::max(0, columns_[static_cast<size_t>(c)]->Width);
    const auto share = [&](size_t upto) -> int64_t {   // pixels of the first `upto` columns
        if (total == 0) return static_cast<int64_t>(viewWidth_) * static_cast<int64_t>(upto) / static_cast<int64_t>(header.size());
        int64_t part = 0;
        for (size_t k = 0; k < upto; ++k) part += std::max(0, columns_[static_cast<size_t>(header[k])]->Width);
        return (part * viewWidth_ * 2 + total) / (total * 2);
    };
    const size_t k = static_cast<size_t>(it - header.begin());
    return static_cast<int>(share(k + 1) - share(k));
}

void TGridEngine::ResizeColumn(int column, int displayWidth)
{
    const std::vector<int> header = HeaderColumns();
    const auto it = std::find(header.begin(), header.end(), column);
    if (viewWidth_ <= 0 || it == header.end()) {
        Column(column).Width = std::max(1, displayWidth);
    } else if (header.size() > 1) {
        const int others = static_cast<int>(header.size()) - 1;
        const int w = std::clamp(displayWidth, 1, std::max(1, viewWidth_ - others));
        // The others keep their proportions in the room that is left.
        std::vector<int> current;
        int64_t otherTotal = 0;
        for (int c : header) {
            current.push_back(DisplayWidth(c));
            if (c != column) otherTotal += current.back();
        }
        const int64_t room = viewWidth_ - w;
        int64_t cumBefore = 0, assigned = 0;
        int seen = 0;
        for (size_t k = 0; k < header.size(); ++k) {
            TDataGridColumn& c = *columns_[static_cast<size_t>(header[k])];
            if (header[k] == column) {
                c.Width = w;
                continue;
            }
            ++seen;
            cumBefore += current[k];
            const int64_t upto = otherTotal > 0 ? (cumBefore * room * 2 + otherTotal) / (otherTotal * 2)
                                                : room * seen / others;
            c.Width = static_cast<int>(std::max<int64_t>(1, upto - assigned));
            assigned = upto;
        }
    }
    if (OnLayoutChanged) OnLayoutChanged();
}
