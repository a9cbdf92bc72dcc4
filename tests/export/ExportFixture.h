#pragma once
// Grids over small record tables, the expected bytes of spreadsheet records, and the
// file read back by an independent reader (python3-xlrd).
#include "SheetScript.h"
#include "export/GridExportXls.h"
#include "grid/GridEngine.h"
#include "table/RecordTable.h"
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace exporttest {

// A grid over its own record table. Rows are added after the grid is configured.
struct TGridFixture {
    TGridFixture();
    ~TGridFixture();
    TRecordTable Table;
    TDataSource Source{&Table};
    TGridEngine Grid;

    TDataGridColumn& AddColumn(const std::string& field, const std::string& captionUtf8, int width);
    // Attaches the grid to the table and opens it.
    void Attach(int viewWidth);
    // One record; a missing value leaves the field null.
    using TValue = std::variant<std::monostate, int32_t, double, std::string>;
    void AddRow(const std::vector<TValue>& values);
    void AddRows(const std::vector<std::vector<TValue>>& rows);
};

// The statistics grid: ID, upload, download, userip, nick, hub; grouped by the hidden hub
// column, sorted by nick, sums under upload and download in the footer and group footers.
void ConfigureRatioLike(TGridFixture& f, int viewWidth = 736);
// One statistics record: id, upload, download, ip, nick (UTF-8), hub (UTF-8).
void AddRatioRow(TGridFixture& f, int32_t id, std::optional<double> upload, std::optional<double> download,
                 const std::string& ip, const std::string& nickUtf8, const std::string& hubUtf8);

// Bytes from a spaced hex text: "09 04 06 00".
std::string Hex(const std::string& text);
std::string ToHex(const std::string& bytes);

// Expected records.
std::string Record(uint16_t id, const std::string& data);
std::string Blank(int row, int col, int xf);
std::string Label(int row, int col, int xf, const std::string& ansi);
std::string LabelU(int row, int col, int xf, const std::string& utf8);   // text given as UTF-8
std::string Number(int row, int col, int xf, double value);
std::string Rk(int row, int col, int xf, int32_t value);
std::string Formula(int row, int col, int firstRow, int lastRow, int summedCol, const std::string& functionHex);
std::string Eof();

struct TXlsRecord {
    uint16_t Id;
    std::string Data;
};
// Splits a file into its records; fails the test when the bytes do not split cleanly.
std::vector<TXlsRecord> SplitRecords(const std::string& bytes);
// The cell records, from the first record after DIMENSIONS up to (without) EOF, joined.
std::string CellBytes(const std::string& file);
// Readable listing of records, for failure messages.
std::string Describe(const std::string& bytes);

// Writes the grid into memory.
std::string ExportBytes(const TGridEngine& grid, bool saveAll = true);

// What xlrd reads from a file.
struct TReadCell {
    std::string Kind;    // text, number, blank
    int Xf = -1;
    std::string Text;    // UTF-8, for text cells
    double Value = 0;    // for number cells
};
struct TReadBack {
    bool Ok = false;
    std::string Error;
    int Rows = 0, Cols = 0;
    std::map<std::pair<int, int>, TReadCell> Cells;
    std::vector<std::vector<std::string>> Xfs, Fonts, Colours;   // the dump's fields
    std::map<int, int> ColWidths;
    const TReadCell* At(int row, int col) const;
};
TReadBack ReadWithXlrd(const std::string& file);

// The message of the Exception the action raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& action);

// Files in a folder (names only), for checking that no temporary file is left.
std::vector<std::string> FolderEntries(const std::string& folder);
void WriteFile(const std::string& file, const std::string& bytes);

} // namespace exporttest
