#pragma once
// The grid's logic without a window: columns, summary groups, the row tree, sorting,
// grouping, summaries, the automatic filter and the record changes of row deletion and
// insertion. The Qt control paints it; the spreadsheet writer and the tests read it.
// All texts are ANSI (code page 1251) bytes.
#include "platform/AnsiString.h"
#include "platform/Colors.h"
#include "platform/Exception.h"
#include "table/RecordTable.h"
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum TColumnSort { csNone, csUp, csDown };
enum TSummaryType { cstNone, cstSum, cstMin, cstMax, cstCount, cstAvg };

struct TGridFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;              // points
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    TColor Color = clWindowText;
};

class TDataGridColumn {
public:
    std::string Name;                 // member name, e.g. m_vdx_ratio_DBGridupload
    AnsiString Caption;               // empty: the field's display label, or FieldName
    std::string FieldName;
    int Width = 64;                   // pixels; a proportion under automatic width
    bool Visible = true;
    std::optional<TAlignment> Alignment;  // unset: the field's
    TColumnSort Sorted = csNone;
    int GroupIndex = -1;
    TSummaryType SummaryFooterType = cstNone;
    std::string SummaryFooterField;
    AnsiString SummaryFooterFormat;
    std::string SummaryGroupName;
    TSummaryType SummaryType = cstNone;   // a summary of the column's own inside its group rows
    std::string SummaryField;
    AnsiString SummaryFormat;
    bool DisableCaption = false;
    std::optional<TGridFont> Font;        // unset: the grid's Font

    int Index() const { return index_; }  // position in the grid's column collection

private:
    friend class TGridEngine;
    int index_ = -1;
};

struct TSummaryItem {
    std::string ColumnName;           // empty: shown inside the group row
    std::string SummaryField;
    TSummaryType SummaryType = cstNone;
    AnsiString SummaryFormat;
};

struct TSummaryGroup {
    std::string Name;
    bool DefaultGroup = false;
    AnsiString BeginSummaryText;
    AnsiString EndSummaryText;
    std::vector<TSummaryItem> SummaryItems;
};

struct TGridFilterSettings {
    bool Active = true;
    bool AutoDataSetFilter = false;
    bool CaseInsensitive = false;
    int DropDownCount = 12;
    int MaxDropDownCount = 1000;
};

// A value of a row in a column: what the record holds, or a group row's value.
struct TGridValue {
    enum Kind : uint8_t { Null, Integer, Float, String } kind = Null;
    int32_t i = 0;
    double f = 0;
    AnsiString s;
    bool IsNull() const { return kind == Null || (kind == String && s.empty()); }
};
// Sorting order of values: null first, numbers numerically, strings as unsigned bytes.
int CompareGridValues(const TGridValue& a, const TGridValue& b);

// Number patterns of summaries ("0", "#", ".", ",", quoted text, ";" sections).
AnsiString FormatFloatPattern(const AnsiString& pattern, double value);

struct TCompiledFilter;
class TGridNode;   // a row of the tree: a data row or a group row (defined in GridEngineImpl.h)

// One line of the rows area in display order: a row, or the k-th group footer after it.
struct TGridLine {
    TGridNode* Node = nullptr;
    int Footer = -1;          // -1: the row itself; k >= 0: its k-th group footer line
};

// Contains and BeginsWith compare texts (a number by its display text).
enum class TFilterOp { Equal, Greater, Less, GreaterEqual, LessEqual, IsNull, Contains, BeginsWith };

struct TFilterCondition {
    TFilterOp Op = TFilterOp::Equal;
    TGridValue Value;         // unused for IsNull
    bool Negated = false;
};

struct TColumnFilter {
    std::vector<TFilterCondition> Conditions;   // one or two
    bool OrJoin = false;                        // two conditions: OR instead of AND
};

struct TDropDownEntry {
    enum Kind { All, Custom, Blanks, NonBlanks, Value } kind = All;
    AnsiString Text;          // as listed: "(Все)", "(Выбор...)", ..., or the value's text
    TGridValue ValueOf;       // for Value entries
};

// Operators of the custom filter dialog, in the order of its lists.
enum class TCustomOp { None, Equal, NotEqual, Greater, GreaterEqual, Less, LessEqual, Blank, NotBlank,
                       Contains, NotContains, BeginsWith };

struct TCustomFilterInput {
    TCustomOp Op1 = TCustomOp::Equal;
    AnsiString Value1;
    bool OrJoin = false;
    TCustomOp Op2 = TCustomOp::None;
    AnsiString Value2;
    // The condition's stored value behind a text the user left unchanged: used as it is,
    // since the text (a float's 15 digits) may not read back as the same value.
    std::optional<TGridValue> Kept1, Kept2;
};

// "Неверное значение": Editor is 1 or 2, the value editor whose text did not convert.
class TFilterValueError : public Exception {
public:
    TFilterValueError(int editor);
    int Editor;
};

class TGridEngine : public TDataLink {
public:
    TGridEngine();
    ~TGridEngine() override;
    TGridEngine(const TGridEngine&) = delete;
    TGridEngine& operator=(const TGridEngine&) = delete;

    // --- settings ---------------------------------------------------------------
    std::string Name;
    std::string KeyField;
    bool ShowHeader = true, ShowBands = false, ShowGrid = true;
    bool ShowGroupPanel = true, ShowSummaryFooter = true, ShowRowFooter = true;
    AnsiString SummarySeparator = ", ";
    TGridFilterSettings Filter;
    std::string PreviewFieldName;
    int PreviewLines = 0;
    bool ShowPreview = false;
    TGridFont Font, HeaderFont, BandFont;
    TColor Color = clWindow, HeaderColor = clBtnFace, GroupNodeColor = clBtnFace,
           GroupNodeTextColor = clWindowText, RowFooterColor = clBtnFace,
           RowFooterTextColor = clWindowText, BandColor = clBtnFace, GridLineColor = clBtnFace;

    void SetDataSource(TDataSource* source);   // attaches to its table and rebuilds
    TDataSource* DataSource() const { return source_; }
    TRecordTable* Table() const { return source_ ? source_->DataSet : nullptr; }

    TDataGridColumn& AddColumn();
    int ColumnCount() const;
    TDataGridColumn& Column(int index) const;
    TDataGridColumn* ColumnByName(std::string_view name) const;
    TSummaryGroup& AddSummaryGroup();
    std::vector<TSummaryGroup>& SummaryGroups() { return summaryGroups_; }
    // Call after changing settings of columns or groups in code; rebuilds the tree.
    void LayoutChanged();

    // --- columns as shown ---------------------------------------------------------
    // Columns shown in the header, in on-screen order: visible and not grouped.
    std::vector<int> HeaderColumns() const;
    void MoveColumn(int column, int headerPosition);   // on-screen position among HeaderColumns
    AnsiString ColumnCaption(int column) const;
    const TRecordField* ColumnField(int column) const; // null when the field is missing
    TAlignment ColumnAlignment(int column) const;
    const TGridFont& ColumnFont(int column) const;
    // Automatic column width: the header columns fill the view width in proportion.
    void SetViewWidth(int pixels);
    int ViewWidth() const { return viewWidth_; }
    int DisplayWidth(int column) const;
    void ResizeColumn(int column, int displayWidth);   // the others are adjusted to fit

    // --- grouping and sorting ---------------------------------------------------------
    int GroupColumnCount() const;
    int GroupColumn(int level) const;
    void GroupByColumn(int column, int level);   // a column without sort gets csUp
    void UngroupColumn(int column);
    void ClickColumn(int column, bool ctrl);     // header click; Ctrl removes the sort

    // --- the row tree ---------------------------------------------------------------
    int TopCount() const;
    TGridNode* Top(int index) const;
    static bool IsGroup(const TGridNode* node);
    static int Level(const TGridNode* node);
    static TGridNode* Parent(const TGridNode* node);
    static int ChildCount(const TGridNode* node);
    static TGridNode* Child(const TGridNode* node, int index);
    static bool IsLast(const TGridNode* node);
    static bool Expanded(const TGridNode* node);
    const TRecord* Record(const TGridNode* node) const;   // null for group rows
    int DataRowCount() const;                             // data rows in the tree
    int SetAsideCount() const;                            // data rows the filter rejected

    void SetExpanded(TGridNode* node, bool expanded);
    void ExpandAll();
    void CollapseAll();

    // Lines of the rows area in display order, respecting collapsed groups.
    int LineCount() const;
    TGridLine Line(int index) const;
    int LineOf(const TGridNode* node) const;             // -1 when not shown

    // --- values and texts ----------------------------------------------------------
    TGridValue Value(const TGridNode* node, int column) const;   // group row: its value at its column
    AnsiString DisplayText(const TGridNode* node, int column) const;
    AnsiString GroupRowText(const TGridNode* node) const;
    int GetRowFooterCount(const TGridNode* node) const;
    int GetNodeFooterLevel(const TGridNode* node, int footer) const;
    bool IsExistRowFooterCell(const TGridNode* node, int footer, int column) const;
    AnsiString GetFooterCellText(const TGridNode* node, int footer, int column) const;
    bool HasSummaryFooter(int column) const;
    AnsiString SummaryFooterText(int column) const;

    // --- focus ---------------------------------------------------------------------
    TGridNode* FocusedNode() const { return focused_; }
    void SetFocusedNode(TGridNode* node);
    int FocusedColumn() const { return focusedColumn_; }
    void SetFocusedColumn(int column);

    // --- filter --------------------------------------------------------------------
    std::vector<TDropDownEntry> DropDownEntries(int column) const;
    int CurrentDropDownEntry(int column, const std::vector<TDropDownEntry>& entries) const; // -1: none
    void ChooseDropDownEntry(int column, const TDropDownEntry& entry);  // Custom does nothing here
    void ApplyCustomFilter(int column, const TCustomFilterInput& input); // throws TFilterValueError
    TCustomFilterInput CustomFilterInputOf(int column) const;           // the dialog's start values
    void SetColumnFilter(int column, std::optional<TColumnFilter> filter);
    const TColumnFilter* ColumnFilter(int column) const;
    void ClearFilter();
    bool FilterSet() const;
    AnsiString FilterStatusText() const;     // the status bar's words
    AnsiString FilterExpressionText() const; // the hand-over to the record table

    // --- deleting and inserting ------------------------------------------------------
    bool FocusShown() const;                 // the focused row is on a line (no collapsed group hides it)
    bool CanDeleteFocused() const;           // a focused data row, shown, in a non-empty table
    void DeleteFocused();                    // the caller has asked the user
    void BeginInsertBeforeFocused();
    bool Inserting() const;
    TGridNode* NewRowBefore() const;         // row the new row stands before; null: at the end
    // The new row as a node for the painting hook: Value and DisplayText read what was typed.
    // Null while not inserting; it is on no line of the tree.
    TGridNode* NewRowNode() const;
    AnsiString NewRowText(int column) const;
    void SetNewRowText(int column, const AnsiString& text);   // the table's message on bad text
    bool NewRowModified() const;
    void LeaveNewRow();                      // post when something was typed, else cancel
    void CancelNewRow();

    // --- the grid as text (the clipboard) ------------------------------------------------
    // Every row of the tree depth first, also those inside collapsed groups: the export's order.
    std::vector<const TGridNode*> RowsInTreeOrder() const;
    // The focused cell's display text; a group row's text when a group row has the focus.
    AnsiString FocusedCellText() const;
    // The cells an export of the grid holds, one line per worksheet row and a tab between
    // cells: captions, the rows in tree order (group rows and footers as their text, numbers
    // with every digit), the summary footer. A text with a tab, line break or quote is quoted.
    AnsiString CopyAllText() const;

    // --- notifications to the control ------------------------------------------------
    std::function<void()> OnChanged;         // rows, texts or focus changed: repaint
    std::function<void()> OnLayoutChanged;   // columns, grouping or filter changed

    // Bytes held by the row tree (for memory figures).
    size_t TreeBytes() const;

    void DataEvent(TDataEvent event, const TRecordField* field) override;
    void TableDestroyed(TRecordTable* table) override;
    void Rebuild();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    void ResolveLayout();
    void BuildTree();
    void GroupRecords(std::vector<uint32_t>& leafOf);
    bool GroupRecordsByHash(std::vector<uint32_t>& leafOf);
    void GroupRecordsBySort(std::vector<uint32_t>& leafOf);
    void PlaceRecords(const std::vector<uint32_t>& leafOf, const std::vector<uint32_t>& rankOf, size_t buckets,
                      std::vector<uint32_t>& start);
    void ApplyFilterInternal();
    void RecomputeLines() const;
    std::vector<int> LiveGroupColumns() const;
    const TRecordField* FieldOf(int column) const;
    void FilterChanged();
    void HandOverFilter();
    void FocusShownOrFirst(int preferredLine);
    void ClearTree();
    void NoteFocus();
    std::vector<TCompiledFilter> CompileFilters() const;
    bool RowPasses(const TRecord* record, const std::vector<TCompiledFilter>& filters, bool caseInsensitive) const;
    TDataSource* source_ = nullptr;
    std::vector<std::unique_ptr<TDataGridColumn>> columns_;
    std::vector<TSummaryGroup> summaryGroups_;
    int viewWidth_ = 0;
    TGridNode* focused_ = nullptr;
    int focusedColumn_ = -1;
};
