#pragma once
// Export of what a grid shows: the walker decides which rows go out and in what order and
// counts sheet rows; the spreadsheet layer writes them as a BIFF4 worksheet.
#include "export/OutputStream.h"
#include "grid/GridEngine.h"
#include <cstdint>
#include <string>
#include <vector>

class TGridExport {
public:
    // fileName is a native (UTF-8) path.
    TGridExport(const TGridEngine& grid, std::string fileName, bool saveAll);
    virtual ~TGridExport();
    TGridExport(const TGridExport&) = delete;
    TGridExport& operator=(const TGridExport&) = delete;

protected:
    // The steps the walk calls; here they do nothing.
    virtual void DoBeginWriting();
    virtual void DoEndWriting();
    virtual void DoWriteHeader();
    virtual void DoWriteFooter();
    virtual void DoWriteRecord(const TGridNode* node);

public:
    // Writes the file. The target is replaced only by a complete file: the export goes to
    // a new file beside it, which is renamed over the target once it is closed; on any
    // error the new file is removed and the target stays as it was.
    virtual void Execute();

    // The walk: the heading, every row of the list with what follows it, the footer.
    // A grid without a data source or record table gives no bytes at all.
    void SaveToStream(TOutputStream& stream);

    // Rows to write, in tree order. Save-all (or nothing selected): every row of the tree,
    // depth first, collapsed groups included. Otherwise the selected rows with their
    // ancestors and descendants. The engine has no multi-select: the selected rows are
    // the focused row, if there is one.
    std::vector<const TGridNode*> RowsToWrite() const;

protected:
    // Raises an Exception when the rows cannot be held by the file format. Runs before
    // any file is made.
    virtual void CheckLimits(const std::vector<const TGridNode*>& rows) const;

    void Write(const void* data, size_t size) { stream_->Write(data, size); }

    const TGridEngine& Grid;
    const std::string FileName;
    const bool SaveAll;
    int32_t RowCounter = 0;   // sheet row of the next row to write

private:
    void Prepare();

    TOutputStream* stream_ = nullptr;
    std::vector<const TGridNode*> rows_;
    bool prepared_ = false;
};

class TGridExportXls : public TGridExport {
public:
    using TGridExport::TGridExport;

    static constexpr int MaxSheetRows = 16384;     // rows of a BIFF4 worksheet
    static constexpr int MaxSheetColumns = 256;
    static constexpr int FirstColumnFont = 10;     // font indexes are one byte

    // Sheet rows the export of these rows takes: heading, rows, group footers, footer.
    int SheetRowsNeeded(const std::vector<const TGridNode*>& rows) const;

protected:
    void DoBeginWriting() override;
    void DoEndWriting() override;
    void DoWriteHeader() override;
    void DoWriteFooter() override;
    void DoWriteRecord(const TGridNode* node) override;
    void CheckLimits(const std::vector<const TGridNode*>& rows) const override;

private:
    struct TExportColumn {
        int Column = -1;                    // the grid's column index
        const TRecordField* Field = nullptr;
        uint16_t DataXf = 0;
    };

    void WriteBlank(int row, int col, uint16_t xf);
    void WriteLabel(int row, int col, uint16_t xf, const AnsiString& text);
    void WriteNumber(int row, int col, uint16_t xf, double value);
    void WriteInteger(int row, int col, uint16_t xf, int32_t value);
    void WriteFont(const TGridFont& font, uint16_t colorIndex);
    void WriteXf(const uint8_t (&bytes)[12]);
    void WriteColInfo(int column, int width);

    std::vector<TExportColumn> columns_;
    int groups_ = 0;    // G
    int heading_ = 0;   // H
};

// Writes the grid as a spreadsheet file (a native, UTF-8 path); saveAll false writes only
// the selected rows with their surroundings.
void SaveToXLS(const TGridEngine& grid, const std::string& fileName, bool saveAll);
