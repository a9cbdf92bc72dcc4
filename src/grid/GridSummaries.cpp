// Summary texts: group row text, group footer lines and their cells, the summary footer.
// (The sums themselves are taken in GridSummaries.h during the rebuild and the filter.)
#include "grid/GridEngineImpl.h"

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
