#pragma once
// The sheet both writers hold: which cell of the grid goes to which sheet row and column,
// with which of the sheet's cell formats, and the footer's formulas with their results.
// It knows no file format; a writer supplies the five cell kinds.
#include "export/GridExport.h"
#include <array>
#include <cstdint>
#include <vector>

// Cell formats of the sheet, numbered as in the BIFF4 file's format table.
constexpr uint16_t kXfCaption = 22, kXfGroup = 23, kXfFooterFormula = 24, kXfFooterBlank = 25, kXfBand = 26,
                   kXfGroupFooterText = 27, kXfGroupFooterBlank = 28, kXfFirstData = 29;

class TGridExportSheet : public TGridExport {
public:
    using TGridExport::TGridExport;

    // Sheet rows the export of these rows takes: heading, rows, group footers, footer.
    int SheetRowsNeeded(const std::vector<const TGridNode*>& rows) const;
    // Data rows among them (group rows not counted).
    static int DataRows(const std::vector<const TGridNode*>& rows);

protected:
    // Builds the exported column list; a writer calls it first in its DoBeginWriting.
    void DoBeginWriting() override;
    void DoWriteHeader() override;
    void DoWriteFooter() override;
    void DoWriteRecord(const TGridNode* node) override;

    // The cells. Rows and columns are 0-based sheet positions.
    virtual void WriteBlank(int row, int col, uint16_t xf) = 0;
    virtual void WriteLabel(int row, int col, uint16_t xf, const AnsiString& text) = 0;
    virtual void WriteNumber(int row, int col, uint16_t xf, double value) = 0;
    virtual void WriteInteger(int row, int col, uint16_t xf, int32_t value) = 0;
    // kind over the sheet rows firstRow to lastRow of column summedCol; result is what
    // the formula gives over the cells written there.
    virtual void WriteFormula(int row, int col, TSummaryType kind, int firstRow, int lastRow, int summedCol,
                              double result) = 0;

    // Refuses more rows than a sheet of sheetRows holds, or more exported columns than
    // mostColumns, in the user's words; suggestXlsx points to the bigger format.
    void CheckSheetLimits(const std::vector<const TGridNode*>& rows, int sheetRows, int mostColumns,
                          const char* formatName, bool suggestXlsx) const;

    struct TExportColumn {
        int Column = -1;                    // the grid's column index
        const TRecordField* Field = nullptr;
        uint16_t DataXf = 0;
    };
    const std::vector<TExportColumn>& Columns() const { return columns_; }
    int Groups() const { return groups_; }
    // A font of the sheet: fonts 5 to 9, then one per exported column (10 + i).
    struct TSheetFont {
        const TGridFont* Font;
        uint8_t Color;                      // palette index
    };
    std::vector<TSheetFont> Fonts() const;
    static constexpr int kFirstFont = 5;
    // A cell format of the sheet: formats 22 to 28, then one per exported column.
    struct TCellFormat {
        uint8_t Font;                       // font index: kFirstFont + position in Fonts()
        TAlignment Alignment;
        uint8_t Fill;                       // palette index of the solid fill
        uint8_t Border[4];                  // top, left, bottom, right: palette index of a thin line, 0 none
    };
    std::vector<TCellFormat> CellFormats() const;
    static constexpr uint8_t kGreyLine = 23;   // the default palette's grey, outside the grid's 13 colours
    // The colours of palette indexes 8 to 20 as red, green and blue (0xRRGGBB).
    std::array<uint32_t, 13> PaletteRgb() const;
    // Width of sheet column col in 1/256 of a character.
    int ColumnWidth(int col) const;

private:
    // What a spreadsheet finds in one column of the rows above the footer.
    struct TTally {
        double Sum = 0, Compensation = 0;   // Neumaier's running error
        double Min = 0, Max = 0;
        int64_t Numbers = 0, Filled = 0;
        void Add(double v);
        double Result(TSummaryType kind) const;
    };
    int SummedColumn(int i) const;   // exported column the footer of column i sums, or -1
    void Number(int row, int col, uint16_t xf, double value)
    {
        if (tallied_[col])
            tallies_[col].Add(value);
        WriteNumber(row, col, xf, value);
    }
    void Integer(int row, int col, uint16_t xf, int32_t value)
    {
        if (tallied_[col])
            tallies_[col].Add(value);
        WriteInteger(row, col, xf, value);
    }
    void Label(int row, int col, uint16_t xf, const AnsiString& text)
    {
        if (tallied_[col] && !text.empty())
            ++tallies_[col].Filled;
        WriteLabel(row, col, xf, text);
    }

    std::vector<TExportColumn> columns_;
    std::vector<int> summed_;          // per exported column: SummedColumn
    std::vector<char> tallied_;        // per sheet column: some footer reads it
    std::vector<TTally> tallies_;      // per sheet column
    int groups_ = 0;    // G
    int heading_ = 0;   // H
};
