#pragma once
// In-memory typed record table behind each grid. Records keep the order in which they
// were added; the table never sorts, filters or touches a database.
#include "platform/AnsiString.h"
#include "platform/Exception.h"
#include "table/RecordStorage.h"
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TRecordTable;

enum TFieldType { ftUnknown, ftInteger, ftFloat, ftString };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTableState { Closed, Browsing, Inserting, Editing };

class TRecordField {
public:
    TRecordField(std::string fieldName, TFieldType kind, int size = 0);

    std::string FieldName;
    TFieldType Kind;
    int Size;                 // string fields: capacity in bytes (0 to 8192; 20 when not given)
    AnsiString DisplayLabel;  // empty: the name
    int DisplayWidth;         // string fields default to the size
    TAlignment Alignment;     // right for numbers, left for strings

    AnsiString DisplayName() const { return DisplayLabel.empty() ? FieldName : DisplayLabel; }
    int Index() const { return index_; }
    TRecordTable* Table() const { return table_; }

private:
    friend class TRecordTable;
    int index_ = -1;
    TRecordTable* table_ = nullptr;
    int offset_ = 0;      // offset in the edit-buffer block
    int slot_ = 0;        // index among the fields of its kind in a stored record
};

// One stored record. Compact: null flags, numbers, and only the actual bytes of texts.
class TRecord;

// A bookmark is a copy of a record's identity; none is an empty optional.
using TBookmark = std::optional<int32_t>;

enum class TDataEvent {
    Opened,          // the table was opened
    Closed,          // the table was closed
    StateChange,     // Browsing / Inserting / Editing changed
    DataSetChange,   // content changed: post, delete, cancel, filtered flag, release of a freeze
    RecordChange,    // the current record moved
    FieldChange      // a field of the record being inserted or edited changed
};

// A view attached to a table through its data source.
class TDataLink {
public:
    virtual ~TDataLink();
    virtual void DataEvent(TDataEvent event, const TRecordField* field) = 0;
    // The table is being destroyed: the view must not touch it any more.
    virtual void TableDestroyed(TRecordTable* table) {}
};

class TDataSource {
public:
    explicit TDataSource(TRecordTable* table = nullptr) : DataSet(table) {}
    TRecordTable* DataSet;
    bool AutoEdit = false;
};

class TRecordTable {
public:
    // Field list as the layout gives it; the table takes ownership.
    explicit TRecordTable(std::vector<std::unique_ptr<TRecordField>> fields = {});
    ~TRecordTable();
    TRecordTable(const TRecordTable&) = delete;
    TRecordTable& operator=(const TRecordTable&) = delete;

    TRecordField& AddField(std::string fieldName, TFieldType kind, int size = 0);
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TRecordField& Field(int index) const { return *fields_[index]; }
    TRecordField* LookupField(std::string_view name) const; // case-insensitive; null when missing
    int EditBufferSize() const { return bufferSize_; }      // bytes of the record block layout

    // Views
    void Attach(TDataLink* link);
    void Detach(TDataLink* link);

    // Loads
    void OpenTable();
    void CloseTable();
    bool Active() const { return state_ != TTableState::Closed; }
    TTableState State() const { return state_; }
    void BeginAppend();
    void BeginInsert();
    void SetInteger(const TRecordField& field, int32_t value);
    void SetFloat(const TRecordField& field, double value);
    void SetString(const TRecordField& field, std::string_view value);
    void SetText(const TRecordField& field, const AnsiString& text);
    void PostRecord();
    void CancelRecord();
    void DeleteRecord();
    bool Modified() const { return modified_; }

    // Appending rows in bulk (the loads, while the controls are frozen): each record is built
    // straight in storage, with the outcome of BeginAppend, Set..., PostRecord per row.
    // Within a row string fields come in field order, each at most once; numbers in any order.
    void BulkBegin();                                            // at the first row
    void BulkRowStart();
    void BulkInteger(const TRecordField& field, int32_t value);  // an integer field
    void BulkFloat(const TRecordField& field, double value);     // a float field
    char* BulkStringSpace(size_t bytes);                         // room for the next string
    void BulkString(const TRecordField& field, size_t length);   // its bytes are in that room
    void BulkRowEnd();
    // An error within a row: the row so far becomes the record being inserted, as it would
    // stand after BeginAppend and the Set calls made.
    void BulkRowAbandon();

    // Reading the current record, or the edit buffer while inserting or editing
    int32_t GetInteger(const TRecordField& field) const;
    double GetFloat(const TRecordField& field) const;
    AnsiString GetString(const TRecordField& field) const;
    bool IsNull(const TRecordField& field) const;
    AnsiString GetDisplayText(const TRecordField& field) const;

    // Navigation
    void MoveFirst();
    void MoveNext();
    void MovePrior();
    void MoveLast();
    bool AtStart() const { return bof_; }
    bool AtEnd() const { return eof_; }
    int GetRecordCount() const { return static_cast<int>(records_.size()); }
    int GetRecNo() const;
    void SetRecNo(int recNo);

    // Bookmarks
    TBookmark TakeBookmark() const;
    bool BookmarkValid(const TBookmark& bookmark) const;
    void MoveToBookmark(const TBookmark& bookmark);
    static int CompareBookmarks(const TBookmark& a, const TBookmark& b);
    void ReleaseBookmark(TBookmark& bookmark);

    // Freeze
    void FreezeControls();
    void ReleaseControls();
    int FreezeCount() const { return freezeCount_; }

    // Filter hand-over: stored, never applied
    void SetFilterExpression(const AnsiString& expression) { filterExpression_ = expression; }
    void SetFilterCaseInsensitive(bool flag) { filterCaseInsensitive_ = flag; }
    void SetFiltered(bool flag);
    const AnsiString& FilterExpression() const { return filterExpression_; }
    bool FilterCaseInsensitive() const { return filterCaseInsensitive_; }
    bool Filtered() const { return filtered_; }

    // Direct read access for views that hold every record (the grid): the i-th stored
    // record, stable until it is deleted or the table closed, and its values.
    const TRecord* RecordAt(int position) const { return records_[position]; }
    int CurrentPosition() const { return position_; }
    static int32_t Identity(const TRecord* record);
    bool IsNull(const TRecord* record, const TRecordField& field) const;
    int32_t GetInteger(const TRecord* record, const TRecordField& field) const;
    double GetFloat(const TRecord* record, const TRecordField& field) const;
    std::string_view GetString(const TRecord* record, const TRecordField& field) const;
    AnsiString GetDisplayText(const TRecord* record, const TRecordField& field) const;
    // Bytes a record holds (for memory figures).
    size_t RecordBytes(const TRecord* record) const;
    // Bytes the table has reserved from the system for its stored records (whole chunks,
    // used or not), for memory figures: this storage does not come from the C heap.
    size_t StorageBytes() const { return storage_.ReservedBytes(); }

private:
    void Notify(TDataEvent event, const TRecordField* field = nullptr);
    void ResolvePending();
    void StartRecord(bool append);
    void ComputeLayout();
    unsigned char* WritableValue(const TRecordField& field);
    void FieldSet(const TRecordField& field);
    TRecord* MakeRecord(int32_t identity);
    void RowRoom(size_t bytes);
    void SetPresent(const TRecordField& field)
    {
        row_[4 + field.index_ / 8] |= static_cast<unsigned char>(1u << (field.index_ % 8));
    }
    void RowEnd(int slot)
    {
        unsigned char* p = row_ + recEnds_ + slot * endWidth_;
        if (endWidth_ == 2) {
            const uint16_t e = static_cast<uint16_t>(rowEnd_);
            std::memcpy(p, &e, 2);
        } else {
            std::memcpy(p, &rowEnd_, 4);
        }
    }
    void ReleaseStorage();
    const unsigned char* BufferValue(const TRecordField& field) const;
    const TRecord* CurrentRecord() const;
    bool Buffered() const;

    std::vector<std::unique_ptr<TRecordField>> fields_;
    std::vector<TDataLink*> links_;
    // In blocks rather than one array: growing it never holds the old and the new array at
    // once, which at ten million records was the largest part of a load's peak.
    std::deque<TRecord*> records_;
    // Stored records' bytes, given back only on close or destruction: a deleted or replaced
    // record's bytes stay until then.
    TRecordStorage storage_;
    // The row being built by the bulk path: its block, string bytes so far, next string slot.
    unsigned char* row_ = nullptr;
    uint32_t rowEnd_ = 0;
    int rowSlot_ = 0;
    unsigned char* rowLimit_ = nullptr;      // end of the room the row may fill in place
    int32_t identityCounter_ = INT32_MIN;
    int position_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    TTableState state_ = TTableState::Closed;
    std::vector<unsigned char> buffer_;   // edit buffer in the record block layout
    int bufferSize_ = 0;
    bool modified_ = false;
    enum class Destination { End, Before, Start } destination_ = Destination::End;
    int destinationPos_ = 0;
    int freezeCount_ = 0;
    TTableState frozenState_ = TTableState::Closed;
    bool filtered_ = false;
    AnsiString filterExpression_;
    bool filterCaseInsensitive_ = false;
    // Stored record layout: offsets of the numbers, the string ends and the string bytes.
    int recNumbers_ = 4;
    int recEnds_ = 4;
    int recStrings_ = 4;
    int endWidth_ = 2;
    int stringFields_ = 0;
};

inline void TRecordTable::BulkInteger(const TRecordField& field, int32_t value)
{
    SetPresent(field);
    std::memcpy(row_ + recNumbers_ + field.slot_, &value, 4);
}

inline void TRecordTable::BulkFloat(const TRecordField& field, double value)
{
    SetPresent(field);
    std::memcpy(row_ + recNumbers_ + field.slot_, &value, 8);
}

inline char* TRecordTable::BulkStringSpace(size_t bytes)
{
    const size_t need = static_cast<size_t>(recStrings_) + rowEnd_ + bytes;
    if (static_cast<size_t>(rowLimit_ - row_) < need) RowRoom(need);
    return reinterpret_cast<char*>(row_ + recStrings_ + rowEnd_);
}

inline void TRecordTable::BulkString(const TRecordField& field, size_t length)
{
    SetPresent(field);
    for (; rowSlot_ < field.slot_; ++rowSlot_) RowEnd(rowSlot_);
    rowEnd_ += static_cast<uint32_t>(length);
    RowEnd(rowSlot_);
    ++rowSlot_;
}

// Display text of a float: general format, up to 15 significant digits (also used by grids).
AnsiString FloatToDisplayText(double value);
// The conversions of SetText: a 32-bit integer; a number in the user's locale.
bool TextToInteger(const AnsiString& text, int32_t& value);
bool TextToFloat(const AnsiString& text, double& value);
