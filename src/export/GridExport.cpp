// The walker: the rows to write, their order, the sheet row counter, and the target
// file, which is replaced only by a complete export.
#include "export/GridExport.h"
#include "platform/Cp1251.h"
#include "platform/FileReplace.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace {

void MarkSubtree(const TGridNode* node, std::unordered_set<const TGridNode*>& marked)
{
    marked.insert(node);
    const int n = TGridEngine::ChildCount(node);
    for (int i = 0; i < n; ++i)
        MarkSubtree(TGridEngine::Child(node, i), marked);
}

} // namespace

TGridExport::TGridExport(const TGridEngine& grid, std::string fileName, bool saveAll)
    : Grid(grid), FileName(std::move(fileName)), SaveAll(saveAll)
{
}

TGridExport::~TGridExport() = default;

void TGridExport::DoBeginWriting() {}
void TGridExport::DoEndWriting() {}
void TGridExport::DoWriteHeader() {}
void TGridExport::DoWriteFooter() {}
void TGridExport::DoWriteRecord(const TGridNode*) {}
void TGridExport::CheckLimits(const std::vector<const TGridNode*>&) const {}

std::vector<const TGridNode*> TGridExport::RowsToWrite() const
{
    std::vector<const TGridNode*> rows = Grid.RowsInTreeOrder();
    const TGridNode* focused = Grid.FocusedNode();
    if (SaveAll || !focused)
        return rows;
    std::unordered_set<const TGridNode*> marked;
    for (const TGridNode* up = TGridEngine::Parent(focused); up; up = TGridEngine::Parent(up))
        marked.insert(up);
    MarkSubtree(focused, marked);
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const TGridNode* node) { return !marked.count(node); }),
               rows.end());
    return rows;
}

const std::vector<const TGridNode*>& TGridExport::Prepare()
{
    if (!prepared_) {
        rows_ = RowsToWrite();
        CheckLimits(rows_);
        prepared_ = true;
    }
    return rows_;
}

void TGridExport::Walk()
{
    if (!HasData())
        return;
    Prepare();
    DoBeginWriting();
    RowCounter = 0;
    try {
        DoWriteHeader();
        // Rows come in display order while their records lie in load order; fetching
        // records a few rows ahead hides the memory latency that dominates big exports.
        constexpr size_t ahead = 8;
        const size_t count = rows_.size();
        for (size_t k = 0; k < count; ++k) {
            if (k + ahead < count)
                if (const auto* record = reinterpret_cast<const char*>(Grid.Record(rows_[k + ahead]))) {
                    __builtin_prefetch(record);
                    __builtin_prefetch(record + 64);
                }
            DoWriteRecord(rows_[k]);
            ++RowCounter;
        }
        DoWriteFooter();
    } catch (...) {
        // The end step is still attempted; the first error is the one reported.
        try {
            DoEndWriting();
        } catch (...) {
        }
        throw;
    }
    DoEndWriting();
}

void TGridExport::SaveToStream(TOutputStream& stream)
{
    stream_ = &stream;
    try {
        Walk();
    } catch (...) {
        stream_ = nullptr;
        throw;
    }
    stream_ = nullptr;
}

void TGridExport::RaiseCannotCreate() const
{
    throw Exception(FormatMessage("Cannot create file %s", {Utf8ToCp1251(FileName)}));
}

void TGridExport::RaiseStreamWriteError()
{
    throw Exception("Stream write error");
}

void TGridExport::OpenTarget(TFileReplacement& file) const
{
    if (file.Open(FileName) != TFileReplacement::Ok)
        RaiseCannotCreate();
}

void TGridExport::CommitTarget(TFileReplacement& file) const
{
    switch (file.Commit()) {
    case TFileReplacement::Ok: return;
    case TFileReplacement::WriteFailed: RaiseStreamWriteError();
    case TFileReplacement::CannotCreate: RaiseCannotCreate();
    }
}

void TGridExport::Execute()
{
    Prepare();
    TFileReplacement file;
    OpenTarget(file);
    {
        TFileStream stream(file.Fd());
        SaveToStream(stream);
        stream.Flush();
    }
    CommitTarget(file);
}

TExportFormat ExportFormatOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return TExportFormat::Xls;
    std::string extension = fileName.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "xlsx" ? TExportFormat::Xlsx : TExportFormat::Xls;
}

void SaveGridAs(const TGridEngine& grid, const std::string& fileName, bool saveAll)
{
    if (ExportFormatOf(fileName) == TExportFormat::Xlsx)
        SaveToXLSX(grid, fileName, saveAll);
    else
        SaveToXLS(grid, fileName, saveAll);
}
