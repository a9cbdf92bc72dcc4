#pragma once
// Export of what a grid shows. The walker decides which rows go out and in what order,
// counts sheet rows and owns the file; the sheet layer (GridExportSheet.h) places the
// cells, and the two writers turn them into a BIFF4 worksheet (GridExportXls.h) or an
// .xlsx workbook (GridExportXlsx.h). The Save functions at the end choose among them.
#include "export/OutputStream.h"
#include "grid/GridEngine.h"
#include <cstdint>
#include <string>
#include <vector>

class TFileReplacement;

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
    // Writes the file through SaveToStream. The target is replaced only by a complete
    // file: the export goes to a new file beside it, which is renamed over the target
    // once it is closed; on any error the new file is removed and the target stays as
    // it was. A folder that takes no new file gets an existing target written in place.
    virtual void Execute();

    // The walk into a stream. A grid without a data source or record table gives no
    // bytes at all.
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

    // The rows to write, with the limits checked; once per export.
    const std::vector<const TGridNode*>& Prepare();
    // The steps in order: begin, heading, the rows, footer, end; the end step also runs
    // after an error, which then goes on to the caller.
    void Walk();
    bool HasData() const { return Grid.DataSource() && Grid.Table(); }
    // Opens the target the way Execute does; errors become the export's messages.
    void OpenTarget(TFileReplacement& file) const;
    void CommitTarget(TFileReplacement& file) const;
    [[noreturn]] void RaiseCannotCreate() const;
    [[noreturn]] static void RaiseStreamWriteError();

    void Write(const void* data, size_t size) { stream_->Write(data, size); }

    const TGridEngine& Grid;
    const std::string FileName;
    const bool SaveAll;
    int32_t RowCounter = 0;   // sheet row of the next row to write

private:
    TOutputStream* stream_ = nullptr;
    std::vector<const TGridNode*> rows_;
    bool prepared_ = false;
};

// Writes the grid as a BIFF4 spreadsheet file (a native, UTF-8 path); saveAll false
// writes only the selected rows with their surroundings.
void SaveToXLS(const TGridEngine& grid, const std::string& fileName, bool saveAll);
// The same as an .xlsx workbook.
void SaveToXLSX(const TGridEngine& grid, const std::string& fileName, bool saveAll);

enum class TExportFormat { Xls, Xlsx };
// The writer a file name asks for: .xlsx in any case, everything else BIFF4.
TExportFormat ExportFormatOf(const std::string& fileName);
// Writes with the writer the name asks for.
void SaveGridAs(const TGridEngine& grid, const std::string& fileName, bool saveAll);
