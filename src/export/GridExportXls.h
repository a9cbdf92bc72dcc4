#pragma once
// The BIFF4 worksheet writer: the sheet's cells as our own records, one forward pass into
// a stream, every record straight to the file.
#include "export/GridExportSheet.h"

class TGridExportXls : public TGridExportSheet {
public:
    using TGridExportSheet::TGridExportSheet;

    static constexpr int MaxSheetRows = 16384;     // rows of a BIFF4 worksheet
    static constexpr int MaxSheetColumns = 256;
    static constexpr int FirstColumnFont = 10;     // font indexes are one byte

protected:
    void DoBeginWriting() override;
    void DoEndWriting() override;
    void CheckLimits(const std::vector<const TGridNode*>& rows) const override;

    void WriteBlank(int row, int col, uint16_t xf) override;
    void WriteLabel(int row, int col, uint16_t xf, const AnsiString& text) override;
    void WriteNumber(int row, int col, uint16_t xf, double value) override;
    void WriteInteger(int row, int col, uint16_t xf, int32_t value) override;
    void WriteFormula(int row, int col, TSummaryType kind, int firstRow, int lastRow, int summedCol,
                      double result) override;

private:
    void WriteFont(const TGridFont& font, uint16_t colorIndex);
    void WriteXf(const uint8_t (&bytes)[12]);
    void WriteColInfo(int column, int width);
};
