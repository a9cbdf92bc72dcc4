// The automatic filter: the row test, the drop-down's entries, the custom dialog's
// conversion, the status bar's words and the hand-over to the record table.
#include "grid/GridEngineImpl.h"

#include "platform/FormatSettings.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

// A record's value as the row test reads it, without copying text.
struct RawValue {
    enum { Null, Number, Text } kind = Null;
    double num = 0;
    std::string_view s;
};

RawValue ReadRaw(const TRecordTable& t, const TRecord* r, const TRecordField* f)
{
    RawValue v;
    if (!f || t.IsNull(r, *f)) return v;
    switch (f->Kind) {
    case ftInteger: v.kind = RawValue::Number; v.num = t.GetInteger(r, *f); break;
    case ftFloat: v.kind = RawValue::Number; v.num = t.GetFloat(r, *f); break;
    case ftString: v.kind = RawValue::Text; v.s = t.GetString(r, *f); break;
    default: break;
    }
    return v;
}

int CompareUpper(std::string_view row, std::string_view upperValue)
{
    const size_t n = std::min(row.size(), upperValue.size());
    for (size_t k = 0; k < n; ++k) {
        const unsigned char a = AnsiUpperChar(static_cast<unsigned char>(row[k]));
        const unsigned char b = static_cast<unsigned char>(upperValue[k]);
        if (a != b) return a < b ? -1 : 1;
    }
    return row.size() < upperValue.size() ? -1 : (row.size() > upperValue.size() ? 1 : 0);
}

// Compares as sorting does: null first, numbers before texts.
int CompareRaw(const RawValue& a, const TGridValue& b, bool ci)
{
    const bool an = a.kind == RawValue::Null, bn = b.IsNull();
    if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
    const bool bnum = b.kind != TGridValue::String;
    if (a.kind == RawValue::Number && bnum) {
        const double y = b.kind == TGridValue::Integer ? b.i : b.f;
        return a.num < y ? -1 : (a.num > y ? 1 : 0);
    }
    if ((a.kind == RawValue::Number) != bnum) return a.kind == RawValue::Number ? -1 : 1;
    if (ci) return CompareUpper(a.s, b.s);
    const size_t n = std::min(a.s.size(), b.s.size());
    const int c = n ? std::memcmp(a.s.data(), b.s.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return a.s.size() < b.s.size() ? -1 : (a.s.size() > b.s.size() ? 1 : 0);
}

// Where `needle` (upper-cased when ci) occurs in `text`: anywhere, or at its start.
bool HasText(std::string_view text, std::string_view needle, bool atStart, bool ci)
{
    if (needle.size() > text.size()) return false;
    const size_t last = atStart ? 0 : text.size() - needle.size();
    for (size_t at = 0; at <= last; ++at) {
        size_t k = 0;
        for (; k < needle.size(); ++k) {
            unsigned char a = static_cast<unsigned char>(text[at + k]);
            if (ci) a = AnsiUpperChar(a);
            if (a != static_cast<unsigned char>(needle[k])) break;
        }
        if (k == needle.size()) return true;
    }
    return false;
}

bool Holds(const TCompiledCondition& c, const RawValue& v, bool ci)
{
    bool r;
    if (c.op == TFilterOp::IsNull) {
        r = v.kind == RawValue::Null;
    } else if (c.op == TFilterOp::Contains || c.op == TFilterOp::BeginsWith) {
        const bool atStart = c.op == TFilterOp::BeginsWith;
        if (v.kind == RawValue::Null) {
            r = false;
        } else if (v.kind == RawValue::Text) {
            r = HasText(v.s, c.value.s, atStart, ci);
        } else {
            TGridValue number;
            number.kind = TGridValue::Float;
            number.f = v.num;
            r = HasText(GridValueText(number), c.value.s, atStart, ci);
        }
    } else {
        const int cmp = CompareRaw(v, c.value, ci);
        switch (c.op) {
        case TFilterOp::Equal: r = cmp == 0; break;
        case TFilterOp::Greater: r = cmp > 0; break;
        case TFilterOp::Less: r = cmp < 0; break;
        case TFilterOp::GreaterEqual: r = cmp >= 0; break;
        case TFilterOp::LessEqual: r = cmp <= 0; break;
        default: r = false; break;
        }
    }
    return c.negated ? !r : r;
}

TGridValue Upper(TGridValue v)
{
    if (v.kind == TGridValue::String) v.s = AnsiUpperCase(v.s);
    return v;
}

const char* OpText(TFilterOp op)
{
    switch (op) {
    case TFilterOp::Equal: return "=";
    case TFilterOp::Greater: return ">";
    case TFilterOp::Less: return "<";
    case TFilterOp::GreaterEqual: return ">=";
    case TFilterOp::LessEqual: return "<=";
    case TFilterOp::IsNull: return "Is Null";
    case TFilterOp::Contains:
    case TFilterOp::BeginsWith: return "LIKE";
    }
    return "";
}

bool PlainIdentifier(const std::string& name)
{
    if (name.empty()) return false;
    for (size_t k = 0; k < name.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(name[k]);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!(letter || (digit && k > 0))) return false;
    }
    return true;
}

AnsiString ExpressionValue(const TGridValue& v)
{
    switch (v.kind) {
    case TGridValue::String: {
        AnsiString out = "'";
        for (char c : v.s) {
            if (c == '\'') out += '\'';
            out += c;
        }
        return out + "'";
    }
    case TGridValue::Float: {
        AnsiString s = FloatToDisplayText(v.f);
        std::replace(s.begin(), s.end(), FormatSettings().DecimalSeparator, '.');
        return s;
    }
    case TGridValue::Integer: return std::to_string(v.i);
    default: return "''";
    }
}

// The filter in words: captions and display texts for the status bar, field names and
// values for the record table.
template <class NameOf, class ValueOf>
AnsiString Describe(const std::vector<std::optional<TColumnFilter>>& filters, NameOf name, ValueOf value)
{
    AnsiString out;
    for (size_t col = 0; col < filters.size(); ++col) {
        const auto& f = filters[col];
        if (!f || f->Conditions.empty()) continue;
        std::vector<AnsiString> parts;
        for (const TFilterCondition& c : f->Conditions) {
            AnsiString text = name(static_cast<int>(col)) + " " + OpText(c.Op);
            if (c.Op == TFilterOp::Contains || c.Op == TFilterOp::BeginsWith) {
                TGridValue pattern;
                pattern.kind = TGridValue::String;
                pattern.s = (c.Op == TFilterOp::Contains ? "%" : "") + GridValueText(c.Value) + "%";
                text += " " + value(pattern);
            } else if (c.Op != TFilterOp::IsNull) {
                text += " " + value(c.Value);
            }
            if (c.Negated) text = "NOT (" + text + ")";
            parts.push_back("(" + text + ")");
        }
        AnsiString part = parts[0];
        if (parts.size() > 1) part = "(" + parts[0] + (f->OrJoin ? " OR " : " AND ") + parts[1] + ")";
        if (!out.empty()) out += " AND ";
        out += part;
    }
    return out;
}

} // namespace

std::vector<TCompiledFilter> TGridEngine::CompileFilters() const
{
    std::vector<TCompiledFilter> out;
    const bool ci = Filter.CaseInsensitive;
    for (size_t col = 0; col < d->filters.size() && col < columns_.size(); ++col) {
        const auto& f = d->filters[col];
        if (!f || f->Conditions.empty()) continue;
        TCompiledFilter cf;
        cf.field = FieldOf(static_cast<int>(col));
        cf.orJoin = f->OrJoin;
        for (const TFilterCondition& c : f->Conditions)
            if (c.Op == TFilterOp::Contains || c.Op == TFilterOp::BeginsWith) {
                TGridValue text;
                text.kind = TGridValue::String;
                text.s = ci ? AnsiUpperCase(GridValueText(c.Value)) : GridValueText(c.Value);
                cf.conditions.push_back({c.Op, c.Negated, text});
            } else {
                cf.conditions.push_back({c.Op, c.Negated, ci ? Upper(c.Value) : c.Value});
            }
        out.push_back(std::move(cf));
    }
    return out;
}

bool TGridEngine::RowPasses(const TRecord* record, const std::vector<TCompiledFilter>& filters,
                            bool caseInsensitive) const
{
    const TRecordTable& t = *d->attached;
    for (const TCompiledFilter& f : filters) {
        const RawValue v = ReadRaw(t, record, f.field);
        bool pass = Holds(f.conditions[0], v, caseInsensitive);
        if (f.conditions.size() > 1) {
            const bool second = Holds(f.conditions[1], v, caseInsensitive);
            pass = f.orJoin ? (pass || second) : (pass && second);
        }
        if (!pass) return false;
    }
    return true;
}

std::vector<TDropDownEntry> TGridEngine::DropDownEntries(int column) const
{
    std::vector<TDropDownEntry> out;
    out.push_back({TDropDownEntry::All, A("(Все)"), {}});
    out.push_back({TDropDownEntry::Custom, A("(Выбор...)"), {}});
    const TRecordTable* t = d->attached;
    const TRecordField* f = FieldOf(column);
    if (!t || !f) return out;
    const bool ci = Filter.CaseInsensitive;
    const size_t cap = static_cast<size_t>(std::max(0, Filter.MaxDropDownCount));
    const auto less = [](const TGridValue& a, const TGridValue& b) { return CompareGridValues(a, b) < 0; };
    std::set<TGridValue, decltype(less)> values(less);
    bool blank = false;
    const auto meet = [&](const TRecord* r) {
        if (t->IsNull(r, *f)) {
            blank = true;
            return;
        }
        if (values.size() >= cap) return;
        TGridValue v = RecordValue(*t, r, f);
        values.insert(ci ? Upper(std::move(v)) : std::move(v));
    };
    // The rows of the tree in display order, whatever is expanded, then the set-aside rows.
    std::vector<const TGridNode*> stack(d->top.rbegin(), d->top.rend());
    while (!stack.empty()) {
        const TGridNode* n = stack.back();
        stack.pop_back();
        if (IsGroup(n)) {
            const auto& kids = static_cast<const TGroupNode*>(n)->kids;
            stack.insert(stack.end(), kids.rbegin(), kids.rend());
        } else {
            meet(static_cast<const TDataNode*>(n)->record);
        }
        if (blank && values.size() >= cap) break;
    }
    if (!(blank && values.size() >= cap))
        for (const TDataNode& n : d->nodes)
            if (!(n.flags & TGridNode::kShown)) {
                meet(n.record);
                if (blank && values.size() >= cap) break;
            }
    if (blank) {
        out.push_back({TDropDownEntry::Blanks, A("(Пустые)"), {}});
        out.push_back({TDropDownEntry::NonBlanks, A("(Не пустые)"), {}});
    }
    for (const TGridValue& v : values) out.push_back({TDropDownEntry::Value, GridValueText(v), v});
    return out;
}

int TGridEngine::CurrentDropDownEntry(int column, const std::vector<TDropDownEntry>& entries) const
{
    const TColumnFilter* f = ColumnFilter(column);
    if (!f) return -1;
    const auto find = [&](TDropDownEntry::Kind kind) {
        for (size_t k = 0; k < entries.size(); ++k)
            if (entries[k].kind == kind) return static_cast<int>(k);
        return -1;
    };
    if (f->Conditions.size() == 1) {
        const TFilterCondition& c = f->Conditions[0];
        if (c.Op == TFilterOp::IsNull) return find(c.Negated ? TDropDownEntry::NonBlanks : TDropDownEntry::Blanks);
        if (c.Op == TFilterOp::Equal && !c.Negated) {
            const TGridValue v = Filter.CaseInsensitive ? Upper(c.Value) : c.Value;
            for (size_t k = 0; k < entries.size(); ++k)
                if (entries[k].kind == TDropDownEntry::Value && CompareGridValues(entries[k].ValueOf, v) == 0)
                    return static_cast<int>(k);
            return -1;
        }
    }
    return find(TDropDownEntry::Custom);
}

void TGridEngine::ChooseDropDownEntry(int column, const TDropDownEntry& entry)
{
    TColumnFilter f;
    switch (entry.kind) {
    case TDropDownEntry::All: SetColumnFilter(column, std::nullopt); return;
    case TDropDownEntry::Custom: return;
    case TDropDownEntry::Blanks: f.Conditions.push_back({TFilterOp::IsNull, {}, false}); break;
    case TDropDownEntry::NonBlanks: f.Conditions.push_back({TFilterOp::IsNull, {}, true}); break;
    case TDropDownEntry::Value: f.Conditions.push_back({TFilterOp::Equal, entry.ValueOf, false}); break;
    }
    SetColumnFilter(column, f);
}

void TGridEngine::ApplyCustomFilter(int column, const TCustomFilterInput& input)
{
    const TRecordField* field = FieldOf(column);
    const auto convert = [&](TCustomOp op, const AnsiString& text, const std::optional<TGridValue>& kept, int editor,
                             TColumnFilter& into) {
        TFilterCondition c;
        switch (op) {
        case TCustomOp::None: return;
        case TCustomOp::Blank: c.Op = TFilterOp::IsNull; break;
        case TCustomOp::NotBlank: c.Op = TFilterOp::IsNull; c.Negated = true; break;
        case TCustomOp::Contains:
        case TCustomOp::NotContains:
        case TCustomOp::BeginsWith:
            c.Op = op == TCustomOp::BeginsWith ? TFilterOp::BeginsWith : TFilterOp::Contains;
            c.Negated = op == TCustomOp::NotContains;
            if (text.empty()) {
                c.Op = TFilterOp::IsNull;   // keeps the negation
                break;
            }
            c.Value.kind = TGridValue::String;   // a text whatever the column's kind
            c.Value.s = kept ? GridValueText(*kept) : text;
            break;
        default: {
            c.Negated = op == TCustomOp::NotEqual;
            c.Op = op == TCustomOp::Greater ? TFilterOp::Greater
                 : op == TCustomOp::GreaterEqual ? TFilterOp::GreaterEqual
                 : op == TCustomOp::Less ? TFilterOp::Less
                 : op == TCustomOp::LessEqual ? TFilterOp::LessEqual
                 : TFilterOp::Equal;
            if (text.empty()) {
                c.Op = TFilterOp::IsNull;   // keeps the negation
                break;
            }
            const TFieldType kind = field ? field->Kind : ftString;
            const TGridValue::Kind wanted = kind == ftInteger ? TGridValue::Integer
                                          : kind == ftFloat   ? TGridValue::Float
                                                              : TGridValue::String;
            if (kept && !kept->IsNull() && kept->kind == wanted) {
                c.Value = *kept;
                break;
            }
            if (kind == ftInteger) {
                int32_t v;
                if (!TextToInteger(text, v)) throw TFilterValueError(editor);
                c.Value.kind = TGridValue::Integer;
                c.Value.i = v;
            } else if (kind == ftFloat) {
                double v;
                if (!TextToFloat(text, v)) throw TFilterValueError(editor);
                c.Value.kind = TGridValue::Float;
                c.Value.f = v;
            } else {
                c.Value.kind = TGridValue::String;
                c.Value.s = text;
            }
            break;
        }
        }
        into.Conditions.push_back(c);
    };
    TColumnFilter f;
    convert(input.Op1, input.Value1, input.Kept1, 1, f);
    convert(input.Op2, input.Value2, input.Kept2, 2, f);
    f.OrJoin = input.OrJoin && f.Conditions.size() == 2;
    SetColumnFilter(column, f.Conditions.empty() ? std::nullopt : std::optional<TColumnFilter>(f));
}

TCustomFilterInput TGridEngine::CustomFilterInputOf(int column) const
{
    TCustomFilterInput in;
    const TColumnFilter* f = ColumnFilter(column);
    if (!f) return in;
    const auto toInput = [](const TFilterCondition& c, TCustomOp& op, AnsiString& text, std::optional<TGridValue>& kept) {
        text = c.Op == TFilterOp::IsNull ? AnsiString() : GridValueText(c.Value);
        if (c.Op != TFilterOp::IsNull) kept = c.Value;
        switch (c.Op) {
        case TFilterOp::Contains: op = c.Negated ? TCustomOp::NotContains : TCustomOp::Contains; break;
        case TFilterOp::BeginsWith: op = TCustomOp::BeginsWith; break;
        case TFilterOp::IsNull: op = c.Negated ? TCustomOp::NotBlank : TCustomOp::Blank; break;
        case TFilterOp::Equal: op = c.Negated ? TCustomOp::NotEqual : TCustomOp::Equal; break;
        case TFilterOp::Greater: op = c.Negated ? TCustomOp::LessEqual : TCustomOp::Greater; break;
        case TFilterOp::GreaterEqual: op = c.Negated ? TCustomOp::Less : TCustomOp::GreaterEqual; break;
        case TFilterOp::Less: op = c.Negated ? TCustomOp::GreaterEqual : TCustomOp::Less; break;
        case TFilterOp::LessEqual: op = c.Negated ? TCustomOp::Greater : TCustomOp::LessEqual; break;
        }
    };
    toInput(f->Conditions[0], in.Op1, in.Value1, in.Kept1);
    if (f->Conditions.size() > 1) {
        toInput(f->Conditions[1], in.Op2, in.Value2, in.Kept2);
        in.OrJoin = f->OrJoin;
    }
    return in;
}

void TGridEngine::SetColumnFilter(int column, std::optional<TColumnFilter> filter)
{
    if (column < 0 || column >= ColumnCount()) return;
    if (filter && filter->Conditions.empty()) filter.reset();
    if (filter && filter->Conditions.size() > 2) filter->Conditions.resize(2);
    d->filters.resize(columns_.size());
    d->filters[static_cast<size_t>(column)] = std::move(filter);
    FilterChanged();
}

const TColumnFilter* TGridEngine::ColumnFilter(int column) const
{
    if (column < 0 || column >= static_cast<int>(d->filters.size())) return nullptr;
    const auto& f = d->filters[static_cast<size_t>(column)];
    return f ? &*f : nullptr;
}

void TGridEngine::ClearFilter()
{
    for (auto& f : d->filters) f.reset();
    FilterChanged();
}

bool TGridEngine::FilterSet() const
{
    for (const auto& f : d->filters)
        if (f && !f->Conditions.empty()) return true;
    return false;
}

AnsiString TGridEngine::FilterStatusText() const
{
    return Describe(d->filters, [&](int col) { return ColumnCaption(col); }, GridValueText);
}

AnsiString TGridEngine::FilterExpressionText() const
{
    return Describe(
        d->filters,
        [&](int col) {
            const TRecordField* f = ColumnField(col);
            const std::string name = f ? f->FieldName : Column(col).FieldName;
            return PlainIdentifier(name) ? name : "[" + name + "]";
        },
        ExpressionValue);
}

void TGridEngine::FilterChanged()
{
    ApplyFilterInternal();
    FocusShownOrFirst(0);
    HandOverFilter();
    if (OnLayoutChanged) OnLayoutChanged();
    if (OnChanged) OnChanged();
}

void TGridEngine::HandOverFilter()
{
    TRecordTable* t = d->attached;
    if (!Filter.AutoDataSetFilter || !t) return;
    const AnsiString text = FilterExpressionText();
    const size_t before = static_cast<size_t>(t->GetRecordCount());
    d->handingOver = true;   // the table's content-changed notice is ours: nothing to reread
    try {
        t->SetFilterExpression(text);
        t->SetFilterCaseInsensitive(Filter.CaseInsensitive);
        t->SetFiltered(!text.empty());
    } catch (...) {
        d->handingOver = false;
        throw;
    }
    d->handingOver = false;
    // Setting the flag stores a pending new record; then the tree must be reread after all.
    if (static_cast<size_t>(t->GetRecordCount()) != before || d->nodes.size() != before) Rebuild();
}
