// The row tree and its rebuild: reading the table, resolving columns and summary slots,
// building the tree and placing the rows that pass the filter; the tree's accessors.
#include "grid/GridSummaries.h"

#include <algorithm>

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

void TGridEngine::BuildTree()
{
    Impl& m = *d;
    const TRecordTable& t = *m.attached;
    const size_t depth = m.levels.size();

    // 1. Groups (GridSortGroup.cpp).
    std::vector<uint32_t> leafOf;
    if (depth > 0) GroupRecords(leafOf);

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

    // 3. The data rows, sorted inside each leaf (GridSortGroup.cpp).
    std::vector<uint32_t> start;
    PlaceRecords(leafOf, rankOf, buckets, start);

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

    // 5. Each row's place in the tree.
    for (size_t b = 0; b < buckets; ++b) {
        TGroupNode* leaf = depth > 0 ? leaves[b] : nullptr;
        if (leaf) {
            leaf->first = start[b];
            leaf->end = start[b + 1];
        }
        for (uint32_t i = start[b]; i < start[b + 1]; ++i) {
            TDataNode& node = m.nodes[i];
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
    // Room for every data row stays, as in the node array: clearing a filter at millions of
    // rows would otherwise pay for fresh memory each time.
    if (m.top.capacity() / 2 > std::max(m.top.size(), m.nodes.size())) m.top.shrink_to_fit();
    if (!m.top.empty()) m.top.back()->flags |= TGridNode::kLast;
    m.linesDirty = true;
}

