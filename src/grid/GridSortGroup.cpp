// Sorting and grouping: the header click and the group panel's commands, the grouping of
// records into group rows and the ordering of rows inside their groups at a rebuild.
#include "grid/GridEngineImpl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

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
std::string GroupPath(const TGroupNode* g, const std::vector<TLevelInfo>& levels)
{
    std::vector<const TGroupNode*> chain;
    for (const TGroupNode* p = g; p; p = p->parent) chain.push_back(p);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        AppendPath(path, (*it)->level < levels.size() ? levels[(*it)->level].column : -1, (*it)->value);
    return path;
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

// Groups: one pass over the records, a hash lookup per level (skipped while a record
// repeats the previous one's values); siblings in the order of their values. leafOf gets
// each record's innermost group.
void TGridEngine::GroupRecords(std::vector<uint32_t>& leafOf)
{
    Impl& m = *d;
    const TRecordTable& t = *m.attached;
    const uint32_t n = static_cast<uint32_t>(t.GetRecordCount());
    const size_t depth = m.levels.size();
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

// Sort keys, bucketed by leaf (stable, so table order stays among equals). Returns the
// record positions in display order; start gets each bucket's first slot, and its end.
std::vector<uint32_t> TGridEngine::SortRecords(const std::vector<uint32_t>& leafOf, const std::vector<uint32_t>& rankOf,
                                               size_t buckets, std::vector<uint32_t>& start) const
{
    const Impl& m = *d;
    const TRecordTable& t = *m.attached;
    const uint32_t n = static_cast<uint32_t>(t.GetRecordCount());
    const size_t depth = m.levels.size();
    int sortColumn = -1;
    for (const auto& c : columns_)
        if (c->GroupIndex < 0 && c->Sorted != csNone && m.colField[static_cast<size_t>(c->index_)]) {
            sortColumn = c->index_;
            break;
        }
    const TRecordField* sortField = sortColumn >= 0 ? m.colField[static_cast<size_t>(sortColumn)] : nullptr;
    const bool descending = sortColumn >= 0 && columns_[static_cast<size_t>(sortColumn)]->Sorted == csDown;

    start.assign(buckets + 1, 0);
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
    std::vector<uint32_t> positions(n);
    for (uint32_t i = 0; i < n; ++i) positions[i] = keys[i].pos;
    return positions;
}
