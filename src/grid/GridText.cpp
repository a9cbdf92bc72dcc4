// The grid as text for the clipboard: the focused cell's text, and every cell an export of
// the grid holds as tab-separated lines, with the rows in the export's order.
#include "grid/GridEngineImpl.h"

#include "platform/FormatSettings.h"

#include <charconv>
#include <cstring>

namespace {

void AppendRows(const TGridNode* node, std::vector<const TGridNode*>& out)
{
    out.push_back(node);
    if (!TGridEngine::IsGroup(node)) return;
    for (const TGridNode* k : AsGroup(node)->kids) {
        if (TGridEngine::IsGroup(k)) AppendRows(k, out);
        else out.push_back(k);
    }
}

// A cell as a spreadsheet reads it back: a text holding a tab, a line break or a quote
// goes inside quotes, its quotes doubled.
void AppendCell(std::string& out, std::string_view text)
{
    bool quote = false;
    for (const char c : text)
        if (c == '\t' || c == '\n' || c == '\r' || c == '"') {
            quote = true;
            break;
        }
    if (!quote) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void AppendInteger(std::string& out, int32_t v)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Every digit the double needs to read back as itself, with the locale's separator.
void AppendFloat(std::string& out, double v, char separator)
{
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    for (char* p = buf; p != r.ptr; ++p)
        if (*p == '.') *p = separator;
    out.append(buf, r.ptr);
}

// Ends a line of `cells` cells of which `filled` are written.
void EndLine(std::string& out, int filled, int cells)
{
    for (int k = filled; k < cells; ++k) out += '\t';
    out += '\n';
}

} // namespace

std::vector<const TGridNode*> TGridEngine::RowsInTreeOrder() const
{
    std::vector<const TGridNode*> rows;
    rows.reserve(d->shown + d->groupStore.size());
    for (const TGridNode* top : d->top) AppendRows(top, rows);
    return rows;
}

AnsiString TGridEngine::FocusedCellText() const
{
    if (!focused_) return AnsiString();
    if (IsGroup(focused_)) return GroupRowText(focused_);
    return DisplayText(focused_, focusedColumn_);
}

AnsiString TGridEngine::CopyAllText() const
{
    std::string out;
    const TRecordTable* t = d->attached;
    if (!t) return out;
    const int groups = GroupColumnCount();
    const std::vector<int> columns = HeaderColumns();
    const int n = static_cast<int>(columns.size());
    const int width = groups + n;
    std::vector<const TRecordField*> fields;
    for (int c : columns) fields.push_back(Column(c).FieldName.empty() ? nullptr : FieldOf(c));
    const char separator = FormatSettings().DecimalSeparator;

    // Cell k of a line starts after k tabs; `at` is the cell the text so far ends in.
    int at = 0;
    const auto put = [&](int cell, std::string_view text) {
        for (; at < cell; ++at) out += '\t';
        AppendCell(out, text);
    };
    const auto endLine = [&] {
        EndLine(out, at + 1, width);
        at = 0;
    };

    if (ShowBands) endLine();
    if (ShowHeader) {
        for (int i = 0; i < n; ++i) {
            const TDataGridColumn& c = Column(columns[static_cast<size_t>(i)]);
            if (!c.DisableCaption) put(groups + i, ColumnCaption(columns[static_cast<size_t>(i)]));
        }
        endLine();
    }
    const std::vector<const TGridNode*> rows = RowsInTreeOrder();
    out.reserve(out.size() + rows.size() * static_cast<size_t>(8 * width + 1));
    for (const TGridNode* node : rows) {
        if (IsGroup(node)) {
            put(Level(node), GroupRowText(node));
            endLine();
            continue;
        }
        const TRecord* r = AsData(node)->record;
        for (int i = 0; i < n; ++i) {
            const TRecordField* f = fields[static_cast<size_t>(i)];
            if (!f) continue;
            for (; at < groups + i; ++at) out += '\t';
            // Numbers as the export writes them: a blank one is 0.
            switch (f->Kind) {
            case ftInteger: AppendInteger(out, t->IsNull(r, *f) ? 0 : t->GetInteger(r, *f)); break;
            case ftFloat: AppendFloat(out, t->IsNull(r, *f) ? 0.0 : t->GetFloat(r, *f), separator); break;
            default:
                if (!t->IsNull(r, *f)) AppendCell(out, t->GetString(r, *f));
                break;
            }
        }
        endLine();
        const int footers = GetRowFooterCount(node);
        for (int k = 0; k < footers; ++k) {
            // The first column's sum moves left, beside the group it closes, as in the export.
            const int closes = GetNodeFooterLevel(node, k);
            const bool shifted = groups - closes - 1 > 0;
            for (int i = 0; i < n; ++i) {
                const int column = columns[static_cast<size_t>(i)];
                if (IsExistRowFooterCell(node, k, column))
                    put(i == 0 && shifted ? closes + 1 : groups + i, GetFooterCellText(node, k, column));
            }
            endLine();
        }
    }
    if (ShowSummaryFooter) {
        for (int i = 0; i < n; ++i)
            if (HasSummaryFooter(columns[static_cast<size_t>(i)]))
                put(groups + i, SummaryFooterText(columns[static_cast<size_t>(i)]));
        endLine();
    }
    return out;
}
