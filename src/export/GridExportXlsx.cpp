// The .xlsx workbook on libxlsxwriter: one worksheet in constant-memory mode, its formats
// made from the sheet's format table, and the library's errors as the export's own.
#include "export/GridExportXlsx.h"
#include "platform/Cp1251.h"
#include "platform/FileReplace.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// UTF-8 of every 1251 byte, made once.
struct TUtf8Table {
    std::array<std::array<char, 4>, 256> bytes{};   // [0]: length
    TUtf8Table()
    {
        for (int b = 0; b < 256; ++b) {
            // 0x98 has no character: "?" as in the BIFF4 file.
            const char16_t u = b == 0x98 ? u'?' : Cp1251ToUnicode(static_cast<unsigned char>(b));
            auto& out = bytes[b];
            if (u < 0x80) {
                out = {1, static_cast<char>(u)};
            } else if (u < 0x800) {
                out = {2, static_cast<char>(0xC0 | u >> 6), static_cast<char>(0x80 | (u & 0x3F))};
            } else {
                out = {3, static_cast<char>(0xE0 | u >> 12), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
                       static_cast<char>(0x80 | (u & 0x3F))};
            }
        }
    }
};

const TUtf8Table& Utf8Table()
{
    static const TUtf8Table table;
    return table;
}

lxw_color_t Rgb(uint32_t rgb)
{
    // The library reads 0 as "no colour".
    return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : rgb;
}

uint8_t Align(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify: return LXW_ALIGN_RIGHT;
    case taCenter: return LXW_ALIGN_CENTER;
    default: return LXW_ALIGN_LEFT;
    }
}

std::string ColumnName(int col)
{
    std::string name;
    for (int n = col + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

const char* FunctionName(TSummaryType kind)
{
    switch (kind) {
    case cstSum: return "SUM";
    case cstMin: return "MIN";
    case cstMax: return "MAX";
    case cstCount: return "COUNTA";
    default: return "AVERAGE";
    }
}

} // namespace

TGridExportXlsx::TGridExportXlsx(const TGridEngine& grid, std::string fileName, bool saveAll)
    : TGridExportSheet(grid, std::move(fileName), saveAll)
{
}

TGridExportXlsx::~TGridExportXlsx()
{
    Discard();
}

void TGridExportXlsx::Discard()
{
    // A workbook freed without being closed leaves its sheet's temporary file open, and
    // the disk space it holds taken.
    if (sheet_ && sheet_->optimize_tmpfile) {
        std::fclose(sheet_->optimize_tmpfile);
        sheet_->optimize_tmpfile = nullptr;
        sheet_->file = nullptr;
    }
    if (workbook_)
        lxw_workbook_free(workbook_);
    workbook_ = nullptr;
    sheet_ = nullptr;
}

void TGridExportXlsx::CheckLimits(const std::vector<const TGridNode*>& rows) const
{
    CheckSheetLimits(rows, MaxSheetRows, MaxSheetColumns - Grid.GroupColumnCount(), ".xlsx", false);
}

void TGridExportXlsx::Execute()
{
    Prepare();
    TFileReplacement file;
    OpenTarget(file);
    // The library keeps the sheet's rows in temporary files until it packs them: in a
    // folder of ours in the target's folder, or the system's when that takes no new file.
    TScratchFolder scratch;
    if (!scratch.Create(file.InPlace() ? std::string() : file.Folder()))
        RaiseCannotCreate();
    std::string tmpdir = scratch.Path();
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.data();
    workbook_ = workbook_new_opt(file.Path().c_str(), &options);
    if (!workbook_)
        RaiseCannotCreate();
    sheet_ = workbook_add_worksheet(workbook_, nullptr);
    if (!sheet_) {
        Discard();
        RaiseCannotCreate();
    }
    error_ = LXW_NO_ERROR;
    try {
        Walk();
    } catch (...) {
        Discard();
        throw;
    }
    // Cell writes go to the library's temporary file without a word on failure (a full
    // disk): ask that file before the workbook is packed.
    FILE* rows = sheet_->optimize_tmpfile;
    const bool lost = error_ != LXW_NO_ERROR || (rows && (std::fflush(rows) != 0 || std::ferror(rows)));
    if (lost) {
        Discard();
        RaiseStreamWriteError();
    }
    const lxw_error closed = workbook_close(workbook_);
    workbook_ = nullptr;
    sheet_ = nullptr;
    if (closed != LXW_NO_ERROR) {
        // The library's error paths leave its files open, the disk space with them.
        CloseFilesLeftOpen(scratch.Path());
        CloseFilesLeftOpen(file.Path(), file.Fd());
    }
    switch (closed) {
    case LXW_NO_ERROR: break;
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE: RaiseCannotCreate();
    default: RaiseStreamWriteError();
    }
    CommitTarget(file);
}

void TGridExportXlsx::DoBeginWriting()
{
    TGridExportSheet::DoBeginWriting();
    // The workbook is a file of the library's: a byte stream cannot take it.
    if (!workbook_)
        RaiseStreamWriteError();
    const std::array<uint32_t, 13> palette = PaletteRgb();
    auto color = [&](uint8_t index) -> lxw_color_t {
        if (index == kGreyLine)
            return 0x808080;
        return Rgb(index >= 8 && index <= 20 ? palette[index - 8] : 0);
    };
    const std::vector<TSheetFont> fonts = Fonts();
    formats_.clear();
    // Equal formats share one object: the library looks an unshared duplicate up again
    // for every cell that uses it.
    std::vector<std::pair<std::string, lxw_format*>> made;
    for (const TCellFormat& f : CellFormats()) {
        const TGridFont& font = *fonts[f.Font - kFirstFont].Font;
        const lxw_color_t fontColor = color(fonts[f.Font - kFirstFont].Color);
        const std::string key = font.Name + '\0' + std::to_string(font.Size) + '/' + std::to_string(font.Bold) +
                                std::to_string(font.Italic) + std::to_string(font.Underline) +
                                std::to_string(font.StrikeOut) + '/' + std::to_string(fontColor) + '/' +
                                std::to_string(f.Alignment) + '/' + std::to_string(color(f.Fill)) + '/' +
                                std::to_string(f.Border[0] ? color(f.Border[0]) : 0) + '/' +
                                std::to_string(f.Border[1] ? color(f.Border[1]) : 0) + '/' +
                                std::to_string(f.Border[2] ? color(f.Border[2]) : 0) + '/' +
                                std::to_string(f.Border[3] ? color(f.Border[3]) : 0);
        const auto same = std::find_if(made.begin(), made.end(), [&](const auto& m) { return m.first == key; });
        if (same != made.end()) {
            formats_.push_back(same->second);
            continue;
        }
        lxw_format* format = workbook_add_format(workbook_);
        format_set_font_name(format, font.Name.c_str());
        format_set_font_size(format, font.Size);
        format_set_font_color(format, fontColor);
        if (font.Bold)
            format_set_bold(format);
        if (font.Italic)
            format_set_italic(format);
        if (font.Underline)
            format_set_underline(format, LXW_UNDERLINE_SINGLE);
        if (font.StrikeOut)
            format_set_font_strikeout(format);
        format_set_align(format, Align(f.Alignment));
        format_set_align(format, LXW_ALIGN_VERTICAL_BOTTOM);
        format_set_pattern(format, LXW_PATTERN_SOLID);
        format_set_bg_color(format, color(f.Fill));
        if (f.Border[0]) {
            format_set_top(format, LXW_BORDER_THIN);
            format_set_top_color(format, color(f.Border[0]));
        }
        if (f.Border[1]) {
            format_set_left(format, LXW_BORDER_THIN);
            format_set_left_color(format, color(f.Border[1]));
        }
        if (f.Border[2]) {
            format_set_bottom(format, LXW_BORDER_THIN);
            format_set_bottom_color(format, color(f.Border[2]));
        }
        if (f.Border[3]) {
            format_set_right(format, LXW_BORDER_THIN);
            format_set_right_color(format, color(f.Border[3]));
        }
        made.emplace_back(key, format);
        formats_.push_back(format);
    }
    // Widths in characters as the BIFF4 file gives them; the library stores a pixel
    // width as pixels / 7 characters.
    const int sheetColumns = Groups() + static_cast<int>(Columns().size());
    for (int col = 0; col < sheetColumns; ++col)
        Check(worksheet_set_column_pixels(sheet_, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                                          static_cast<uint32_t>(ColumnWidth(col) * 7 / 256.0 + 0.5), nullptr));
}

void TGridExportXlsx::Check(int error)
{
    if (error != LXW_NO_ERROR && error_ == LXW_NO_ERROR)
        error_ = error;
}

void TGridExportXlsx::WriteBlank(int row, int col, uint16_t xf)
{
    Check(worksheet_write_blank(sheet_, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col), Format(xf)));
}

void TGridExportXlsx::WriteLabel(int row, int col, uint16_t xf, const AnsiString& text)
{
    const TUtf8Table& table = Utf8Table();
    text_.clear();
    for (unsigned char c : text) {
        if (c < 0x80) {
            text_.push_back(static_cast<char>(c));
            continue;
        }
        const auto& utf8 = table.bytes[c];
        text_.append(utf8.data() + 1, static_cast<size_t>(utf8[0]));
    }
    Check(worksheet_write_string(sheet_, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col), text_.c_str(),
                                 Format(xf)));
}

void TGridExportXlsx::WriteNumber(int row, int col, uint16_t xf, double value)
{
    Check(worksheet_write_number(sheet_, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col), value,
                                 Format(xf)));
}

void TGridExportXlsx::WriteInteger(int row, int col, uint16_t xf, int32_t value)
{
    WriteNumber(row, col, xf, static_cast<double>(value));
}

void TGridExportXlsx::WriteFormula(int row, int col, TSummaryType kind, int firstRow, int lastRow, int summedCol,
                                   double result)
{
    const std::string column = ColumnName(summedCol);
    const std::string formula = std::string("=") + FunctionName(kind) + "(" + column + std::to_string(firstRow + 1) +
                                ":" + column + std::to_string(lastRow + 1) + ")";
    Check(worksheet_write_formula_num(sheet_, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col),
                                      formula.c_str(), Format(kXfFooterFormula), result));
}

void SaveToXLSX(const TGridEngine& grid, const std::string& fileName, bool saveAll)
{
    TGridExportXlsx writer(grid, fileName, saveAll);
    writer.Execute();
}
