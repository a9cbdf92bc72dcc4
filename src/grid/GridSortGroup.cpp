// Sorting and grouping: the header click and the group panel's commands, the grouping of
// records into group rows and the ordering of rows inside their groups at a rebuild.
#include "grid/GridEngineImpl.h"
#include "platform/Memory.h"

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

// Sort key of a data row: an order-keeping 16-byte prefix of the value and the record's
// place. Sixteen bytes tell most texts apart (nicks share their first eight), so that the
// sort seldom reaches into the records, which at millions of rows lie far apart in memory.
// Equal values go by identity, then by place; where the identities never fall in table
// order (as rows read from the client's files), the place alone gives that order and the
// identities are not kept.
struct SortKey {
    uint64_t prefix;
    uint64_t prefix2;
    const TRecord* record;
    uint32_t len;
    uint32_t pos;
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

// Groups found by hashing, up to this many; past it the grouping sorts instead.
constexpr size_t kHashedGroups = 16384;

// The key of a record's value in field f (a blank value's is all zero) at place pos.
SortKey ValueKey(const TRecordTable& t, const TRecord* r, const TRecordField* f, uint32_t pos)
{
    SortKey k{0, 0, r, 0, pos};
    if (!f || t.IsNull(r, *f)) return k;
    switch (f->Kind) {
    case ftInteger: k.prefix = OrderedBits(t.GetInteger(r, *f)); break;
    case ftFloat: k.prefix = OrderedBits(t.GetFloat(r, *f)); break;
    case ftString: {
        const std::string_view s = t.GetString(r, *f);
        k.prefix = TextPrefix(s);
        k.prefix2 = TextPrefix(s, 8);
        k.len = static_cast<uint32_t>(s.size());
        break;
    }
    default: break;
    }
    return k;
}

// The order of two keys past their first prefix word: the second word, then the rest of
// the texts, read from the records. Every key being compared shares its text's first
// `offset` bytes; its prefix words hold the sixteen after them.
struct RestOfText {
    const TRecordTable* table;
    const TRecordField* field;
    const int64_t* ties;   // by place; null when the places keep their order
    uint32_t offset = 0;

    int operator()(const SortKey& a, const SortKey& b) const
    {
        if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2 ? -1 : 1;
        const uint32_t la = a.len - offset, lb = b.len - offset;
        if (la <= kPrefixBytes && lb <= kPrefixBytes) return la < lb ? -1 : (la > lb ? 1 : 0);
        if (la <= kPrefixBytes || lb <= kPrefixBytes) return la < lb ? -1 : 1;
        const std::string_view x = table->GetString(a.record, *field).substr(offset + kPrefixBytes);
        const std::string_view y = table->GetString(b.record, *field).substr(offset + kPrefixBytes);
        const int c = x.compare(y);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
};

struct AscendingKey {
    RestOfText rest;
    bool operator()(const SortKey& a, const SortKey& b) const
    {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int c = rest(a, b);
        if (c != 0) return c < 0;
        if (rest.ties && rest.ties[a.pos] != rest.ties[b.pos]) return rest.ties[a.pos] < rest.ties[b.pos];
        return a.pos < b.pos;
    }
};

struct DescendingKey {
    RestOfText rest;
    bool operator()(const SortKey& a, const SortKey& b) const
    {
        if (a.prefix != b.prefix) return a.prefix > b.prefix;
        const int c = rest(a, b);
        if (c != 0) return c > 0;
        // Equal values: ascending identity either way.
        if (rest.ties && rest.ties[a.pos] != rest.ties[b.pos]) return rest.ties[a.pos] < rest.ties[b.pos];
        return a.pos < b.pos;
    }
};

// Byte b (0 to 15) of a key's prefix, as the order reads it: ascending or, reversed, descending.
inline unsigned PrefixByte(const SortKey& k, unsigned b, bool descending)
{
    const uint64_t word = b < 8 ? k.prefix : k.prefix2;
    const unsigned byte = static_cast<unsigned>(word >> (56 - 8 * (b & 7))) & 0xFFu;
    return descending ? 0xFFu - byte : byte;
}

// Whether a key's text goes on past the sixteen bytes its prefix words hold.
bool RunsOn(const SortKey* first, const SortKey* last, const RestOfText& rest)
{
    if (!rest.field || rest.field->Kind != ftString) return false;
    for (const SortKey* k = first; k != last; ++k)
        if (k->len > rest.offset + kPrefixBytes) return true;
    return false;
}

// The keys' prefix words: the sixteen bytes of their texts from rest.offset on.
void Window(SortKey* first, SortKey* last, const RestOfText& rest)
{
    for (SortKey* k = first; k != last; ++k) {
        const std::string_view s = rest.table->GetString(k->record, *rest.field);
        k->prefix = TextPrefix(s, rest.offset);
        k->prefix2 = TextPrefix(s, rest.offset + 8);
    }
}

// Sorts by the prefix a byte at a time from the front, in place (each byte's buckets are
// filled by swapping keys into their places), and leaves small buckets, and keys whose
// texts are equal as far as they go, to the full comparison. The order is the comparison's;
// its time grows with the rows times the bytes that tell them apart, rather than with rows
// times their logarithm.
template <class Less>
void SortByPrefix(SortKey* first, SortKey* last, unsigned byte, bool descending, Less less)
{
    constexpr ptrdiff_t kSmall = 64;
    for (;;) {
        const ptrdiff_t n = last - first;
        if (n > kSmall && byte >= kPrefixBytes && RunsOn(first, last, less.rest)) {
            // Every key shares its sixteen bytes and some text runs on: the keys take the
            // next sixteen, read once for each key rather than at every comparison. (They
            // keep them: equal texts still have equal words, which is all the grouping
            // asks of them after.)
            Less deeper = less;
            deeper.rest.offset += kPrefixBytes;
            Window(first, last, deeper.rest);
            SortByPrefix(first, last, 0, descending, deeper);
            return;
        }
        if (n <= kSmall || byte >= kPrefixBytes) {
            std::sort(first, last, less);
            return;
        }
        size_t count[256] = {};
        for (SortKey* k = first; k != last; ++k) ++count[PrefixByte(*k, byte, descending)];
        if (count[PrefixByte(*first, byte, descending)] == static_cast<size_t>(n)) {
            // Every key shares this byte: one pass finds the first byte that tells any apart
            // (nicks share whole names), rather than a count for each shared byte.
            uint64_t differ1 = 0, differ2 = 0;
            for (SortKey* k = first; k != last; ++k) {
                differ1 |= k->prefix ^ first->prefix;
                differ2 |= k->prefix2 ^ first->prefix2;
            }
            const unsigned shared = differ1 ? static_cast<unsigned>(__builtin_clzll(differ1)) / 8
                                  : differ2 ? 8 + static_cast<unsigned>(__builtin_clzll(differ2)) / 8
                                            : static_cast<unsigned>(kPrefixBytes);
            byte = std::max(byte + 1, shared);
            continue;
        }
        SortKey* head[256];
        SortKey* tail[256];
        SortKey* at = first;
        for (unsigned d = 0; d < 256; ++d) {
            head[d] = at;
            at += count[d];
            tail[d] = at;
        }
        for (unsigned d = 0; d < 256; ++d) {
            while (head[d] != tail[d]) {
                unsigned to = PrefixByte(*head[d], byte, descending);
                while (to != d) {
                    std::swap(*head[d], *head[to]++);
                    to = PrefixByte(*head[d], byte, descending);
                }
                ++head[d];
            }
        }
        SortKey* from = first;
        for (unsigned d = 0; d < 256; ++d) {
            SortKey* const end = from + count[d];
            if (count[d] > 1) SortByPrefix(from, end, byte + 1, descending, less);
            from = end;
        }
        return;
    }
}

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
// repeats the previous one's values), then siblings sorted by their values. Few groups (a
// hub each) cost little that way; false, with no group left, once there are more than
// kHashedGroups.
bool TGridEngine::GroupRecordsByHash(std::vector<uint32_t>& leafOf)
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
                    if (m.groupStore.size() == kHashedGroups) {
                        m.groupStore.clear();
                        m.topGroups.clear();
                        return false;
                    }
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
    return true;
}

// Past that, a level at a time: the records of each group of the level above sorted by
// their value at this level, and each run of equal values a group, so that siblings come
// in the order of their values.
void TGridEngine::GroupRecordsBySort(std::vector<uint32_t>& leafOf)
{
    Impl& m = *d;
    const TRecordTable& t = *m.attached;
    const uint32_t n = static_cast<uint32_t>(t.GetRecordCount());
    const size_t depth = m.levels.size();
    leafOf.resize(n);
    struct Run {
        uint32_t from, to;   // keys of the records of one group
        TGroupNode* group;
    };
    std::vector<Run> runs{{0, n, nullptr}}, next;
    TMappedArray<SortKey> keys(n);
    for (uint32_t i = 0; i < n; ++i) keys[i].pos = i;
    for (size_t l = 0; l < depth; ++l) {
        const TRecordField* f = m.levels[l].field;
        const RestOfText rest{&t, f, nullptr};
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t pos = keys[k].pos;
            keys[k] = ValueKey(t, t.RecordAt(static_cast<int>(pos)), f, pos);
        }
        next.clear();
        for (const Run& run : runs) {
            SortKey* first = keys.begin() + run.from;
            SortKey* last = keys.begin() + run.to;
            if (m.levels[l].descending) SortByPrefix(first, last, 0, true, DescendingKey{rest});
            else SortByPrefix(first, last, 0, false, AscendingKey{rest});
            for (uint32_t a = run.from; a < run.to;) {
                uint32_t b = a + 1;
                while (b < run.to && keys[b].prefix == keys[a].prefix && rest(keys[a], keys[b]) == 0) ++b;
                auto node = std::make_unique<TGroupNode>();
                TGroupNode* g = node.get();
                g->id = static_cast<uint32_t>(m.groupStore.size());
                g->flags = TGridNode::kGroup;
                g->level = static_cast<uint8_t>(l);
                g->parent = run.group;
                g->value = RecordValue(t, keys[a].record, f);   // the first in table order
                m.groupStore.push_back(std::move(node));
                (run.group ? run.group->groups : m.topGroups).push_back(g);
                next.push_back({a, b, g});
                a = b;
            }
        }
        runs.swap(next);
    }
    for (const Run& run : runs)
        for (uint32_t k = run.from; k < run.to; ++k) leafOf[keys[k].pos] = run.group->id;
}

// The groups of every level; leafOf gets each record's innermost group.
void TGridEngine::GroupRecords(std::vector<uint32_t>& leafOf)
{
    if (!GroupRecordsByHash(leafOf)) GroupRecordsBySort(leafOf);
    if (!d->expandedPaths.empty())
        for (auto& g : d->groupStore)
            if (d->expandedPaths.count(GroupPath(g.get(), d->levels))) g->flags |= TGridNode::kExpanded;
}

// The data rows in display order: sort keys bucketed by leaf (stable, so table order stays
// among equals) and sorted inside each, then the node array and each record's node from
// them. start gets each bucket's first row, and its end.
void TGridEngine::PlaceRecords(const std::vector<uint32_t>& leafOf, const std::vector<uint32_t>& rankOf,
                               size_t buckets, std::vector<uint32_t>& start)
{
    Impl& m = *d;
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
    const auto bucketOf = [&](uint32_t i) { return depth > 0 ? rankOf[leafOf[i]] : 0; };

    if (m.nodes.capacity() / 2 > n) {
        std::vector<TDataNode>().swap(m.nodes);
        std::vector<uint32_t>().swap(m.nodeOfPos);
    }
    m.nodes.resize(n);
    m.nodeOfPos.resize(n);
    if (!sortField) {
        // Nothing to sort by: table order inside each leaf.
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t at = fill[bucketOf(i)]++;
            m.nodes[at].record = t.RecordAt(static_cast<int>(i));
            m.nodeOfPos[i] = at;
        }
        return;
    }

    const auto tieOf = [&](const TRecord* r) -> int64_t {
        if (!m.keyField || t.IsNull(r, *m.keyField)) return INT64_MIN;
        if (m.keyField->Kind == ftInteger) return t.GetInteger(r, *m.keyField);
        if (m.keyField->Kind == ftFloat) return std::llround(t.GetFloat(r, *m.keyField));
        return INT64_MIN;
    };
    // Mapped memory costs nothing until written: the identities are only written from the
    // first one out of table order on, and those before it then.
    TMappedArray<int64_t> ties(n);
    bool tiesKept = false;
    int64_t lastTie = INT64_MIN;
    TMappedArray<SortKey> keys(n);
    for (uint32_t i = 0; i < n; ++i) {
        const TRecord* r = t.RecordAt(static_cast<int>(i));
        if (m.keyField) {
            const int64_t tie = tieOf(r);
            if (!tiesKept && tie < lastTie) {
                tiesKept = true;
                for (uint32_t j = 0; j < i; ++j) ties[j] = tieOf(t.RecordAt(static_cast<int>(j)));
            }
            if (tiesKept) ties[i] = tie;
            lastTie = tie;
        }
        keys[fill[bucketOf(i)]++] = ValueKey(t, r, sortField, i);
    }
    const RestOfText rest{&t, sortField, tiesKept ? ties.begin() : nullptr};
    for (size_t b = 0; b < buckets; ++b) {
        SortKey* first = keys.begin() + start[b];
        SortKey* last = keys.begin() + start[b + 1];
        if (last - first < 2) continue;
        if (descending) SortByPrefix(first, last, 0, true, DescendingKey{rest});
        else SortByPrefix(first, last, 0, false, AscendingKey{rest});
    }
    for (uint32_t i = 0; i < n; ++i) {
        m.nodes[i].record = keys[i].record;
        m.nodeOfPos[keys[i].pos] = i;
    }
}
