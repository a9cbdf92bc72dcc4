#pragma once
// The .xlsx writer: the sheet's cells through libxlsxwriter in its constant-memory mode,
// so that memory does not grow with the rows. Texts are decoded from code page 1251 as
// they are handed over; footer formulas carry the result they give.
#include "export/GridExportSheet.h"
#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

class TGridExportXlsx : public TGridExportSheet {
public:
    TGridExportXlsx(const TGridEngine& grid, std::string fileName, bool saveAll);
    ~TGridExportXlsx() override;

    static constexpr int MaxSheetRows = 1048576;   // rows of an .xlsx worksheet
    static constexpr int MaxSheetColumns = 16384;

    // Writes the workbook to a new file beside the target and renames it over the
    // target, like the BIFF4 writer.
    void Execute() override;

protected:
    void DoBeginWriting() override;
    void CheckLimits(const std::vector<const TGridNode*>& rows) const override;

    void WriteBlank(int row, int col, uint16_t xf) override;
    void WriteLabel(int row, int col, uint16_t xf, const AnsiString& text) override;
    void WriteNumber(int row, int col, uint16_t xf, double value) override;
    void WriteInteger(int row, int col, uint16_t xf, int32_t value) override;
    void WriteFormula(int row, int col, TSummaryType kind, int firstRow, int lastRow, int summedCol,
                      double result) override;

private:
    lxw_format* Format(uint16_t xf) const { return formats_[xf - kXfCaption]; }
    void Check(int error);
    void Discard();

    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    std::vector<lxw_format*> formats_;   // by cell format, from kXfCaption
    std::string text_;                   // the UTF-8 of the text being written
    int error_ = 0;                      // the first failed cell
};
