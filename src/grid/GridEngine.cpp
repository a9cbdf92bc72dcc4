#include "grid/GridEngineImpl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

TGroupNode* AsGroup(TGridNode* n) { return static_cast<TGroupNode*>(n); }
const TGroupNode* AsGroup(const TGridNode* n) { return static_cast<const TGroupNode*>(n); }
const TDataNode* AsData(const TGridNode* n) { return static_cast<const TDataNode*>(n); }

// Group key of a record's value at one level: numbers by value, texts by their bytes.
struct GroupKey {
    uint32_t parent = 0;
    uint8_t kind = 0;   // 0 null, 1 number, 2 text
    uint64_t num = 0;
    std::string_view s;
    bool operator==(const GroupKey& o) const
    {
        return parent == o.parent && kind == o.kind && num == o.num && s == o.s;
    }
};

struct GroupKeyHash {
    size_t operator()(const GroupKey& k) const
    {
        size_t h = std::hash<std::string_view>()(k.s);
        h ^= (k.num + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2));
        h ^= (static_cast<size_t>(k.parent) * 0x100000001b3ull) + k.kind;
        return h;
    }
};

uint64_t DoubleBits(double v)
{
    if (v == 0) v = 0;   // -0 and 0 are one value
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
}

GroupKey KeyOf(const TRecordTable& t, const TRecord* r, const TRecordField* f)
{
    GroupKey k;
    if (!f || t.IsNull(r, *f)) return k;
    switch (f->Kind) {
    case ftInteger: k.kind = 1; k.num = DoubleBits(t.GetInteger(r, *f)); break;
    case ftFloat: k.kind = 1; k.num = DoubleBits(t.GetFloat(r, *f)); break;
    case ftString: k.kind = 2; k.s = t.GetString(r, *f); break;
    default: break;
    }
    return k;
}

// Sort key of a data row: an order-keeping 16-byte prefix of the value, the rest of a
// text, the identity and the record's position. Sixteen bytes tell most texts apart (nicks
// share their first eight), so that the sort seldom reaches into the records, which at
// millions of rows lie far apart in memory.
struct SortKey {
    uint64_t prefix;
    uint64_t prefix2;
    const char* s;
    uint32_t len;
    uint32_t pos;
    int64_t tie;
};

uint64_t OrderedBits(double v)
{
    const uint64_t b = DoubleBits(v);
    return (b & 0x8000000000000000ull) ? ~b : (b | 0x8000000000000000ull);
}

uint64_t TextPrefix(std::string_view s, size_t from = 0)
{
    uint64_t p = 0;
    for (size_t k = from; k < from + 8; ++k)
        p = (p << 8) | (k < s.size() ? static_cast<unsigned char>(s[k]) : 0u);
    return p;
}

constexpr size_t kPrefixBytes = 16;

int CompareRest(const SortKey& a, const SortKey& b)
{
    if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2 ? -1 : 1;
    if (a.len <= kPrefixBytes && b.len <= kPrefixBytes) return a.len < b.len ? -1 : (a.len > b.len ? 1 : 0);
    const size_t sa = std::min(static_cast<size_t>(a.len), kPrefixBytes), sb = std::min(static_cast<size_t>(b.len), kPrefixBytes);
    const size_t la = a.len - sa, lb = b.len - sb;
    const size_t n = std::min(la, lb);
    const int c = n ? std::memcmp(a.s + sa, b.s + sb, n) : 0;
    if (c != 0) return c;
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

struct AscendingKey {
    bool operator()(const SortKey& a, const SortKey& b) const
    {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int c = CompareRest(a, b);
        if (c != 0) return c < 0;
        if (a.tie != b.tie) return a.tie < b.tie;
        return a.pos < b.pos;
    }
};

struct DescendingKey {
    bool operator()(const SortKey& a, const SortKey& b) const
    {
        if (a.prefix != b.prefix) return a.prefix > b.prefix;
        const int c = CompareRest(a, b);
        if (c != 0) return c > 0;
        if (a.tie != b.tie) return a.tie < b.tie;   // equal values: ascending identity either way
        return a.pos < b.pos;
    }
};

void AppendPath(std::string& path, int column, const TGridValue& v)
{
    path.append(reinterpret_cast<const char*>(&column), sizeof column);
    path += static_cast<char>(v.IsNull() ? 0 : v.kind);
    if (v.IsNull()) return;
    if (v.kind == TGridValue::String) {
        const uint32_t n = static_cast<uint32_t>(v.s.size());
        path.append(reinterpret_cast<const char*>(&n), 4);
        path += v.s;
    } else {
        const double x = v.kind == TGridValue::Integer ? v.i : v.f;
        path.append(reinterpret_cast<const char*>(&x), 8);
    }
}

} // namespace

// Path of a group: its level's column and value, from the top.
static std::string GroupPath(const TGroupNode* g, const std::vector<TLevelInfo>& levels)
{
    std::vector<const TGroupNode*> chain;
    for (const TGroupNode* p = g; p; p = p->parent) chain.push_back(p);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        AppendPath(path, (*it)->level < levels.size() ? levels[(*it)->level].column : -1, (*it)->value);
    return path;
}

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

// --- grouping and sorting ---------------------------------------------------------------

std::vector<int> TGridEngine::LiveGroupColumns() const
{
    std::vector<int> out;
    for (const auto& c : columns_)
        if (c->GroupIndex >= 0) out.push_back(c->index_);
    std::stable_sort(out.begin(), out.end(), [&](int a, int b) {
        return columns_[static_cast<size_t>(a)]->GroupIndex < columns_[static_cast<size_t>(b)]->GroupIndex;
    });
    return out;
}

int TGridEngine::GroupColumnCount() const { return static_cast<int>(LiveGroupColumns().size()); }

int TGridEngine::GroupColumn(int level) const
{
    const std::vector<int> g = LiveGroupColumns();
    return level >= 0 && level < static_cast<int>(g.size()) ? g[static_cast<size_t>(level)] : -1;
}

void TGridEngine::GroupByColumn(int column, int level)
{
    if (column < 0 || column >= ColumnCount()) return;
    std::vector<int> g = LiveGroupColumns();
    g.erase(std::remove(g.begin(), g.end(), column), g.end());
    level = std::clamp(level, 0, static_cast<int>(g.size()));
    g.insert(g.begin() + level, column);
    for (size_t k = 0; k < g.size(); ++k) columns_[static_cast<size_t>(g[k])]->GroupIndex = static_cast<int>(k);
    TDataGridColumn& c = Column(column);
    if (c.Sorted == csNone) c.Sorted = csUp;
    LayoutChanged();
}

void TGridEngine::UngroupColumn(int column)
{
    if (column < 0 || column >= ColumnCount() || Column(column).GroupIndex < 0) return;
    TDataGridColumn& c = Column(column);
    c.GroupIndex = -1;
    const std::vector<int> g = LiveGroupColumns();
    for (size_t k = 0; k < g.size(); ++k) columns_[static_cast<size_t>(g[k])]->GroupIndex = static_cast<int>(k);
    // Only one non-group column is sorted at a time.
    for (const auto& o : columns_)
        if (o.get() != &c && o->GroupIndex < 0 && o->Sorted != csNone) c.Sorted = csNone;
    LayoutChanged();
}

void TGridEngine::ClickColumn(int column, bool ctrl)
{
    if (column < 0 || column >= ColumnCount()) return;
    TDataGridColumn& c = Column(column);
    if (c.GroupIndex >= 0) {
        if (ctrl) return;   // a group column keeps its groups in order
        c.Sorted = c.Sorted == csUp ? csDown : csUp;
    } else if (ctrl) {
        c.Sorted = csNone;
    } else {
        c.Sorted = c.Sorted == csUp ? csDown : csUp;
        for (const auto& o : columns_)
            if (o.get() != &c && o->GroupIndex < 0) o->Sorted = csNone;
    }
    LayoutChanged();
}

// --- the row tree -----------------------------------------------------------------------

int TGridEngine::TopCount() const { return static_cast<int>(d->top.size()); }
TGridNode* TGridEngine::Top(int index) const { return d->top.at(static_cast<size_t>(index)); }
bool TGridEngine::IsGroup(const TGridNode* node) { return node && (node->flags & TGridNode::kGroup); }
int TGridEngine::Level(const TGridNode* node) { return node ? node->level : -1; }
TGridNode* TGridEngine::Parent(const TGridNode* node) { return node ? node->parent : nullptr; }

int TGridEngine::ChildCount(const TGridNode* node)
{
    return IsGroup(node) ? static_cast<int>(AsGroup(node)->kids.size()) : 0;
}

TGridNode* TGridEngine::Child(const TGridNode* node, int index)
{
    return IsGroup(node) ? AsGroup(node)->kids.at(static_cast<size_t>(index)) : nullptr;
}

bool TGridEngine::IsLast(const TGridNode* node) { return node && (node->flags & TGridNode::kLast); }
bool TGridEngine::Expanded(const TGridNode* node) { return node && (node->flags & TGridNode::kExpanded); }

const TRecord* TGridEngine::Record(const TGridNode* node) const
{
    return node && !IsGroup(node) ? AsData(node)->record : nullptr;
}

int TGridEngine::DataRowCount() const { return static_cast<int>(d->shown); }
int TGridEngine::SetAsideCount() const { return static_cast<int>(d->nodes.size() - d->shown); }

void TGridEngine::SetExpanded(TGridNode* node, bool expanded)
{
    if (!IsGroup(node) || Expanded(node) == expanded) return;
    if (expanded) node->flags |= TGridNode::kExpanded;
    else node->flags &= static_cast<uint8_t>(~TGridNode::kExpanded);
    d->linesDirty = true;
    if (OnChanged) OnChanged();
}

void TGridEngine::ExpandAll()
{
    for (auto& g : d->groupStore) g->flags |= TGridNode::kExpanded;
    d->linesDirty = true;
    if (OnChanged) OnChanged();
}

void TGridEngine::CollapseAll()
{
    for (auto& g : d->groupStore) g->flags &= static_cast<uint8_t>(~TGridNode::kExpanded);
    d->linesDirty = true;
    if (OnChanged) OnChanged();
}

// --- lines --------------------------------------------------------------------------------

void TGridEngine::RecomputeLines() const
{
    Impl& m = *d;
    m.linesDirty = false;
    m.topPrefix.clear();
    if (m.levels.empty()) {
        m.lineCount = static_cast<int64_t>(m.top.size());
        return;
    }
    const size_t innermost = m.levels.size() - 1;
    // Children before parents: the store holds parents before their children.
    for (auto it = m.groupStore.rbegin(); it != m.groupStore.rend(); ++it) {
        TGroupNode* g = it->get();
        if (!(g->flags & TGridNode::kShown)) continue;
        g->prefix.clear();
        int64_t lines = 1;
        if (g->flags & TGridNode::kExpanded) {
            if (g->level == innermost) {
                lines += static_cast<int64_t>(g->kids.size());
                if (!g->kids.empty()) lines += GetRowFooterCount(g->kids.back());
            } else {
                g->prefix.reserve(g->kids.size());
                int64_t sum = 0;
                for (TGridNode* k : g->kids) {
                    g->prefix.push_back(sum);
                    sum += AsGroup(k)->lines;
                }
                lines += sum;
            }
        }
        g->lines = lines;
    }
    int64_t sum = 0;
    m.topPrefix.reserve(m.top.size());
    for (TGridNode* k : m.top) {
        m.topPrefix.push_back(sum);
        sum += AsGroup(k)->lines;
    }
    m.lineCount = sum;
}

int TGridEngine::LineCount() const
{
    if (d->linesDirty) RecomputeLines();
    return static_cast<int>(d->lineCount);
}

TGridLine TGridEngine::Line(int index) const
{
    if (d->linesDirty) RecomputeLines();
    TGridLine line;
    if (index < 0 || index >= d->lineCount) return line;
    if (d->levels.empty()) {
        line.Node = d->top[static_cast<size_t>(index)];
        return line;
    }
    const size_t innermost = d->levels.size() - 1;
    const std::vector<TGridNode*>* list = &d->top;
    const std::vector<int64_t>* prefix = &d->topPrefix;
    int64_t off = index;
    for (;;) {
        const size_t k = static_cast<size_t>(std::upper_bound(prefix->begin(), prefix->end(), off) - prefix->begin()) - 1;
        TGroupNode* g = AsGroup((*list)[k]);
        off -= (*prefix)[k];
        if (off == 0) {
            line.Node = g;
            return line;
        }
        --off;
        if (g->level == innermost) {
            const int64_t n = static_cast<int64_t>(g->kids.size());
            if (off < n) {
                line.Node = g->kids[static_cast<size_t>(off)];
            } else {
                line.Node = g->kids.back();
                line.Footer = static_cast<int>(off - n);
            }
            return line;
        }
        list = &g->kids;
        prefix = &g->prefix;
    }
}

int TGridEngine::LineOf(const TGridNode* node) const
{
    if (!node || !(node->flags & TGridNode::kShown)) return -1;
    if (d->linesDirty) RecomputeLines();
    int64_t line = 0;
    const TGridNode* cur = node;
    while (cur->parent) {
        const TGroupNode* p = cur->parent;
        if (!(p->flags & TGridNode::kExpanded) || !(p->flags & TGridNode::kShown)) return -1;
        line += 1 + (IsGroup(cur) ? p->prefix[cur->index] : static_cast<int64_t>(cur->index));
        cur = p;
    }
    line += d->levels.empty() ? static_cast<int64_t>(cur->index) : d->topPrefix[cur->index];
    return static_cast<int>(line);
}

// --- values and texts ---------------------------------------------------------------------

TGridValue TGridEngine::Value(const TGridNode* node, int column) const
{
    if (!node) return TGridValue();
    if (IsGroup(node)) {
        const TGroupNode* g = AsGroup(node);
        if (g->level < d->levels.size() && d->levels[g->level].column == column) return g->value;
        return TGridValue();
    }
    if (!d->attached) return TGridValue();
    return RecordValue(*d->attached, AsData(node)->record, FieldOf(column));
}

AnsiString TGridEngine::DisplayText(const TGridNode* node, int column) const
{
    if (!node) return AnsiString();
    if (IsGroup(node)) return GridValueText(Value(node, column));
    const TRecordField* f = FieldOf(column);
    if (!f || !d->attached) return AnsiString();
    return d->attached->GetDisplayText(AsData(node)->record, *f);
}

AnsiString TGridEngine::GroupRowText(const TGridNode* node) const
{
    if (!IsGroup(node)) return AnsiString();
    const TGroupNode* g = AsGroup(node);
    if (g->level >= d->levels.size()) return AnsiString();
    const TLevelInfo& lv = d->levels[g->level];
    AnsiString text = ColumnCaption(lv.column) + " : " + GridValueText(g->value) + " ";
    std::vector<AnsiString> inRow;
    for (size_t s = 0; s < lv.slots.size(); ++s) {
        const TSummarySlot& slot = lv.slots[s];
        const double v = s < g->sums.size() ? g->sums[s] : 0;
        if (slot.ownColumnSummary) text += FormatFloatPattern(slot.format, v) + " ";
        else if (slot.columnName.empty()) inRow.push_back(FormatFloatPattern(slot.format, v));
    }
    if (lv.group >= 0 && !summaryGroups_[static_cast<size_t>(lv.group)].SummaryItems.empty()) {
        const TSummaryGroup& sg = summaryGroups_[static_cast<size_t>(lv.group)];
        text += sg.BeginSummaryText;
        for (size_t k = 0; k < inRow.size(); ++k) {
            if (k) text += SummarySeparator;
            text += inRow[k];
        }
        text += sg.EndSummaryText;
    }
    return text;
}

int TGridEngine::GetRowFooterCount(const TGridNode* node) const
{
    if (!ShowRowFooter || !node || IsGroup(node) || !(node->flags & TGridNode::kShown)) return 0;
    int count = 0;
    for (const TGridNode* cur = node; cur->parent && (cur->flags & TGridNode::kLast); cur = cur->parent)
        if (d->levels[cur->parent->level].hasFooter) ++count;
    return count;
}

int TGridEngine::GetNodeFooterLevel(const TGridNode* node, int footer) const
{
    if (!ShowRowFooter || !node || IsGroup(node) || !(node->flags & TGridNode::kShown)) return -1;
    int count = 0;
    for (const TGridNode* cur = node; cur->parent && (cur->flags & TGridNode::kLast); cur = cur->parent) {
        if (!d->levels[cur->parent->level].hasFooter) continue;
        if (count++ == footer) return cur->parent->level;
    }
    return -1;
}

bool TGridEngine::IsExistRowFooterCell(const TGridNode* node, int footer, int column) const
{
    const int level = GetNodeFooterLevel(node, footer);
    if (level < 0 || column < 0 || column >= ColumnCount()) return false;
    for (const TSummarySlot& s : d->levels[static_cast<size_t>(level)].slots)
        if (!s.ownColumnSummary && !s.columnName.empty() && SameNameNoCase(s.columnName, Column(column).Name))
            return true;
    return false;
}

AnsiString TGridEngine::GetFooterCellText(const TGridNode* node, int footer, int column) const
{
    const int level = GetNodeFooterLevel(node, footer);
    if (level < 0 || column < 0 || column >= ColumnCount()) return AnsiString();
    const TGroupNode* g = node->parent;
    while (g && g->level != level) g = g->parent;
    if (!g) return AnsiString();
    const TLevelInfo& lv = d->levels[static_cast<size_t>(level)];
    AnsiString text;
    bool first = true;
    for (size_t s = 0; s < lv.slots.size(); ++s) {
        const TSummarySlot& slot = lv.slots[s];
        if (slot.ownColumnSummary || slot.columnName.empty() || !SameNameNoCase(slot.columnName, Column(column).Name))
            continue;
        if (!first) text += SummarySeparator;
        first = false;
        text += FormatFloatPattern(slot.format, s < g->sums.size() ? g->sums[s] : 0);
    }
    return text;
}

bool TGridEngine::HasSummaryFooter(int column) const
{
    return column >= 0 && column < ColumnCount() && Column(column).SummaryFooterType != cstNone;
}

AnsiString TGridEngine::SummaryFooterText(int column) const
{
    if (!HasSummaryFooter(column)) return AnsiString();
    const double v = column < static_cast<int>(d->footerValues.size()) ? d->footerValues[static_cast<size_t>(column)] : 0;
    return FormatFloatPattern(Column(column).SummaryFooterFormat, v);
}

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
    if (focused_ && (focused_->flags & TGridNode::kShown)) return;
    focused_ = nullptr;
    const int lines = LineCount();
    if (lines == 0) return;
    focused_ = Line(std::clamp(preferredLine, 0, lines - 1)).Node;
    NoteFocus();
}

// --- deleting and inserting ---------------------------------------------------------------

bool TGridEngine::CanDeleteFocused() const
{
    const TRecordTable* t = d->attached;
    return focused_ && !IsGroup(focused_) && t && t->Active() && t->GetRecordCount() > 0;
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
            if (n.flags & TGridNode::kShown) focused_ = &n;
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

// --- reading the table ----------------------------------------------------------------------

size_t TGridEngine::TreeBytes() const
{
    size_t bytes = sizeof(Impl) + d->nodes.capacity() * sizeof(TDataNode) + d->top.capacity() * sizeof(TGridNode*) +
                   d->topGroups.capacity() * sizeof(TGroupNode*) + d->topPrefix.capacity() * sizeof(int64_t) +
                   d->groupStore.capacity() * sizeof(std::unique_ptr<TGroupNode>) +
                   d->nodeOfPos.capacity() * sizeof(uint32_t);
    for (const auto& g : d->groupStore)
        bytes += sizeof(TGroupNode) + g->kids.capacity() * sizeof(TGridNode*) +
                 g->groups.capacity() * sizeof(TGroupNode*) +
                 (g->sums.capacity() + g->allSums.capacity()) * sizeof(double) +
                 g->prefix.capacity() * sizeof(int64_t) + g->value.s.capacity();
    return bytes;
}

void TGridEngine::DataEvent(TDataEvent event, const TRecordField* field)
{
    switch (event) {
    case TDataEvent::Opened:
    case TDataEvent::Closed:
        d->forgetExpanded = true;
        Rebuild();
        break;
    case TDataEvent::DataSetChange:
        if (!d->handingOver) Rebuild();
        break;
    case TDataEvent::StateChange:
        if (d->attached && d->attached->Active() != d->builtActive) {
            d->forgetExpanded = true;
            Rebuild();
        } else if (OnChanged) {
            OnChanged();
        }
        break;
    case TDataEvent::FieldChange:
        if (OnChanged) OnChanged();
        break;
    case TDataEvent::RecordChange:
        break;
    }
}

void TGridEngine::TableDestroyed(TRecordTable* table)
{
    if (table != d->attached) return;
    d->attached = nullptr;
    d->inserting = false;
    ClearTree();
    std::vector<TDataNode>().swap(d->nodes);
    std::vector<uint32_t>().swap(d->nodeOfPos);
    d->builtActive = false;
    if (OnChanged) OnChanged();
}

void TGridEngine::ClearTree()
{
    focused_ = nullptr;
    d->insertBefore = nullptr;
    // The rows' arrays keep their room for the next build: at millions of rows fresh memory
    // cost more than the build itself. It is given back where no build follows, and where
    // a build needs much less of it.
    d->nodes.clear();
    d->nodeOfPos.clear();
    d->footerAll.clear();
    d->groupStore.clear();
    d->topGroups.clear();
    d->top.clear();
    d->topPrefix.clear();
    d->shown = 0;
    d->linesDirty = true;
}

void TGridEngine::ResolveLayout()
{
    Impl& m = *d;
    const TRecordTable* t = m.attached;
    for (size_t k = 0; k < columns_.size(); ++k) columns_[k]->index_ = static_cast<int>(k);
    m.colField.assign(columns_.size(), nullptr);
    for (size_t k = 0; k < columns_.size(); ++k)
        m.colField[k] = t ? t->LookupField(columns_[k]->FieldName) : nullptr;
    m.keyField = t && !KeyField.empty() ? t->LookupField(KeyField) : nullptr;

    const auto fieldNamed = [&](const std::string& name) -> const TRecordField* {
        return t && !name.empty() ? t->LookupField(name) : nullptr;
    };

    m.levels.clear();
    for (int col : LiveGroupColumns()) {
        const TDataGridColumn& c = *columns_[static_cast<size_t>(col)];
        TLevelInfo lv;
        lv.column = col;
        lv.field = m.colField[static_cast<size_t>(col)];
        lv.descending = c.Sorted == csDown;
        if (!c.SummaryGroupName.empty()) {
            for (size_t g = 0; g < summaryGroups_.size(); ++g)
                if (SameNameNoCase(summaryGroups_[g].Name, c.SummaryGroupName)) {
                    lv.group = static_cast<int>(g);
                    break;
                }
        } else if (c.SummaryType == cstNone) {
            for (size_t g = 0; g < summaryGroups_.size(); ++g)
                if (summaryGroups_[g].DefaultGroup) {
                    lv.group = static_cast<int>(g);
                    break;
                }
        }
        if (c.SummaryType != cstNone) {
            TSummarySlot s;
            s.type = c.SummaryType;
            s.field = c.SummaryField.empty() ? lv.field : fieldNamed(c.SummaryField);
            s.format = c.SummaryFormat;
            s.ownColumnSummary = true;
            lv.slots.push_back(s);
        }
        if (lv.group >= 0) {
            for (const TSummaryItem& item : summaryGroups_[static_cast<size_t>(lv.group)].SummaryItems) {
                TSummarySlot s;
                s.type = item.SummaryType;
                s.field = fieldNamed(item.SummaryField);
                if (!s.field && item.SummaryField.empty() && !item.ColumnName.empty())
                    if (const TDataGridColumn* named = ColumnByName(item.ColumnName))
                        s.field = m.colField[static_cast<size_t>(named->index_)];
                s.format = item.SummaryFormat;
                s.columnName = item.ColumnName;
                if (!item.ColumnName.empty()) lv.hasFooter = true;
                lv.slots.push_back(s);
            }
        }
        m.levels.push_back(std::move(lv));
    }

    m.footerSlots.assign(columns_.size(), TSummarySlot());
    for (size_t k = 0; k < columns_.size(); ++k) {
        const TDataGridColumn& c = *columns_[k];
        if (c.SummaryFooterType == cstNone) continue;
        TSummarySlot& s = m.footerSlots[k];
        s.type = c.SummaryFooterType;
        s.field = c.SummaryFooterField.empty() ? m.colField[k] : fieldNamed(c.SummaryFooterField);
        s.format = c.SummaryFooterFormat;
    }
}

void TGridEngine::Rebuild()
{
    Impl& m = *d;
    TRecordTable* t = m.attached;
    if (t && t->FreezeCount() > 0) return;   // the release brings a content change

    // What survives a rebuild: the focused record or group, the expanded groups.
    // (The focused record may be gone already: only its remembered identity is used.)
    const bool byRecord = focused_ && !IsGroup(focused_) && m.focusIdentity.has_value();
    const int32_t focusRecord = byRecord ? *m.focusIdentity : 0;
    std::string focusPath;
    int focusLine = m.preferredLine >= 0 ? m.preferredLine : 0;
    if (focused_) {
        focusLine = std::max(0, LineOf(focused_));
        if (IsGroup(focused_)) focusPath = GroupPath(AsGroup(focused_), m.levels);
    }
    m.expandedPaths.clear();
    if (!m.forgetExpanded)
        for (const auto& g : m.groupStore)
            if (g->flags & TGridNode::kExpanded) m.expandedPaths.insert(GroupPath(g.get(), m.levels));
    const bool hadFocus = focused_ != nullptr || m.preferredLine >= 0;
    m.forgetExpanded = false;

    ClearTree();
    ResolveLayout();
    m.builtActive = t && t->Active();
    if (m.builtActive) {
        BuildTree();
    } else {
        std::vector<TDataNode>().swap(m.nodes);
        std::vector<uint32_t>().swap(m.nodeOfPos);
    }
    m.expandedPaths.clear();
    ApplyFilterInternal();

    if (byRecord && m.nodeOfPos.size() == m.nodes.size()) {
        for (size_t i = 0; i < m.nodes.size(); ++i)   // table order: the records lie that way in memory
            if (TRecordTable::Identity(t->RecordAt(static_cast<int>(i))) == focusRecord) {
                focused_ = &m.nodes[m.nodeOfPos[i]];
                break;
            }
    } else if (!focusPath.empty()) {
        for (const auto& g : m.groupStore)
            if (GroupPath(g.get(), m.levels) == focusPath) {
                focused_ = g.get();
                break;
            }
    }
    if (hadFocus || !m.nodes.empty()) FocusShownOrFirst(focusLine);
    NoteFocus();

    if (m.inserting && (!t || t->State() != TTableState::Inserting)) m.inserting = false;
    if (m.inserting && m.insertBeforeRecord) {
        m.insertBefore = nullptr;
        for (TDataNode& n : m.nodes)
            if (n.record == m.insertBeforeRecord && (n.flags & TGridNode::kShown)) {
                m.insertBefore = &n;
                break;
            }
    }
    const std::vector<int> header = HeaderColumns();
    if (!header.empty() && std::find(header.begin(), header.end(), focusedColumn_) == header.end())
        focusedColumn_ = header.front();
    if (OnChanged) OnChanged();
}

namespace {

void AddToSummary(const TRecordTable& t, TSummaryAcc& acc, const TSummarySlot& slot, const TRecord* r)
{
    if (slot.type == cstCount || !slot.field || slot.field->Kind == ftString || t.IsNull(r, *slot.field)) {
        acc.Add(true, 0);
        return;
    }
    acc.Add(false, t.GetFloat(r, *slot.field));
}

} // namespace

// Summaries of the rows for which `take` holds, in table order (records lie in memory in
// that order, so the walk reads them front to back). `groupOf` gives a record's innermost group.
template <class Take, class GroupOf>
static void SumRows(const TRecordTable& t, const std::vector<TLevelInfo>& levels,
                    const std::vector<std::unique_ptr<TGroupNode>>& groups, const std::vector<TSummarySlot>& footerSlots,
                    Take take, GroupOf groupOf, std::vector<std::vector<double>>& groupSums,
                    std::vector<double>& footerSums)
{
    std::vector<std::vector<TSummaryAcc>> accs(groups.size());
    for (const auto& g : groups) accs[g->id].resize(levels[g->level].slots.size());
    std::vector<size_t> footerColumns;
    for (size_t k = 0; k < footerSlots.size(); ++k)
        if (footerSlots[k].type != cstNone) footerColumns.push_back(k);
    std::vector<TSummaryAcc> footer(footerSlots.size());
    const bool grouped = !levels.empty();
    const int n = t.GetRecordCount();
    for (int i = 0; i < n; ++i) {
        const TRecord* r = t.RecordAt(i);
        if (!take(i, r)) continue;
        for (size_t k : footerColumns) AddToSummary(t, footer[k], footerSlots[k], r);
        if (!grouped) continue;
        for (const TGroupNode* g = groupOf(i); g; g = g->parent) {
            const auto& slots = levels[g->level].slots;
            auto& a = accs[g->id];
            for (size_t s = 0; s < slots.size(); ++s) AddToSummary(t, a[s], slots[s], r);
        }
    }
    groupSums.assign(groups.size(), {});
    for (const auto& g : groups) {
        const auto& slots = levels[g->level].slots;
        auto& out = groupSums[g->id];
        out.resize(slots.size());
        for (size_t s = 0; s < slots.size(); ++s) out[s] = accs[g->id][s].Result(slots[s].type);
    }
    footerSums.assign(footerSlots.size(), 0);
    for (size_t k : footerColumns) footerSums[k] = footer[k].Result(footerSlots[k].type);
}

void TGridEngine::BuildTree()
{
    Impl& m = *d;
    const TRecordTable& t = *m.attached;
    const uint32_t n = static_cast<uint32_t>(t.GetRecordCount());
    const size_t depth = m.levels.size();

    // 1. Groups: one pass over the records, a hash lookup per level (skipped while a
    //    record repeats the previous one's values).
    std::vector<uint32_t> leafOf;
    if (depth > 0) {
        leafOf.resize(n);
        std::unordered_map<GroupKey, TGroupNode*, GroupKeyHash> index;
        index.reserve(1024);
        std::vector<GroupKey> prevKey(depth);
        std::vector<TGroupNode*> prevGroup(depth, nullptr);
        for (uint32_t i = 0; i < n; ++i) {
            const TRecord* r = t.RecordAt(static_cast<int>(i));
            TGroupNode* parent = nullptr;
            bool same = i > 0;
            for (size_t l = 0; l < depth; ++l) {
                GroupKey k = KeyOf(t, r, m.levels[l].field);
                k.parent = parent ? parent->id + 1 : 0;
                TGroupNode* g;
                if (same && k == prevKey[l]) {
                    g = prevGroup[l];
                } else {
                    same = false;
                    auto it = index.find(k);
                    if (it != index.end()) {
                        g = it->second;
                    } else {
                        auto node = std::make_unique<TGroupNode>();
                        g = node.get();
                        g->id = static_cast<uint32_t>(m.groupStore.size());
                        g->flags = TGridNode::kGroup;
                        g->level = static_cast<uint8_t>(l);
                        g->parent = parent;
                        g->value = RecordValue(t, r, m.levels[l].field);
                        m.groupStore.push_back(std::move(node));
                        (parent ? parent->groups : m.topGroups).push_back(g);
                        index.emplace(k, g);
                    }
                    prevKey[l] = k;
                    prevGroup[l] = g;
                }
                parent = g;
            }
            leafOf[i] = parent->id;
        }
        // Siblings in the order of their values.
        const auto order = [&](std::vector<TGroupNode*>& list) {
            if (list.empty()) return;
            const bool desc = m.levels[list.front()->level].descending;
            std::sort(list.begin(), list.end(), [desc](const TGroupNode* a, const TGroupNode* b) {
                const int c = CompareGridValues(a->value, b->value);
                return desc ? c > 0 : c < 0;
            });
        };
        order(m.topGroups);
        for (auto& g : m.groupStore) order(g->groups);
        for (auto& g : m.groupStore)
            if (!m.expandedPaths.empty() && m.expandedPaths.count(GroupPath(g.get(), m.levels)))
                g->flags |= TGridNode::kExpanded;
    }

    // 2. Leaves in display order, and each record's place among them.
    std::vector<TGroupNode*> leaves;
    if (depth > 0) {
        std::vector<TGroupNode*> stack(m.topGroups.rbegin(), m.topGroups.rend());
        while (!stack.empty()) {
            TGroupNode* g = stack.back();
            stack.pop_back();
            if (g->level == depth - 1) leaves.push_back(g);
            else stack.insert(stack.end(), g->groups.rbegin(), g->groups.rend());
        }
    }
    std::vector<uint32_t> rankOf(m.groupStore.size(), 0);
    for (size_t k = 0; k < leaves.size(); ++k) rankOf[leaves[k]->id] = static_cast<uint32_t>(k);
    const size_t buckets = depth > 0 ? leaves.size() : 1;

    // 3. Sort keys, bucketed by leaf (stable, so table order stays among equals).
    int sortColumn = -1;
    for (const auto& c : columns_)
        if (c->GroupIndex < 0 && c->Sorted != csNone && m.colField[static_cast<size_t>(c->index_)]) {
            sortColumn = c->index_;
            break;
        }
    const TRecordField* sortField = sortColumn >= 0 ? m.colField[static_cast<size_t>(sortColumn)] : nullptr;
    const bool descending = sortColumn >= 0 && columns_[static_cast<size_t>(sortColumn)]->Sorted == csDown;

    std::vector<uint32_t> start(buckets + 1, 0);
    if (depth > 0)
        for (uint32_t i = 0; i < n; ++i) ++start[rankOf[leafOf[i]] + 1];
    else
        start[1] = n;
    for (size_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);

    std::vector<SortKey> keys(n);
    for (uint32_t i = 0; i < n; ++i) {
        const TRecord* r = t.RecordAt(static_cast<int>(i));
        SortKey k{0, 0, nullptr, 0, i, INT64_MIN};
        if (sortField && !t.IsNull(r, *sortField)) {
            switch (sortField->Kind) {
            case ftInteger: k.prefix = OrderedBits(t.GetInteger(r, *sortField)); break;
            case ftFloat: k.prefix = OrderedBits(t.GetFloat(r, *sortField)); break;
            case ftString: {
                const std::string_view s = t.GetString(r, *sortField);
                k.prefix = TextPrefix(s);
                k.prefix2 = TextPrefix(s, 8);
                k.s = s.data();
                k.len = static_cast<uint32_t>(s.size());
                break;
            }
            default: break;
            }
        }
        if (sortField && m.keyField && !t.IsNull(r, *m.keyField)) {
            if (m.keyField->Kind == ftInteger) k.tie = t.GetInteger(r, *m.keyField);
            else if (m.keyField->Kind == ftFloat) k.tie = std::llround(t.GetFloat(r, *m.keyField));
        }
        keys[fill[depth > 0 ? rankOf[leafOf[i]] : 0]++] = k;
    }
    if (sortField) {
        for (size_t b = 0; b < buckets; ++b) {
            auto first = keys.begin() + start[b], last = keys.begin() + start[b + 1];
            if (descending) std::sort(first, last, DescendingKey());
            else std::sort(first, last, AscendingKey());
        }
    }

    // 4. The summaries of every row, kept for the times no filter is set.
    {
        std::vector<std::vector<double>> sums;
        SumRows(
            t, m.levels, m.groupStore, m.footerSlots, [](int, const TRecord*) { return true; },
            [&](int i) { return m.groupStore[leafOf[static_cast<size_t>(i)]].get(); }, sums, m.footerAll);
        for (auto& g : m.groupStore) g->allSums = std::move(sums[g->id]);
    }
    leafOf.clear();
    leafOf.shrink_to_fit();

    // 5. The data rows, in display order.
    if (m.nodes.capacity() / 2 > n) {
        std::vector<TDataNode>().swap(m.nodes);
        std::vector<uint32_t>().swap(m.nodeOfPos);
    }
    m.nodes.resize(n);
    m.nodeOfPos.resize(n);
    for (size_t b = 0; b < buckets; ++b) {
        TGroupNode* leaf = depth > 0 ? leaves[b] : nullptr;
        if (leaf) {
            leaf->first = start[b];
            leaf->end = start[b + 1];
        }
        for (uint32_t i = start[b]; i < start[b + 1]; ++i) {
            TDataNode& node = m.nodes[i];
            node.record = t.RecordAt(static_cast<int>(keys[i].pos));
            m.nodeOfPos[keys[i].pos] = i;
            node.parent = leaf;
            node.level = static_cast<uint8_t>(depth);
            node.flags = 0;
        }
    }
}

void TGridEngine::ApplyFilterInternal()
{
    Impl& m = *d;
    const size_t depth = m.levels.size();
    const std::vector<TCompiledFilter> filters = CompileFilters();
    // (A tree that is not the table's current one is only shown until the rebuild that follows.)
    const bool all = filters.empty() || !m.attached || !m.builtActive || m.nodeOfPos.size() != m.nodes.size() ||
                     static_cast<size_t>(m.attached->GetRecordCount()) != m.nodes.size();

    // Which rows pass, by node; and the summaries of those rows.
    std::vector<uint8_t> pass;
    std::vector<std::vector<double>> groupSums;
    if (all) {
        m.footerValues = m.footerAll;
        if (m.footerValues.size() != m.footerSlots.size()) m.footerValues.assign(m.footerSlots.size(), 0);
        for (auto& g : m.groupStore) g->sums = g->allSums;
    } else {
        const TRecordTable& t = *m.attached;
        const bool ci = Filter.CaseInsensitive;
        pass.assign(m.nodes.size(), 0);
        SumRows(
            t, m.levels, m.groupStore, m.footerSlots,
            [&](int i, const TRecord* r) {
                if (!RowPasses(r, filters, ci)) return false;
                pass[m.nodeOfPos[static_cast<size_t>(i)]] = 1;
                return true;
            },
            [&](int i) { return m.nodes[m.nodeOfPos[static_cast<size_t>(i)]].parent; }, groupSums, m.footerValues);
        for (auto& g : m.groupStore) g->sums = std::move(groupSums[g->id]);
    }
    const auto passes = [&](size_t node) { return all || pass[node]; };

    m.shown = 0;
    m.top.clear();
    if (depth == 0) {
        m.top.reserve(all ? m.nodes.size() : 0);
        for (size_t i = 0; i < m.nodes.size(); ++i) {
            TDataNode& node = m.nodes[i];
            if (passes(i)) {
                node.flags = TGridNode::kShown;
                node.index = static_cast<uint32_t>(m.top.size());
                m.top.push_back(&node);
            } else {
                node.flags = 0;
            }
        }
        m.shown = m.top.size();
    } else {
        // Children before parents: the store holds parents first.
        for (auto it = m.groupStore.rbegin(); it != m.groupStore.rend(); ++it) {
            TGroupNode* g = it->get();
            g->kids.clear();
            if (g->level == depth - 1) {
                if (all) g->kids.reserve(g->end - g->first);
                for (uint32_t i = g->first; i < g->end; ++i) {
                    TDataNode& node = m.nodes[i];
                    if (passes(i)) {
                        node.flags = TGridNode::kShown;
                        node.index = static_cast<uint32_t>(g->kids.size());
                        g->kids.push_back(&node);
                    } else {
                        node.flags = 0;
                    }
                }
                m.shown += g->kids.size();
            } else {
                for (TGroupNode* c : g->groups)
                    if (c->flags & TGridNode::kShown) {
                        c->index = static_cast<uint32_t>(g->kids.size());
                        g->kids.push_back(c);
                    }
            }
            if (g->kids.capacity() > g->kids.size() * 2) g->kids.shrink_to_fit();
            for (TGridNode* k : g->kids) k->flags &= static_cast<uint8_t>(~TGridNode::kLast);
            if (!g->kids.empty()) g->kids.back()->flags |= TGridNode::kLast;
            g->flags &= static_cast<uint8_t>(~(TGridNode::kShown | TGridNode::kLast));
            if (!g->kids.empty()) g->flags |= TGridNode::kShown;
        }
        for (TGroupNode* g : m.topGroups)
            if (g->flags & TGridNode::kShown) {
                g->index = static_cast<uint32_t>(m.top.size());
                m.top.push_back(g);
            }
    }
    if (m.top.capacity() > m.top.size() * 2) m.top.shrink_to_fit();
    if (!m.top.empty()) m.top.back()->flags |= TGridNode::kLast;
    m.linesDirty = true;
}
