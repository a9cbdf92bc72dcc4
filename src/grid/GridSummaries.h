#pragma once
// Private to the grid engine's sources: the summary walk that the rebuild and the filter
// run over the records (inline, since it takes the row test and group lookup as lambdas).
#include "grid/GridEngineImpl.h"

inline void AddToSummary(const TRecordTable& t, TSummaryAcc& acc, const TSummarySlot& slot, const TRecord* r)
{
    if (slot.type == cstCount || !slot.field || slot.field->Kind == ftString || t.IsNull(r, *slot.field)) {
        acc.Add(true, 0);
        return;
    }
    acc.Add(false, t.GetFloat(r, *slot.field));
}

// Summaries of the rows for which `take` holds, in table order (records lie in memory in
// that order, so the walk reads them front to back). `groupOf` gives a record's innermost group.
template <class Take, class GroupOf>
inline void SumRows(const TRecordTable& t, const std::vector<TLevelInfo>& levels,
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
    // Groups take part only where a level has summaries: at millions of rows in as many
    // groups the walk up each row's groups is most of the work.
    bool grouped = false;
    for (const TLevelInfo& lv : levels) grouped = grouped || !lv.slots.empty();
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
