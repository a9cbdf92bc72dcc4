// Values and their texts: comparing values, number patterns, a row's value and display
// text in a column.
#include "grid/GridEngineImpl.h"

#include "platform/FormatSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool IsNumber(const TGridValue& v) { return v.kind == TGridValue::Integer || v.kind == TGridValue::Float; }
double NumberOf(const TGridValue& v) { return v.kind == TGridValue::Integer ? v.i : v.f; }

int CompareBytes(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;   // memcmp compares unsigned bytes
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// A pattern section split into what it asks for.
struct Section {
    std::string text;
    int intPlaceholders = 0;
    int minInt = 0;         // '0's from the first '0' of the integer part on
    int decimals = 0;       // placeholders after the decimal point
    int minDecimals = 0;    // up to the last '0' after the point
    bool thousands = false;
    bool hasDigits = false;
};

Section Analyse(const std::string& text)
{
    Section s;
    s.text = text;
    bool inFraction = false;
    bool seenZero = false;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#') {
            s.hasDigits = true;
            if (inFraction) {
                ++s.decimals;
                if (c == '0') s.minDecimals = s.decimals;
            } else {
                ++s.intPlaceholders;
                if (c == '0') seenZero = true;
                if (seenZero) ++s.minInt;
            }
        } else if (c == '.' && !inFraction) {
            inFraction = true;
        } else if (c == ',' && !inFraction) {
            s.thousands = true;
        }
    }
    return s;
}

std::vector<std::string> SplitSections(const AnsiString& pattern)
{
    std::vector<std::string> out(1);
    char quote = 0;
    for (char c : pattern) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    return out;
}

// |value| rounded half away from zero to `decimals` places, as integer and fraction digits.
// Rounded from the double's exact decimal expansion: every digit of a large sum is kept, and
// 2.675 (stored as 2.67499999...) rounds to 2.67.
void RoundDigits(double value, int decimals, std::string& intDigits, std::string& fracDigits)
{
    intDigits.clear();
    fracDigits.assign(static_cast<size_t>(decimals), '0');
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value)) return;
    // A double has at most 53 - exponent fraction bits, and as many fraction digits.
    int exponent = 0;
    std::frexp(value, &exponent);
    const int exact = std::clamp(53 - exponent, 0, 1074);
    const int precision = std::max(decimals + 1, exact);
    std::string s(static_cast<size_t>(precision) + 320, '\0');
    const auto res = std::to_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed, precision);
    s.resize(static_cast<size_t>(res.ptr - s.data()));
    const size_t point = s.find('.');
    std::string all = s.substr(0, point);   // integer digits, then the kept fraction digits
    all.append(s, point + 1, static_cast<size_t>(decimals));
    if (s[point + 1 + static_cast<size_t>(decimals)] >= '5') {   // exact digits: '5' is half or more
        size_t k = all.size();
        while (k > 0 && all[k - 1] == '9') all[--k] = '0';
        if (k > 0) ++all[k - 1];
        else all.insert(all.begin(), '1');
    }
    const size_t intLen = all.size() - static_cast<size_t>(decimals);
    intDigits = all.substr(0, intLen);
    fracDigits = all.substr(intLen);
    const size_t nz = intDigits.find_first_not_of('0');
    intDigits = nz == std::string::npos ? std::string() : intDigits.substr(nz);
}

AnsiString Render(const Section& sec, double value, bool minus)
{
    const TFormatSettings& fs = FormatSettings();
    std::string intDigits, frac;
    RoundDigits(value, sec.decimals, intDigits, frac);
    if (static_cast<int>(intDigits.size()) < sec.minInt)
        intDigits.insert(0, static_cast<size_t>(sec.minInt) - intDigits.size(), '0');
    while (static_cast<int>(frac.size()) > sec.minDecimals && !frac.empty() && frac.back() == '0') frac.pop_back();

    AnsiString out;
    const int len = static_cast<int>(intDigits.size());
    auto putDigit = [&](int idx) {
        out += intDigits[static_cast<size_t>(idx)];
        const int fromRight = len - 1 - idx;
        if (sec.thousands && fromRight > 0 && fromRight % 3 == 0) out += fs.ThousandSeparator;
    };
    bool minusDone = !minus;
    int intSeen = 0, fracSeen = 0;
    bool inFraction = false;
    char quote = 0;
    for (char c : sec.text) {
        if (quote) {
            if (c == quote) quote = 0;
            else out += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (!minusDone) {
                out += '-';
                minusDone = true;
            }
            if (inFraction) {
                if (fracSeen < static_cast<int>(frac.size())) out += frac[static_cast<size_t>(fracSeen)];
                ++fracSeen;
            } else {
                // The first placeholder takes every digit beyond the placeholders' count.
                const int offset = len - sec.intPlaceholders;
                if (intSeen == 0)
                    for (int k = 0; k < offset; ++k) putDigit(k);
                const int idx = intSeen + offset;
                if (idx >= 0 && idx < len) putDigit(idx);
                ++intSeen;
            }
        } else if (c == '.' && !inFraction) {
            inFraction = true;
            if (!frac.empty()) out += fs.DecimalSeparator;
        } else if (c == ',' && !inFraction) {
            // asks for thousands separators; not itself shown
        } else {
            out += c;
        }
    }
    if (!minusDone) out.insert(0, 1, '-');
    return out;
}

} // namespace

int CompareGridValues(const TGridValue& a, const TGridValue& b)
{
    const bool an = a.IsNull(), bn = b.IsNull();
    if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
    const bool anum = IsNumber(a), bnum = IsNumber(b);
    if (anum && bnum) {
        if (a.kind == TGridValue::Integer && b.kind == TGridValue::Integer) return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
        const double x = NumberOf(a), y = NumberOf(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (anum != bnum) return anum ? -1 : 1;
    return CompareBytes(a.s, b.s);
}

AnsiString FormatFloatPattern(const AnsiString& pattern, double value)
{
    if (pattern.empty()) return FloatToDisplayText(value);
    const std::vector<std::string> parts = SplitSections(pattern);
    const Section positive = Analyse(parts[0]);
    Section chosen = positive;
    bool minus = false;
    if (value < 0) {
        if (parts.size() >= 2 && !parts[1].empty()) chosen = Analyse(parts[1]);
        else minus = true;
    }
    std::string i, f;
    RoundDigits(value, chosen.decimals, i, f);
    const bool zero = i.empty() && f.find_first_not_of('0') == std::string::npos;
    if (zero) {
        minus = false;
        if (parts.size() >= 3 && !parts[2].empty()) chosen = Analyse(parts[2]);
        else if (value < 0) chosen = positive;
    }
    return Render(chosen, value, minus);
}

AnsiString GridValueText(const TGridValue& value)
{
    switch (value.kind) {
    case TGridValue::Integer: return std::to_string(value.i);
    case TGridValue::Float: return FloatToDisplayText(value.f);
    case TGridValue::String: return value.s;
    default: return AnsiString();
    }
}

bool SameNameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (AnsiUpperChar(static_cast<unsigned char>(a[k])) != AnsiUpperChar(static_cast<unsigned char>(b[k])))
            return false;
    return true;
}

TGridValue RecordValue(const TRecordTable& table, const TRecord* record, const TRecordField* field)
{
    TGridValue v;
    if (!field || !record || table.IsNull(record, *field)) return v;
    switch (field->Kind) {
    case ftInteger:
        v.kind = TGridValue::Integer;
        v.i = table.GetInteger(record, *field);
        break;
    case ftFloat:
        v.kind = TGridValue::Float;
        v.f = table.GetFloat(record, *field);
        break;
    case ftString:
        v.kind = TGridValue::String;
        v.s = AnsiString(table.GetString(record, *field));
        break;
    default:
        break;
    }
    return v;
}

TFilterValueError::TFilterValueError(int editor) : Exception(A("Неверное значение")), Editor(editor) {}

TGridValue TGridEngine::Value(const TGridNode* node, int column) const
{
    if (!node) return TGridValue();
    if (IsGroup(node)) {
        const TGroupNode* g = AsGroup(node);
        if (g->level < d->levels.size() && d->levels[g->level].column == column) return g->value;
        return TGridValue();
    }
    if (!d->attached) return TGridValue();
    if (node == &d->newRow) {   // the edit buffer of the record being inserted
        const TRecordTable& t = *d->attached;
        const TRecordField* f = FieldOf(column);
        TGridValue v;
        if (!f || !Inserting() || t.IsNull(*f)) return v;
        switch (f->Kind) {
        case ftInteger: v.kind = TGridValue::Integer; v.i = t.GetInteger(*f); break;
        case ftFloat: v.kind = TGridValue::Float; v.f = t.GetFloat(*f); break;
        case ftString: v.kind = TGridValue::String; v.s = t.GetString(*f); break;
        default: break;
        }
        return v;
    }
    return RecordValue(*d->attached, AsData(node)->record, FieldOf(column));
}

AnsiString TGridEngine::DisplayText(const TGridNode* node, int column) const
{
    if (!node) return AnsiString();
    if (IsGroup(node)) return GridValueText(Value(node, column));
    if (node == &d->newRow) return NewRowText(column);
    const TRecordField* f = FieldOf(column);
    if (!f || !d->attached) return AnsiString();
    return d->attached->GetDisplayText(AsData(node)->record, *f);
}
