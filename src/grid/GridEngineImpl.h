#pragma once
// Private to the grid engine's sources: the row tree's node types and the engine's state.
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"

#include <string>
#include <unordered_set>
#include <vector>

struct TGroupNode;

class TGridNode {
public:
    enum : uint8_t { kGroup = 1, kExpanded = 2, kLast = 4, kShown = 8 };
    TGroupNode* parent = nullptr;
    uint32_t index = 0;      // position among the parent's shown children (or the top rows)
    uint8_t flags = 0;
    uint8_t level = 0;
};

// A data row refers to its record: values and texts are read from it when asked for.
struct TDataNode : TGridNode {
    const TRecord* record = nullptr;
};

// One summary of a group level or of the footer.
struct TSummarySlot {
    TSummaryType type = cstNone;
    const TRecordField* field = nullptr;
    AnsiString format;
    std::string columnName;   // empty: shown inside the group row
    bool ownColumnSummary = false;
};

struct TSummaryAcc {
    double sum = 0, min = 0, max = 0;
    int64_t values = 0;   // non-null values seen
    int64_t rows = 0;
    void Add(bool null, double v)
    {
        ++rows;
        if (null) return;
        if (values == 0 || v < min) min = v;
        if (values == 0 || v > max) max = v;
        sum += v;
        ++values;
    }
    double Result(TSummaryType type) const
    {
        switch (type) {
        case cstSum: return sum;
        case cstMin: return values ? min : 0;
        case cstMax: return values ? max : 0;
        case cstCount: return static_cast<double>(rows);
        case cstAvg: return values ? sum / static_cast<double>(values) : 0;
        default: return 0;
        }
    }
};

struct TGroupNode : TGridNode {
    uint32_t id = 0;                     // position in the engine's group store
    TGridValue value;
    std::vector<TGridNode*> kids;        // shown children, in order
    std::vector<TGroupNode*> groups;     // every child group (inner levels), in order
    uint32_t first = 0, end = 0;         // innermost level: its data rows in the node array
    std::vector<double> sums;            // one per slot of its level, over the rows shown
    std::vector<double> allSums;         // the same over all its rows, filter or not
    int64_t lines = 0;                   // shown lines of the branch, the group row included
    std::vector<int64_t> prefix;         // inner levels: lines before each shown child
};

struct TLevelInfo {
    int column = -1;
    const TRecordField* field = nullptr;
    int group = -1;                    // index among the grid's summary groups
    std::vector<TSummarySlot> slots;   // own column summary first, then the group's items
    bool hasFooter = false;
    bool descending = false;
};

struct TCompiledCondition {
    TFilterOp op;
    bool negated;
    TGridValue value;   // upper-cased strings when case-insensitive
};

struct TCompiledFilter {
    const TRecordField* field = nullptr;
    std::vector<TCompiledCondition> conditions;
    bool orJoin = false;
};

struct TGridEngine::Impl {
    std::vector<TDataNode> nodes;                  // every data row, in display order, set-aside ones too
    std::vector<std::unique_ptr<TGroupNode>> groupStore;
    std::vector<TGroupNode*> topGroups;            // every top-level group, in order
    std::vector<TGridNode*> top;                   // shown top-level rows
    std::vector<int64_t> topPrefix;
    bool linesDirty = true;
    int64_t lineCount = 0;
    size_t shown = 0;

    std::vector<int> order;                        // on-screen order of the columns
    std::vector<std::optional<TColumnFilter>> filters;   // by column index

    std::vector<const TRecordField*> colField;     // resolved at each rebuild
    std::vector<TLevelInfo> levels;
    std::vector<TSummarySlot> footerSlots;         // by column; type cstNone when none
    std::vector<double> footerValues;
    std::vector<double> footerAll;                 // footer values over every row
    std::vector<uint32_t> nodeOfPos;               // record position -> its data row
    const TRecordField* keyField = nullptr;

    TRecordTable* attached = nullptr;
    bool builtActive = false;
    bool handingOver = false;
    bool forgetExpanded = false;
    std::unordered_set<std::string> expandedPaths;   // kept over a rebuild

    std::optional<int32_t> focusIdentity;   // of the focused data row's record, kept while it lives
    int preferredLine = -1;                 // line to focus after a rebuild that lost the focus

    bool inserting = false;
    TDataNode newRow;                       // stands for the new row towards the painting hook
    const TRecord* insertBeforeRecord = nullptr;
    TGridNode* insertBefore = nullptr;
};

inline TGroupNode* AsGroup(TGridNode* n) { return static_cast<TGroupNode*>(n); }
inline const TGroupNode* AsGroup(const TGridNode* n) { return static_cast<const TGroupNode*>(n); }
inline const TDataNode* AsData(const TGridNode* n) { return static_cast<const TDataNode*>(n); }

// Path of a group: its level's column and value, from the top (survives a rebuild).
std::string GroupPath(const TGroupNode* g, const std::vector<TLevelInfo>& levels);

// Value of a record's field as the grid compares it: empty text reads as null.
TGridValue RecordValue(const TRecordTable& table, const TRecord* record, const TRecordField* field);
AnsiString GridValueText(const TGridValue& value);
bool SameNameNoCase(std::string_view a, std::string_view b);
