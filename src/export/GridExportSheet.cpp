// Where each cell of an exported grid goes: the heading, the group columns, the data
// cells by field kind, the group footers and the summary footer.
#include "export/GridExportSheet.h"
#include "platform/Cp1251.h"

#include <algorithm>
#include <climits>
#include <cmath>

void TGridExportSheet::TTally::Add(double v)
{
    // Neumaier's summation, close to what spreadsheets compute.
    const double t = Sum + v;
    Compensation += std::fabs(Sum) >= std::fabs(v) ? (Sum - t) + v : (v - t) + Sum;
    Sum = t;
    if (Numbers == 0 || v < Min)
        Min = v;
    if (Numbers == 0 || v > Max)
        Max = v;
    ++Numbers;
    ++Filled;
}

double TGridExportSheet::TTally::Result(TSummaryType kind) const
{
    switch (kind) {
    case cstSum: return Sum + Compensation;
    case cstMin: return Min;
    case cstMax: return Max;
    case cstCount: return static_cast<double>(Filled);
    case cstAvg: return Numbers ? (Sum + Compensation) / static_cast<double>(Numbers) : 0.0;
    default: return 0.0;
    }
}

int TGridExportSheet::SheetRowsNeeded(const std::vector<const TGridNode*>& rows) const
{
    int64_t needed = (Grid.ShowHeader ? 1 : 0) + (Grid.ShowBands ? 1 : 0);
    for (const TGridNode* row : rows)
        needed += 1 + Grid.GetRowFooterCount(row);
    if (Grid.ShowSummaryFooter)
        ++needed;
    return static_cast<int>(std::min<int64_t>(needed, INT_MAX));
}

int TGridExportSheet::DataRows(const std::vector<const TGridNode*>& rows)
{
    int64_t count = 0;
    for (const TGridNode* row : rows)
        if (!TGridEngine::IsGroup(row) && TGridEngine::ChildCount(row) == 0)
            ++count;
    return static_cast<int>(std::min<int64_t>(count, INT_MAX));
}

void TGridExportSheet::CheckSheetLimits(const std::vector<const TGridNode*>& rows, int sheetRows, int mostColumns,
                                        const char* formatName, bool suggestXlsx) const
{
    const int needed = SheetRowsNeeded(rows);
    if (needed > sheetRows) {
        // The limit in data rows: what the sheet holds less the heading, group and
        // footer rows this grid adds.
        const int data = DataRows(rows);
        const int limit = std::max(0, sheetRows - (needed - data));
        AnsiString message = FormatMessage(A("Строк данных: %s, а в файл %s помещается не больше %s."),
                                           {std::to_string(data), formatName, std::to_string(limit)});
        if (suggestXlsx)
            message += A(" Сохраните в формате .xlsx.");
        throw Exception(message);
    }
    const int count = static_cast<int>(Grid.HeaderColumns().size());
    if (count > mostColumns)
        throw Exception(FormatMessage(A("Столбцов: %s, а в файл %s помещается не больше %s."),
                                      {std::to_string(count), formatName, std::to_string(std::max(0, mostColumns))}));
}

int TGridExportSheet::SummedColumn(int i) const
{
    const TDataGridColumn& column = Grid.Column(columns_[i].Column);
    const TSummaryType kind = column.SummaryFooterType;
    if (kind == cstCount)
        return i;
    if (kind == cstNone)
        return -1;
    const AnsiString field =
        AnsiUpperCase(column.SummaryFooterField.empty() ? column.FieldName : column.SummaryFooterField);
    const int n = static_cast<int>(columns_.size());
    for (int j = 0; j < n; ++j)
        if (AnsiUpperCase(Grid.Column(columns_[j].Column).FieldName) == field)
            return j;
    return -1;
}

std::array<uint32_t, 13> TGridExportSheet::PaletteRgb() const
{
    const TColor palette[13] = {Grid.HeaderFont.Color, Grid.HeaderColor, Grid.GroupNodeTextColor,
                                Grid.GroupNodeColor, Grid.Font.Color, Grid.Color, clWindowFrame, clWindow,
                                Grid.BandFont.Color, Grid.BandColor, Grid.RowFooterTextColor, Grid.RowFooterColor,
                                Grid.GridLineColor};
    std::array<uint32_t, 13> out{};
    for (int i = 0; i < 13; ++i) {
        const uint32_t rgb = ColorToRGB(palette[i]);
        out[i] = static_cast<uint32_t>(RedOf(rgb)) << 16 | static_cast<uint32_t>(GreenOf(rgb)) << 8 | BlueOf(rgb);
    }
    return out;
}

std::vector<TGridExportSheet::TSheetFont> TGridExportSheet::Fonts() const
{
    std::vector<TSheetFont> fonts = {
        {&Grid.Font, 12}, {&Grid.HeaderFont, 8}, {&Grid.Font, 10}, {&Grid.BandFont, 16}, {&Grid.Font, 18}};
    for (const TExportColumn& c : columns_)
        fonts.push_back({&Grid.ColumnFont(c.Column), 12});
    return fonts;
}

std::vector<TGridExportSheet::TCellFormat> TGridExportSheet::CellFormats() const
{
    constexpr uint8_t frame = 14, grey = kGreyLine;
    std::vector<TCellFormat> formats = {
        {6, taCenter, 9, {frame, frame, frame, frame}},       // column captions
        {7, taLeftJustify, 11, {0, 0, 0, 0}},                 // group columns and rows
        {5, taCenter, 11, {grey, grey, grey, grey}},          // footer formulas
        {5, taCenter, 11, {grey, 0, grey, 0}},                // blank footer cells
        {8, taCenter, 9, {frame, frame, frame, 0}},           // band captions
        {9, taLeftJustify, 11, {grey, grey, grey, grey}},     // group footer texts
        {9, taLeftJustify, 11, {grey, 0, grey, 0}},           // blank group footer cells
    };
    const uint8_t line = Grid.ShowGrid ? 20 : 0;
    for (size_t i = 0; i < columns_.size(); ++i)
        formats.push_back({static_cast<uint8_t>(10 + i), Grid.ColumnAlignment(columns_[i].Column), 13,
                           {line, line, line, line}});
    return formats;
}

int TGridExportSheet::ColumnWidth(int col) const
{
    if (col < groups_)
        return 400;
    const int64_t width = static_cast<int64_t>(Grid.DisplayWidth(columns_[col - groups_].Column)) * 36;
    return static_cast<int>(std::clamp<int64_t>(width, 0, 0xFFFF));
}

void TGridExportSheet::DoBeginWriting()
{
    groups_ = Grid.GroupColumnCount();
    heading_ = (Grid.ShowHeader ? 1 : 0) + (Grid.ShowBands ? 1 : 0);
    columns_.clear();
    for (int column : Grid.HeaderColumns()) {
        TExportColumn c;
        c.Column = column;
        c.Field = Grid.Column(column).FieldName.empty() ? nullptr : Grid.ColumnField(column);
        c.DataXf = static_cast<uint16_t>(kXfFirstData + columns_.size());
        columns_.push_back(c);
    }
    const int n = static_cast<int>(columns_.size());
    summed_.assign(n, -1);
    tallied_.assign(groups_ + n, 0);
    tallies_.assign(groups_ + n, TTally());
    if (Grid.ShowSummaryFooter)
        for (int i = 0; i < n; ++i)
            if ((summed_[i] = SummedColumn(i)) >= 0)
                tallied_[groups_ + summed_[i]] = 1;
}

void TGridExportSheet::DoWriteHeader()
{
    const int n = static_cast<int>(columns_.size());
    if (Grid.ShowBands) {
        // The engine has no bands of its own: all header columns form one band without
        // a caption.
        for (int g = 0; g < groups_; ++g)
            WriteBlank(RowCounter, g, kXfGroup);
        for (int i = 0; i < n; ++i)
            WriteBlank(RowCounter, groups_ + i, kXfGroup);
        WriteLabel(RowCounter, groups_, kXfBand, AnsiString());
        ++RowCounter;
    }
    if (Grid.ShowHeader) {
        for (int g = 0; g < groups_; ++g)
            WriteBlank(RowCounter, g, kXfGroup);
        for (int i = 0; i < n; ++i) {
            const TDataGridColumn& column = Grid.Column(columns_[i].Column);
            WriteLabel(RowCounter, groups_ + i, kXfCaption,
                       column.DisableCaption ? AnsiString() : Grid.ColumnCaption(columns_[i].Column));
        }
        ++RowCounter;
    }
}

void TGridExportSheet::DoWriteRecord(const TGridNode* node)
{
    const int level = TGridEngine::Level(node);
    const bool group = TGridEngine::IsGroup(node) || TGridEngine::ChildCount(node) > 0;
    for (int g = 0; g < groups_; ++g) {
        if (g == level)
            Label(RowCounter, g, kXfGroup,
                  TGridEngine::IsGroup(node) ? Grid.GroupRowText(node) : Grid.DisplayText(node, Grid.GroupColumn(g)));
        else
            WriteBlank(RowCounter, g, kXfGroup);
    }

    const int n = static_cast<int>(columns_.size());
    for (int i = 0; i < n; ++i) {
        const TExportColumn& c = columns_[i];
        const int col = groups_ + i;
        if (group) {
            WriteBlank(RowCounter, col, kXfGroup);
            continue;
        }
        if (!c.Field) {
            Label(RowCounter, col, c.DataXf, AnsiString());
            continue;
        }
        switch (c.Field->Kind) {
        case ftInteger: {
            const TGridValue v = Grid.Value(node, c.Column);
            Integer(RowCounter, col, c.DataXf, v.kind == TGridValue::Integer ? v.i : 0);
            break;
        }
        case ftFloat: {
            const TGridValue v = Grid.Value(node, c.Column);
            Number(RowCounter, col, c.DataXf,
                   v.kind == TGridValue::Float     ? v.f
                   : v.kind == TGridValue::Integer ? static_cast<double>(v.i)
                                                   : 0.0);
            break;
        }
        default:
            Label(RowCounter, col, c.DataXf, Grid.DisplayText(node, c.Column));
            break;
        }
    }

    const int footers = Grid.GetRowFooterCount(node);
    for (int k = 0; k < footers; ++k) {
        ++RowCounter;
        const int closes = Grid.GetNodeFooterLevel(node, k);
        for (int col = 0; col <= closes; ++col)
            WriteBlank(RowCounter, col, kXfGroup);
        const bool shifted = groups_ - closes - 1 > 0;
        for (int i = 0; i < n; ++i) {
            const int column = columns_[i].Column;
            if (Grid.IsExistRowFooterCell(node, k, column))
                Label(RowCounter, i == 0 && shifted ? closes + 1 : groups_ + i, kXfGroupFooterText,
                      Grid.GetFooterCellText(node, k, column));
            else
                WriteBlank(RowCounter, groups_ + i, kXfGroupFooterBlank);
        }
        if (shifted)
            for (int col = groups_; col >= closes + 2; --col)
                WriteBlank(RowCounter, col, kXfGroupFooterBlank);
    }
}

void TGridExportSheet::DoWriteFooter()
{
    if (!Grid.ShowSummaryFooter)
        return;
    for (int g = 0; g < groups_; ++g)
        WriteBlank(RowCounter, g, kXfFooterBlank);
    const int n = static_cast<int>(columns_.size());
    for (int i = 0; i < n; ++i) {
        const int summed = summed_[i];
        if (summed < 0) {
            WriteBlank(RowCounter, groups_ + i, kXfFooterBlank);
            continue;
        }
        // With no row between heading and footer a range would take in the footer
        // itself, a circular reference: the sum of nothing is written as 0.
        if (RowCounter - 1 < heading_) {
            WriteNumber(RowCounter, groups_ + i, kXfFooterFormula, 0.0);
            continue;
        }
        const TSummaryType kind = Grid.Column(columns_[i].Column).SummaryFooterType;
        WriteFormula(RowCounter, groups_ + i, kind, heading_, RowCounter - 1, groups_ + summed,
                     tallies_[groups_ + summed].Result(kind));
    }
}
