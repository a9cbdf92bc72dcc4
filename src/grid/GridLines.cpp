// Display lines: expanding and collapsing groups, and the mapping between the lines of the
// rows area (rows and group footer lines) and the tree's rows.
#include "grid/GridEngineImpl.h"

#include <algorithm>

void TGridEngine::SetExpanded(TGridNode* node, bool expanded)
{
    if (!IsGroup(node) || Expanded(node) == expanded) return;
    if (expanded) node->flags |= TGridNode::kExpanded;
    else node->flags &= static_cast<uint8_t>(~TGridNode::kExpanded);
    d->linesDirty = true;
    if (!expanded) FocusShownOrFirst(0);
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
    FocusShownOrFirst(0);
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
