#include "table/RecordTable.h"

#include "platform/Cp1251.h"
#include "platform/FormatSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

// A stored record is one block in the table's storage chunks:
//   int32 identity | null bits | numbers (4 or 8 bytes each) | string end offsets | string bytes
// The struct itself is only a name for the block's start.
class TRecord {};

namespace {

constexpr int kMaxStringSize = 8192;

const unsigned char* Bytes(const TRecord* r) { return reinterpret_cast<const unsigned char*>(r); }

uint32_t ReadEnd(const unsigned char* p, int width)
{
    if (width == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void WriteEnd(unsigned char* p, int width, uint32_t v)
{
    if (width == 2) {
        const uint16_t s = static_cast<uint16_t>(v);
        std::memcpy(p, &s, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

bool TextToIntegerImpl(const AnsiString& text, int32_t& out)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        value = value * base + digit;
        if (value > static_cast<int64_t>(INT32_MAX) + 1) return false;
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    out = static_cast<int32_t>(value);
    return true;
}

// A number in the user's locale: blanks around it, sign, digits with the locale's
// decimal separator, optional exponent. No thousands separators.
bool TextToFloatImpl(const AnsiString& text, double& out)
{
    const char sep = FormatSettings().DecimalSeparator;
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    std::string plain;
    size_t i = b;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    int digits = 0;
    while (i < e && text[i] >= '0' && text[i] <= '9') { plain += text[i++]; ++digits; }
    if (i < e && text[i] == sep) {
        plain += '.';
        ++i;
        while (i < e && text[i] >= '0' && text[i] <= '9') { plain += text[i++]; ++digits; }
    }
    if (digits == 0) return false;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        int expDigits = 0;
        while (i < e && text[i] >= '0' && text[i] <= '9') { plain += text[i++]; ++expDigits; }
        if (expDigits == 0) return false;
    }
    if (i != e) return false;
    double v = 0;
    const auto res = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (res.ec != std::errc() || res.ptr != plain.data() + plain.size()) return false;
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

AnsiString IntToText(int32_t v)
{
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return AnsiString(buf, res.ptr);
}

} // namespace

bool TextToInteger(const AnsiString& text, int32_t& value) { return TextToIntegerImpl(text, value); }
bool TextToFloat(const AnsiString& text, double& value) { return TextToFloatImpl(text, value); }

AnsiString FloatToDisplayText(double value)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    // 15 significant digits: d.dddddddddddddde±x
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string s(buf, res.ptr);
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const size_t ePos = s.find('e');
    int exponent = std::atoi(s.c_str() + ePos + 1);
    std::string digits;
    for (size_t k = 0; k < ePos; ++k)
        if (s[k] != '.') digits += s[k];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    const char sep = FormatSettings().DecimalSeparator;
    std::string out = negative ? "-" : "";
    if (exponent + 1 > 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += sep;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += '0';
        out += sep;
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        const size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out.append(digits, 0, intDigits);
            out += sep;
            out.append(digits, intDigits, std::string::npos);
        }
    }
    return out;
}

TDataLink::~TDataLink() = default;

TRecordField::TRecordField(std::string fieldName, TFieldType kind, int size)
    : FieldName(std::move(fieldName)), Kind(kind), Size(0), DisplayWidth(10),
      Alignment(kind == ftString ? taLeftJustify : taRightJustify)
{
    if (kind == ftString) {
        Size = size <= 0 ? 20 : std::min(size, kMaxStringSize);
        DisplayWidth = Size;
    }
}

void TRecordTable::ReleaseStorage()
{
    std::deque<TRecord*>().swap(records_);
    storage_.Release();
    row_ = rowLimit_ = nullptr;
}

TRecordTable::TRecordTable(std::vector<std::unique_ptr<TRecordField>> fields) : fields_(std::move(fields))
{
    for (size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->index_ = static_cast<int>(i);
        fields_[i]->table_ = this;
    }
    ComputeLayout();
}

TRecordTable::~TRecordTable()
{
    const auto links = links_;
    links_.clear();
    for (TDataLink* link : links) link->TableDestroyed(this);
    ReleaseStorage();
}

TRecordField& TRecordTable::AddField(std::string fieldName, TFieldType kind, int size)
{
    fields_.push_back(std::make_unique<TRecordField>(std::move(fieldName), kind, size));
    fields_.back()->index_ = static_cast<int>(fields_.size() - 1);
    fields_.back()->table_ = this;
    if (!Active()) ComputeLayout();
    return *fields_.back();
}

TRecordField* TRecordTable::LookupField(std::string_view name) const
{
    for (const auto& f : fields_) {
        if (f->FieldName.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = AnsiUpperChar(static_cast<unsigned char>(f->FieldName[i])) ==
                   AnsiUpperChar(static_cast<unsigned char>(name[i]));
        if (same) return f.get();
    }
    return nullptr;
}

void TRecordTable::ComputeLayout()
{
    int offset = 0;
    int numberBytes = 0;
    int strings = 0;
    int64_t stringCapacity = 0;
    for (auto& f : fields_) {
        f->offset_ = offset;
        int area = 0;
        switch (f->Kind) {
        case ftInteger: area = 4; f->slot_ = numberBytes; numberBytes += 4; break;
        case ftFloat: area = 8; f->slot_ = numberBytes; numberBytes += 8; break;
        case ftString: area = f->Size + 1; f->slot_ = strings++; stringCapacity += f->Size; break;
        default: break;
        }
        offset += 1 + area;
    }
    bufferSize_ = offset;
    buffer_.assign(static_cast<size_t>(bufferSize_), 0);
    recNumbers_ = 4 + (static_cast<int>(fields_.size()) + 7) / 8;
    endWidth_ = stringCapacity > 0xFFFF ? 4 : 2;
    recEnds_ = recNumbers_ + numberBytes;
    recStrings_ = recEnds_ + strings * endWidth_;
    stringFields_ = strings;
}

void TRecordTable::Attach(TDataLink* link)
{
    if (link && std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TRecordTable::Detach(TDataLink* link)
{
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TRecordTable::Notify(TDataEvent event, const TRecordField* field)
{
    if (freezeCount_ > 0) return;
    const auto links = links_;   // a view may detach itself while handling the event
    for (TDataLink* link : links)
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, field);
}

void TRecordTable::OpenTable()
{
    if (Active()) return;
    for (const auto& f : fields_)
        if (f->Kind != ftInteger && f->Kind != ftFloat && f->Kind != ftString)
            throw Exception(FormatMessage("Field '%s' is of an unknown type", {f->DisplayName()}));
    ComputeLayout();
    ReleaseStorage();
    position_ = -1;
    bof_ = eof_ = true;
    modified_ = false;
    state_ = TTableState::Browsing;
    Notify(TDataEvent::Opened);
}

void TRecordTable::CloseTable()
{
    if (!Active()) return;
    state_ = TTableState::Closed;
    modified_ = false;
    Notify(TDataEvent::Closed);
    ReleaseStorage();
    identityCounter_ = INT32_MIN;
    position_ = -1;
    bof_ = eof_ = true;
}

void TRecordTable::ResolvePending()
{
    if (state_ == TTableState::Inserting || state_ == TTableState::Editing) {
        if (modified_) PostRecord();
        else CancelRecord();
    }
}

void TRecordTable::StartRecord(bool append)
{
    if (!Active()) throw Exception("Cannot perform this operation on a closed dataset");
    ResolvePending();
    // Every field without a value: only the null flags need clearing, since a value
    // area is never read while its flag is 0.
    for (const auto& f : fields_) buffer_[static_cast<size_t>(f->offset_)] = 0;
    modified_ = false;
    if (append) {
        destination_ = Destination::End;
    } else if (records_.empty()) {
        destination_ = Destination::Start;
        destinationPos_ = 0;
    } else {
        destination_ = Destination::Before;
        destinationPos_ = std::clamp(position_, 0, GetRecordCount() - 1);
    }
    state_ = TTableState::Inserting;
    Notify(TDataEvent::StateChange);
}

void TRecordTable::BeginAppend() { StartRecord(true); }
void TRecordTable::BeginInsert() { StartRecord(false); }

unsigned char* TRecordTable::WritableValue(const TRecordField& field)
{
    if (state_ != TTableState::Inserting && state_ != TTableState::Editing)
        throw Exception("Dataset not in edit or insert mode");
    return &buffer_[static_cast<size_t>(field.offset_)];
}

void TRecordTable::FieldSet(const TRecordField& field)
{
    modified_ = true;
    Notify(TDataEvent::FieldChange, &field);
}

void TRecordTable::SetInteger(const TRecordField& field, int32_t value)
{
    unsigned char* p = WritableValue(field);
    if (field.Kind == ftFloat) {
        const double d = value;
        std::memcpy(p + 1, &d, 8);
    } else if (field.Kind == ftString) {
        SetString(field, IntToText(value));
        return;
    } else {
        std::memcpy(p + 1, &value, 4);
    }
    p[0] = 1;
    FieldSet(field);
}

void TRecordTable::SetFloat(const TRecordField& field, double value)
{
    unsigned char* p = WritableValue(field);
    if (field.Kind == ftInteger) {
        const int32_t i = static_cast<int32_t>(std::lround(value));
        std::memcpy(p + 1, &i, 4);
    } else if (field.Kind == ftString) {
        SetString(field, FloatToDisplayText(value));
        return;
    } else {
        std::memcpy(p + 1, &value, 8);
    }
    p[0] = 1;
    FieldSet(field);
}

void TRecordTable::SetString(const TRecordField& field, std::string_view value)
{
    unsigned char* p = WritableValue(field);
    if (field.Kind != ftString) {
        SetText(field, AnsiFromChars(value));
        return;
    }
    const size_t zero = value.find('\0');
    size_t n = zero == std::string_view::npos ? value.size() : zero;
    n = std::min(n, static_cast<size_t>(field.Size));
    std::memcpy(p + 1, value.data(), n);
    p[1 + n] = 0;
    p[0] = 1;
    FieldSet(field);
}

void TRecordTable::SetText(const TRecordField& field, const AnsiString& text)
{
    unsigned char* p = WritableValue(field);
    const AnsiString t = AnsiFromChars(text);
    if (t.empty()) {
        p[0] = 0;
        FieldSet(field);
        return;
    }
    switch (field.Kind) {
    case ftInteger: {
        int32_t v = 0;
        if (!TextToInteger(t, v))
            throw Exception(FormatMessage("'%s' is not a valid integer value for field '%s'", {t, field.DisplayName()}));
        SetInteger(field, v);
        break;
    }
    case ftFloat: {
        double v = 0;
        if (!TextToFloat(t, v))
            throw Exception(
                FormatMessage("'%s' is not a valid floating point value for field '%s'", {t, field.DisplayName()}));
        SetFloat(field, v);
        break;
    }
    default:
        SetString(field, t);
        break;
    }
}

TRecord* TRecordTable::MakeRecord(int32_t identity)
{
    // First pass: string lengths, to size the one block.
    size_t total = static_cast<size_t>(recStrings_);
    for (const auto& f : fields_) {
        if (f->Kind != ftString) continue;
        const unsigned char* p = &buffer_[static_cast<size_t>(f->offset_)];
        if (p[0]) total += ::strnlen(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(f->Size));
    }
    unsigned char* block = storage_.Allocate(total);
    std::memcpy(block, &identity, 4);
    std::memset(block + 4, 0, static_cast<size_t>(recNumbers_ - 4));
    uint32_t end = 0;
    for (const auto& f : fields_) {
        const unsigned char* p = &buffer_[static_cast<size_t>(f->offset_)];
        const bool present = p[0] != 0;
        if (present) block[4 + f->index_ / 8] |= static_cast<unsigned char>(1u << (f->index_ % 8));
        switch (f->Kind) {
        case ftInteger:
            if (present) std::memcpy(block + recNumbers_ + f->slot_, p + 1, 4);
            else std::memset(block + recNumbers_ + f->slot_, 0, 4);
            break;
        case ftFloat:
            if (present) std::memcpy(block + recNumbers_ + f->slot_, p + 1, 8);
            else std::memset(block + recNumbers_ + f->slot_, 0, 8);
            break;
        case ftString: {
            if (present) {
                const size_t n = ::strnlen(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(f->Size));
                std::memcpy(block + recStrings_ + end, p + 1, n);
                end += static_cast<uint32_t>(n);
            }
            WriteEnd(block + recEnds_ + f->slot_ * endWidth_, endWidth_, end);
            break;
        }
        default:
            break;
        }
    }
    return reinterpret_cast<TRecord*>(block);
}

void TRecordTable::PostRecord()
{
    if (state_ == TTableState::Editing) {
        const int pos = position_;
        if (pos >= 0 && pos < GetRecordCount()) records_[pos] = MakeRecord(Identity(records_[pos]));
    } else if (state_ == TTableState::Inserting) {
        if (identityCounter_ == INT32_MAX) throw Exception("Cannot perform this operation: no identity left");
        TRecord* record = MakeRecord(identityCounter_ + 1);
        ++identityCounter_;
        if (destination_ == Destination::End) {
            records_.push_back(record);
            position_ = GetRecordCount() - 1;
        } else {
            const int at = destination_ == Destination::Start
                               ? 0
                               : std::clamp(destinationPos_, 0, GetRecordCount());
            records_.insert(records_.begin() + at, record);
            position_ = at;
        }
        bof_ = eof_ = false;
    } else {
        return;
    }
    state_ = TTableState::Browsing;
    modified_ = false;
    Notify(TDataEvent::StateChange);
    Notify(TDataEvent::DataSetChange);
}

void TRecordTable::BulkBegin()
{
    if (!Active()) throw Exception("Cannot perform this operation on a closed dataset");
    ResolvePending();
}

void TRecordTable::RowRoom(size_t bytes)
{
    row_ = storage_.GrowRow(static_cast<size_t>(recStrings_) + rowEnd_, bytes);
    rowLimit_ = storage_.RowLimit();
}

void TRecordTable::BulkRowStart()
{
    rowEnd_ = 0;
    rowSlot_ = 0;
    row_ = storage_.BeginRow(static_cast<size_t>(recStrings_));
    rowLimit_ = storage_.RowLimit();
    // Null bits and numbers: a field without a value reads as null and zero.
    std::memset(row_ + 4, 0, static_cast<size_t>(recEnds_ - 4));
}

void TRecordTable::BulkRowEnd()
{
    if (identityCounter_ == INT32_MAX) throw Exception("Cannot perform this operation: no identity left");
    for (; rowSlot_ < stringFields_; ++rowSlot_) WriteEnd(row_ + recEnds_ + rowSlot_ * endWidth_, endWidth_, rowEnd_);
    const int32_t identity = identityCounter_ + 1;
    std::memcpy(row_, &identity, 4);
    records_.push_back(reinterpret_cast<TRecord*>(storage_.EndRow(static_cast<size_t>(recStrings_) + rowEnd_)));
    ++identityCounter_;
    position_ = GetRecordCount() - 1;
    bof_ = eof_ = false;
}

void TRecordTable::BulkRowAbandon()
{
    // The fields set so far go to the edit buffer, as the Set calls would have left them.
    modified_ = false;
    uint32_t begin = 0;
    for (const auto& f : fields_) {
        unsigned char* p = &buffer_[static_cast<size_t>(f->offset_)];
        const bool present = (row_[4 + f->index_ / 8] >> (f->index_ % 8)) & 1u;
        if (f->Kind == ftString && f->slot_ < rowSlot_) {
            const uint32_t end = ReadEnd(row_ + recEnds_ + f->slot_ * endWidth_, endWidth_);
            if (present) {
                std::memcpy(p + 1, row_ + recStrings_ + begin, end - begin);
                p[1 + end - begin] = 0;
            }
            begin = end;
        } else if (present && f->Kind == ftInteger) {
            std::memcpy(p + 1, row_ + recNumbers_ + f->slot_, 4);
        } else if (present && f->Kind == ftFloat) {
            std::memcpy(p + 1, row_ + recNumbers_ + f->slot_, 8);
        }
        p[0] = present ? 1 : 0;
        modified_ = modified_ || present;
    }
    destination_ = Destination::End;
    state_ = TTableState::Inserting;
    Notify(TDataEvent::StateChange);
}

void TRecordTable::CancelRecord()
{
    if (state_ != TTableState::Inserting && state_ != TTableState::Editing) return;
    state_ = TTableState::Browsing;
    modified_ = false;
    Notify(TDataEvent::StateChange);
    Notify(TDataEvent::DataSetChange);
}

void TRecordTable::DeleteRecord()
{
    if (state_ == TTableState::Inserting) {
        CancelRecord();
        return;
    }
    if (!Active()) throw Exception("Cannot perform this operation on a closed dataset");
    if (records_.empty()) throw Exception("Cannot perform this operation on an empty dataset");
    const TTableState before = state_;
    const int pos = std::clamp(position_, 0, GetRecordCount() - 1);
    records_.erase(records_.begin() + pos);
    position_ = pos;
    if (position_ >= GetRecordCount()) position_ = GetRecordCount() - 1;
    if (records_.empty()) {
        identityCounter_ = INT32_MIN;
        bof_ = eof_ = true;
    } else {
        bof_ = eof_ = false;
    }
    state_ = TTableState::Browsing;
    modified_ = false;
    if (before != state_) Notify(TDataEvent::StateChange);
    Notify(TDataEvent::DataSetChange);
}

const unsigned char* TRecordTable::BufferValue(const TRecordField& field) const
{
    return &buffer_[static_cast<size_t>(field.offset_)];
}

const TRecord* TRecordTable::CurrentRecord() const
{
    if (records_.empty()) return nullptr;
    return records_[static_cast<size_t>(std::clamp(position_, 0, GetRecordCount() - 1))];
}

bool TRecordTable::Buffered() const
{
    return state_ == TTableState::Inserting || state_ == TTableState::Editing;
}

int32_t TRecordTable::GetInteger(const TRecordField& field) const
{
    if (Buffered()) {
        const unsigned char* p = BufferValue(field);
        if (!p[0]) return 0;
        if (field.Kind == ftInteger) {
            int32_t v;
            std::memcpy(&v, p + 1, 4);
            return v;
        }
        if (field.Kind == ftFloat) {
            double v;
            std::memcpy(&v, p + 1, 8);
            return static_cast<int32_t>(std::lround(v));
        }
        int32_t v = 0;
        TextToInteger(GetString(field), v);
        return v;
    }
    const TRecord* r = CurrentRecord();
    return r ? GetInteger(r, field) : 0;
}

double TRecordTable::GetFloat(const TRecordField& field) const
{
    if (Buffered()) {
        const unsigned char* p = BufferValue(field);
        if (!p[0]) return 0;
        if (field.Kind == ftFloat) {
            double v;
            std::memcpy(&v, p + 1, 8);
            return v;
        }
        if (field.Kind == ftInteger) {
            int32_t v;
            std::memcpy(&v, p + 1, 4);
            return v;
        }
        double v = 0;
        TextToFloat(GetString(field), v);
        return v;
    }
    const TRecord* r = CurrentRecord();
    return r ? GetFloat(r, field) : 0;
}

AnsiString TRecordTable::GetString(const TRecordField& field) const
{
    if (Buffered()) {
        const unsigned char* p = BufferValue(field);
        if (!p[0]) return AnsiString();
        if (field.Kind == ftString) return AnsiString(reinterpret_cast<const char*>(p + 1));
        return GetDisplayText(field);
    }
    const TRecord* r = CurrentRecord();
    if (!r) return AnsiString();
    if (field.Kind == ftString) return AnsiString(GetString(r, field));
    return GetDisplayText(r, field);
}

bool TRecordTable::IsNull(const TRecordField& field) const
{
    if (Buffered()) {
        const unsigned char* p = BufferValue(field);
        return !p[0] || (field.Kind == ftString && p[1] == 0);
    }
    const TRecord* r = CurrentRecord();
    return r ? IsNull(r, field) : true;
}

AnsiString TRecordTable::GetDisplayText(const TRecordField& field) const
{
    if (IsNull(field)) return AnsiString();
    switch (field.Kind) {
    case ftInteger: return IntToText(GetInteger(field));
    case ftFloat: return FloatToDisplayText(GetFloat(field));
    default: return GetString(field);
    }
}

void TRecordTable::MoveFirst()
{
    ResolvePending();
    if (records_.empty()) {
        position_ = -1;
        bof_ = eof_ = true;
    } else {
        position_ = 0;
        bof_ = true;
        eof_ = false;
    }
    Notify(TDataEvent::RecordChange);
}

void TRecordTable::MoveLast()
{
    ResolvePending();
    if (records_.empty()) {
        position_ = -1;
        bof_ = eof_ = true;
    } else {
        position_ = GetRecordCount() - 1;
        bof_ = false;
        eof_ = true;
    }
    Notify(TDataEvent::RecordChange);
}

void TRecordTable::MoveNext()
{
    ResolvePending();
    if (records_.empty()) {
        bof_ = eof_ = true;
        return;
    }
    if (position_ < GetRecordCount() - 1) {
        ++position_;
        bof_ = eof_ = false;
        Notify(TDataEvent::RecordChange);
    } else {
        eof_ = true;
    }
}

void TRecordTable::MovePrior()
{
    ResolvePending();
    if (records_.empty()) {
        bof_ = eof_ = true;
        return;
    }
    if (position_ > 0) {
        --position_;
        bof_ = eof_ = false;
        Notify(TDataEvent::RecordChange);
    } else {
        position_ = 0;
        bof_ = true;
    }
}

int TRecordTable::GetRecNo() const
{
    if (position_ == -1 && !records_.empty()) return 1;
    return position_ + 1;
}

void TRecordTable::SetRecNo(int recNo)
{
    if (recNo < 1 || recNo > GetRecordCount()) return;
    ResolvePending();
    position_ = recNo - 1;
    bof_ = eof_ = false;
    Notify(TDataEvent::RecordChange);
}

TBookmark TRecordTable::TakeBookmark() const
{
    if (!Active() || records_.empty() || state_ == TTableState::Inserting) return std::nullopt;
    const TRecord* r = CurrentRecord();
    return r ? TBookmark(Identity(r)) : std::nullopt;
}

bool TRecordTable::BookmarkValid(const TBookmark& bookmark) const
{
    return bookmark.has_value() && Active() && *bookmark > INT32_MIN && *bookmark <= identityCounter_;
}

void TRecordTable::MoveToBookmark(const TBookmark& bookmark)
{
    if (!bookmark) return;
    ResolvePending();
    for (size_t i = 0; i < records_.size(); ++i) {
        if (Identity(records_[i]) == *bookmark) {
            position_ = static_cast<int>(i);
            bof_ = eof_ = false;
            break;
        }
    }
    Notify(TDataEvent::RecordChange);
    if (position_ < 0 || position_ >= GetRecordCount()) throw Exception(A("Данных не найдено"));
}

int TRecordTable::CompareBookmarks(const TBookmark& a, const TBookmark& b)
{
    if (!a && !b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

void TRecordTable::ReleaseBookmark(TBookmark& bookmark) { bookmark.reset(); }

void TRecordTable::FreezeControls()
{
    if (freezeCount_ == 0) frozenState_ = state_;
    ++freezeCount_;
}

void TRecordTable::ReleaseControls()
{
    if (freezeCount_ == 0) return;
    if (--freezeCount_ > 0) return;
    if (frozenState_ != state_) Notify(TDataEvent::StateChange);
    if (frozenState_ != TTableState::Closed && state_ != TTableState::Closed) Notify(TDataEvent::DataSetChange);
}

void TRecordTable::SetFiltered(bool flag)
{
    if (!Active()) {
        filtered_ = flag;
        return;
    }
    ResolvePending();
    if (flag == filtered_) return;
    filtered_ = flag;
    MoveFirst();
    Notify(TDataEvent::DataSetChange);
}

int32_t TRecordTable::Identity(const TRecord* record)
{
    int32_t id;
    std::memcpy(&id, record, 4);
    return id;
}

bool TRecordTable::IsNull(const TRecord* record, const TRecordField& field) const
{
    const unsigned char* b = Bytes(record);
    if (!(b[4 + field.index_ / 8] & (1u << (field.index_ % 8)))) return true;
    return field.Kind == ftString && GetString(record, field).empty();
}

int32_t TRecordTable::GetInteger(const TRecord* record, const TRecordField& field) const
{
    const unsigned char* b = Bytes(record);
    if (field.Kind == ftInteger) {
        int32_t v;
        std::memcpy(&v, b + recNumbers_ + field.slot_, 4);
        return v;
    }
    if (field.Kind == ftFloat) return static_cast<int32_t>(std::lround(GetFloat(record, field)));
    int32_t v = 0;
    TextToInteger(AnsiString(GetString(record, field)), v);
    return v;
}

double TRecordTable::GetFloat(const TRecord* record, const TRecordField& field) const
{
    const unsigned char* b = Bytes(record);
    if (field.Kind == ftFloat) {
        double v;
        std::memcpy(&v, b + recNumbers_ + field.slot_, 8);
        return v;
    }
    if (field.Kind == ftInteger) return GetInteger(record, field);
    double v = 0;
    TextToFloat(AnsiString(GetString(record, field)), v);
    return v;
}

std::string_view TRecordTable::GetString(const TRecord* record, const TRecordField& field) const
{
    if (field.Kind != ftString) return std::string_view();
    const unsigned char* b = Bytes(record);
    const uint32_t begin = field.slot_ == 0 ? 0 : ReadEnd(b + recEnds_ + (field.slot_ - 1) * endWidth_, endWidth_);
    const uint32_t end = ReadEnd(b + recEnds_ + field.slot_ * endWidth_, endWidth_);
    return std::string_view(reinterpret_cast<const char*>(b + recStrings_ + begin), end - begin);
}

AnsiString TRecordTable::GetDisplayText(const TRecord* record, const TRecordField& field) const
{
    if (IsNull(record, field)) return AnsiString();
    switch (field.Kind) {
    case ftInteger: return IntToText(GetInteger(record, field));
    case ftFloat: return FloatToDisplayText(GetFloat(record, field));
    default: return AnsiString(GetString(record, field));
    }
}

size_t TRecordTable::RecordBytes(const TRecord* record) const
{
    const unsigned char* b = Bytes(record);
    const uint32_t strings = stringFields_ ? ReadEnd(b + recEnds_ + (stringFields_ - 1) * endWidth_, endWidth_) : 0;
    return static_cast<size_t>(recStrings_) + strings;
}
